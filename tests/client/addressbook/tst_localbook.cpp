#include "../compose/ComposeRig.h"
#include "ProfileFile.h"
#include "RUBfrmConfRub.h"
#include "RUBfrmRubrica.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QLockFile>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QThread>
#include <QTreeWidget>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::literals;

namespace {

LocalContact contact(const QString &name, const QString &mail, const QString &fax, const QString &home,
                     const QString &company)
{
    LocalContact c;
    c.displayName = name;
    c.email = mail;
    c.businessFax = fax;
    c.homeFax = home;
    c.company = company;
    return c;
}

void writeBook(const QList<LocalContact> &contacts)
{
    LocalAddressBook book;
    QFile::remove(book.path());
    for (const LocalContact &c : contacts)
        book.add(c);
    QVERIFY(book.save());
}

QStringList rowTexts(const QListWidget *list)
{
    QStringList t;
    for (int i = 0; i < list->count(); ++i)
        t.append(list->item(i)->text());
    return t;
}

void clickRow(QListWidget *list, const QString &text)
{
    const QList<QListWidgetItem *> found = list->findItems(text, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.first()).center());
}

// The names the file holds now, read by a book of its own.
QStringList fileNames()
{
    LocalAddressBook file;
    file.load();
    QStringList names;
    for (const LocalContact &c : file.contacts())
        names.append(c.shownName());
    return names;
}

// The mixed corpus file as the book file; its bytes.
QByteArray useMixedFile()
{
    QFile src(QStringLiteral(VCARD_CORPUS) + u"/mixed-encodings.vcf"_s);
    if (!src.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = src.readAll();
    const QString path = LocalAddressBook::defaultPath();
    QFile::remove(path + u".bak"_s);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        return {};
    return bytes;
}

// The file's cards, each as its bytes.
QList<QByteArray> cardBytes(const QByteArray &file)
{
    QList<QByteArray> cards;
    qsizetype at = file.indexOf("BEGIN:VCARD");
    while (at >= 0) {
        const qsizetype next = file.indexOf("BEGIN:VCARD", at + 1);
        cards.append(file.mid(at, next < 0 ? -1 : next - at));
        at = next;
    }
    return cards;
}

QByteArray fileBytes()
{
    QFile f(LocalAddressBook::defaultPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The file's contacts of that name, read by a book of its own.
QList<LocalContact> fileContacts(const QString &name)
{
    LocalAddressBook file;
    file.load();
    QList<LocalContact> found;
    for (const LocalContact &c : file.contacts())
        if (c.shownName() == name)
            found.append(c);
    return found;
}

// Another program changes the file: the bytes replaced as they stand.
void otherProgramReplaces(const QByteArray &from, const QByteArray &to)
{
    QByteArray bytes = fileBytes();
    QVERIFY(bytes.contains(from));
    bytes.replace(from, to);
    QSaveFile f(LocalAddressBook::defaultPath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    QVERIFY(f.commit());
}

// Types a text into a box of the dialog as a person does: select all, type.
void typeInto(QDialog *d, const QString &box, const QString &text)
{
    auto *edit = child<QLineEdit>(d, box);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, text);
}

// A strict reader of the version the card says, 3.0 (RFC 2426) or 4.0 (RFC 6350), for the properties the
// book writes: what is wrong with the card, empty when nothing is. No 2.1 forms: bare parameters,
// quoted-printable, CHARSET, base64 lines that are not folded.
QStringList strictCard(const QByteArray &card)
{
    QStringList wrong;
    if (!card.endsWith("\r\n"))
        wrong.append(u"no CRLF at the end"_s);
    QStringList lines;
    for (const QByteArray &physical : card.split('\n')) {
        if (physical.isEmpty())
            continue;
        if (!physical.endsWith('\r'))
            wrong.append(u"line without CRLF: "_s + QString::fromUtf8(physical));
        const QByteArray l = physical.chopped(physical.endsWith('\r') ? 1 : 0);
        if (l.contains('\r'))
            wrong.append(u"CR inside a line: "_s + QString::fromUtf8(l));
        if (l.size() > 75)
            wrong.append(u"line over 75 octets: "_s + QString::fromUtf8(l));
        if ((l.startsWith(' ') || l.startsWith('\t')) && !lines.isEmpty())
            lines.last() += QString::fromUtf8(l.mid(1));
        else
            lines.append(QString::fromUtf8(l));
    }
    const bool v4 = lines.value(1) == u"VERSION:4.0";
    if (lines.value(0) != u"BEGIN:VCARD" || (lines.value(1) != u"VERSION:3.0" && !v4) ||
        lines.value(lines.size() - 1) != u"END:VCARD")
        wrong.append(u"not BEGIN, VERSION:3.0 or 4.0 ... END"_s);
    static const QRegularExpression contentLine(
        u"^(?:[A-Za-z0-9-]+\\.)?([A-Za-z0-9-]+)((?:;[A-Za-z0-9-]+=(?:[^\";:,]*|\"[^\"]*\")(?:,(?:[^\";:,]*|\"[^\"]*\"))*)*):(.*)$"_s);
    static const QRegularExpression escapes(u"\\\\(?![\\\\;,nN])"_s);
    static const QRegularExpression base64(u"^(?:[A-Za-z0-9+/]{4})*(?:[A-Za-z0-9+/]{2}==|[A-Za-z0-9+/]{3}=)?$"_s);
    const QStringList telTypes{u"home"_s, u"msg"_s,   u"work"_s,  u"pref"_s, u"voice"_s, u"fax"_s,  u"cell"_s,
                               u"video"_s, u"pager"_s, u"bbs"_s,   u"modem"_s, u"car"_s,   u"isdn"_s, u"pcs"_s,
                               u"text"_s, u"textphone"_s};
    const QStringList params4{u"LANGUAGE"_s, u"VALUE"_s, u"PREF"_s,     u"ALTID"_s, u"PID"_s,   u"TYPE"_s,
                              u"MEDIATYPE"_s, u"CALSCALE"_s, u"SORT-AS"_s, u"GEO"_s,   u"TZ"_s,    u"LABEL"_s};
    bool fn = false, n = false;
    for (const QString &line : std::as_const(lines)) {
        const QRegularExpressionMatch m = contentLine.match(line);
        if (!m.hasMatch()) {
            wrong.append(u"not a content line: "_s + line);
            continue;
        }
        const QString name = m.captured(1).toUpper();
        const QString value = m.captured(3);
        fn = fn || name == u"FN";
        n = n || name == u"N";
        bool binary = false;
        for (const QString &param : m.captured(2).split(u';', Qt::SkipEmptyParts)) {
            const QString key = param.section(u'=', 0, 0).toUpper();
            const QString pval = param.section(u'=', 1).toLower();
            binary = binary || (key == u"ENCODING" && pval == u"b");
            const bool known = v4 ? params4.contains(key)
                                  : key == u"TYPE" || key == u"VALUE" || key == u"LANGUAGE" ||
                                        (key == u"ENCODING" && pval == u"b");
            if (!known && !key.startsWith(u"X-"))
                wrong.append(u"parameter not of its version: "_s + line);
            if (key == u"TYPE" && name == u"TEL")
                for (const QString &t : pval.split(u','))
                    if (!telTypes.contains(QString(t).remove(u'"')) && !t.startsWith(u"x-"))
                        wrong.append(u"TEL type not of its version: "_s + line);
        }
        if (binary && (value.isEmpty() || !base64.match(value).hasMatch()))
            wrong.append(u"ENCODING=b value not base64: "_s + line.left(120));
        if (escapes.match(value).hasMatch())
            wrong.append(u"backslash escaping nothing: "_s + line);
        // A single text value holds no bare "," or ";"; structured ones separate their parts with ";".
        const bool single = name == u"FN" || name == u"NOTE" || name == u"TEL" || name == u"EMAIL" ||
                            name == u"UID" || name == u"TITLE";
        const bool structured = name == u"N" || name == u"ADR" || name == u"ORG";
        QString bare = value;
        bare.remove(QRegularExpression(u"\\\\."_s));
        const bool uri = value.startsWith(u"tel:"_s);
        if ((single && !uri && (bare.contains(u',') || bare.contains(u';'))) ||
            (structured && name == u"ORG" && bare.contains(u',')))
            wrong.append(u"unescaped separator in a text value: "_s + line);
    }
    if (!fn || (!n && !v4))
        wrong.append(u"FN or N missing"_s);
    return wrong;
}

// A card of the file by the text it holds: its bytes from BEGIN to END.
QByteArray cardHolding(const QByteArray &file, const QByteArray &text)
{
    const qsizetype at = file.indexOf(text);
    if (at < 0)
        return {};
    const qsizetype begin = file.lastIndexOf("BEGIN:VCARD", at);
    const qsizetype end = file.indexOf("END:VCARD\r\n", at);
    return begin < 0 || end < 0 ? QByteArray() : file.mid(begin, end + 11 - begin);
}

void useFile(const QByteArray &bytes)
{
    const QString path = LocalAddressBook::defaultPath();
    QFile::remove(path + u".bak"_s);
    QSaveFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    QVERIFY(f.commit());
}

void pickRow(RUBfrmRubrica &form, int row)
{
    auto *list = form.findChild<QListWidget *>(u"lstContacts"_s);
    list->setCurrentRow(row);
    form.cmdA_Click();
}

// A book just large enough to be read in the background: cards "Mario Rossi <i>" with UID big-<i>; a
// damaged one has a line no reader understands in its sixth card.
QByteArray largeBook(int *cards, bool damaged = false)
{
    QByteArray out;
    for (*cards = 0; out.size() < LocalAddressBook::BackgroundBytes; ++*cards) {
        const QByteArray n = QByteArray::number(*cards);
        out += "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:big-" + n + "\r\nFN:Mario Rossi " + n +
               "\r\nN:Rossi;Mario " + n + ";;;\r\nEMAIL;TYPE=INTERNET:m" + n +
               "@example.it\r\nTEL;TYPE=WORK,FAX:+39 02 " + n +
               (damaged && *cards == 5 ? "\r\nriga balorda" : "") + "\r\nNOTE:Mattino\r\nEND:VCARD\r\n";
    }
    return out;
}

} // namespace

class TestLocalBook : public QObject
{
    Q_OBJECT
    TestHome m_home;

private Q_SLOTS:
    void initTestCase() { useTemporaryHome(m_home); }
    void init()
    {
        resetConfig(m_home);
        Prompt::setDialogHandler({});
        writeBook({contact(u"Daviv Azivo"_s, u"d@a.it"_s, u"021111"_s, QString(), QString()),
                   contact(u"Viverov Aroz"_s, QString(), u"022222"_s, u"033333"_s, u"Be\nta"_s),
                   contact(u"Solo Mail"_s, u"s@m.it"_s, QString(), QString(), u"Gamma"_s)});
    }

    void pick_data()
    {
        QTest::addColumn<int>("openMode");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QList<int>>("hiddenColumns");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QStringList>("collected");
        QTest::newRow("business fax")
            << 2 << u"RUBRICA [ 3 contatti ] / Fax ufficio"_s << QList<int>{1, 3} << u"021111;022222"_s
            << QStringList{u"021111"_s, u"022222"_s, QString()};
        QTest::newRow("home fax") << 3 << u"RUBRICA [ 3 contatti ] / Fax casa"_s << QList<int>{1, 2}
                                  << u"033333"_s << QStringList{QString(), u"033333"_s, QString()};
        QTest::newRow("e-mail") << 1 << u"RUBRICA [ 3 contatti ] / Email"_s << QList<int>{2, 3}
                                << u"d@a.it;s@m.it"_s << QStringList{u"d@a.it"_s, QString(), u"s@m.it"_s};
    }
    void pick()
    {
        QFETCH(int, openMode);
        QFETCH(QList<int>, hiddenColumns);
        QFETCH(QStringList, collected);
        RUBfrmRubrica form;
        form.setOpenMode(openMode);
        form.setShowing(1);
        form.Load();
        QTEST(form.windowTitle(), "caption");
        auto *chosen = form.findChild<QTreeWidget *>(u"ListSelected"_s);
        for (int c = 0; c < 5; ++c)
            QCOMPARE(chosen->isColumnHidden(c), hiddenColumns.contains(c));
        pickRow(form, 0);
        pickRow(form, 0); // the same name once
        pickRow(form, 1);
        pickRow(form, 2);
        QCOMPARE(chosen->topLevelItemCount(), 3);
        QCOMPARE(chosen->topLevelItem(1)->text(4), u"Be\u21B5ta"_s); // a line break shown, on one line
        form.CmdOk_Click();
        QVERIFY(form.ok());
        QTEST(form.Result(), "result");
        const PickedList picked = form.Selected();
        QCOMPARE(picked.size(), 3);
        QCOMPARE(picked[1].name, u"Viverov Aroz"_s);
        QCOMPARE(picked[1].company, u"Be ta"_s); // and taken as a space
        QCOMPARE((QStringList{picked[0].fax, picked[1].fax, picked[2].fax}), collected);
    }

    // The contact's menu from the Menu key or Shift+F10: "Edit" opens that contact.
    void contactMenu_data()
    {
        QTest::addColumn<QString>("opener");
        QTest::newRow("Menu key") << u"Menu"_s;
        QTest::newRow("Shift+F10") << u"Shift+F10"_s;
    }
    void contactMenu()
    {
        QFETCH(QString, opener);
        RUBfrmRubrica form;
        form.setOpenMode(2);
        form.Load();
        form.show();
        auto *list = form.findChild<QListWidget *>(u"lstContacts"_s);
        auto *menu = form.findChild<QMenu *>(u"mnuFile"_s);
        QVERIFY(list && menu);
        const QRect row = list->visualItemRect(list->item(1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QCOMPARE(list->currentRow(), 1);
        if (opener == u"Menu"_s)
            QTest::keyClick(list, Qt::Key_Menu);
        else
            QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
        QUORIN_TRY_VERIFY(QApplication::activePopupWidget() == menu);
        QString opened;
        Prompt::setDialogHandler([&](QDialog *d) {
            opened = child<QLineEdit>(d, u"txtDisplayName"_s)->text();
            return int(QDialog::Rejected);
        });
        QAction *edit = menu->findChild<QAction *>(u"mnuEdit"_s);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(edit).center());
        QUORIN_TRY_COMPARE(opened, list->item(1)->text());
    }

    void emptySelectionIsNoPick()
    {
        RUBfrmRubrica form;
        form.setOpenMode(2);
        form.setShowing(1);
        form.Load();
        form.CmdOk_Click();
        QVERIFY(!form.ok());
    }

    void browseHidesSelection()
    {
        RUBfrmRubrica form;
        form.setOpenMode(2);
        form.Load();
        QVERIFY(form.findChild<QTreeWidget *>(u"ListSelected"_s)->isHidden());
        QVERIFY(!form.findChild<QPushButton *>(u"cmdConf"_s)->isHidden());
        QCOMPARE(form.windowTitle(), u"RUBRICA [ 3 contatti ]"_s);
    }

    // New, edit and delete go to the vCard file at once.
    void editTheFile()
    {
        RUBfrmRubrica form;
        form.setOpenMode(2);
        form.Load();
        Prompt::setDialogHandler([](QDialog *d) {
            setText(d, u"txtDisplayName"_s, u"Nuovo Città"_s);
            setText(d, u"txtBusinessFax"_s, u"044444"_s);
            return int(QDialog::Accepted);
        });
        form.cmdNew_Click();
        auto *list = form.findChild<QListWidget *>(u"lstContacts"_s);
        QCOMPARE(list->count(), 4);
        LocalAddressBook file;
        QVERIFY(file.load());
        QCOMPARE(file.contacts().last().displayName, u"Nuovo Città"_s);
        QCOMPARE(file.contacts().last().businessFax, u"044444"_s);

        list->setCurrentRow(0);
        Prompt::setDialogHandler([](QDialog *d) {
            setText(d, u"txtCompany"_s, u"Alfa"_s);
            return int(QDialog::Accepted);
        });
        form.cmdProp_Click();
        QVERIFY(file.load());
        QCOMPARE(file.contacts().first().company, u"Alfa"_s);
        QCOMPARE(file.contacts().first().email, u"d@a.it"_s);

        list->setCurrentRow(1);
        Prompt::setNextAnswer(QMessageBox::No);
        form.cmdElim_Click();
        QCOMPARE(list->count(), 4);
        Prompt::setNextAnswer(QMessageBox::Yes);
        form.cmdElim_Click();
        QCOMPARE(list->count(), 3);
        QVERIFY(file.load());
        QCOMPARE(file.count(), 3);
        QCOMPARE(file.indexOfUid(QString()), -1);
        for (const LocalContact &c : file.contacts())
            QVERIFY(c.displayName != u"Viverov Aroz"_s);
    }

    void deleteTheOnlyContact()
    {
        writeBook({contact(u"Uno"_s, {}, u"01"_s, {}, {})});
        RUBfrmRubrica form;
        form.Load();
        form.findChild<QListWidget *>(u"lstContacts"_s)->setCurrentRow(0);
        Prompt::setNextAnswer(QMessageBox::Yes);
        form.cmdElim_Click();
        QCOMPARE(form.findChild<QListWidget *>(u"lstContacts"_s)->count(), 0);
        QCOMPARE(form.book().count(), 0);
        QCOMPARE(form.windowTitle(), u"RUBRICA [ 0 contatti ]"_s); // counts what is listed
    }

    void emptyBookKeepsCaption()
    {
        QFile::remove(LocalAddressBook::defaultPath());
        RUBfrmRubrica form;
        form.Load();
        QCOMPARE(form.windowTitle(), u"Rubrica"_s);
    }

    // A folder or a pipe where the file should be (a pipe would keep the read waiting for good).
    void unreadableBookIsReported_data()
    {
        QTest::addColumn<bool>("pipe");
        QTest::addColumn<QString>("why");
        QTest::newRow("folder") << false << u"al suo posto c'è una cartella"_s;
        QTest::newRow("pipe") << true << u"al suo posto c'è un file speciale"_s;
    }
    void unreadableBookIsReported()
    {
        QFETCH(bool, pipe);
        QFETCH(QString, why);
        const QString path = LocalAddressBook::defaultPath();
        QFile::remove(path);
        if (pipe)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            QDir().mkpath(path);
        RUBfrmRubrica form;
        Prompt::clearRecords();
        form.Load();
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QVERIFY2(Prompt::lastRecord().text.contains(why), qPrintable(Prompt::lastRecord().text));
        QCOMPARE(form.findChild<QListWidget *>(u"lstContacts"_s)->count(), 0);
        form.cmdNew_Click(); // nothing to add to
        QFile::remove(path);
        QDir().rmdir(path);
    }

    // Two windows on the same book: what one adds or deletes the other shows at once, and neither writes
    // back a copy that lacks the other's change.
    void twoWindowsOnTheSameBook()
    {
        RUBfrmRubrica browse;
        browse.setOpenMode(2);
        browse.show();
        RUBfrmRubrica pick;
        pick.setOpenMode(2);
        pick.setShowing(1);
        pick.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pick, TestWait::bound()));
        auto *browseList = browse.findChild<QListWidget *>(u"lstContacts"_s);
        auto *pickList = pick.findChild<QListWidget *>(u"lstContacts"_s);
        QCOMPARE(browseList->count(), 3);

        Prompt::setDialogHandler([](QDialog *d) {
            setText(d, u"txtDisplayName"_s, u"Beta"_s);
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(pick.findChild<QPushButton *>(u"cmdNew"_s), Qt::LeftButton);
        QCOMPARE(rowTexts(browseList).last(), u"Beta"_s);
        Prompt::setDialogHandler([](QDialog *d) {
            setText(d, u"txtDisplayName"_s, u"Gamma"_s);
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(browse.findChild<QPushButton *>(u"cmdNew"_s), Qt::LeftButton);
        QCOMPARE(fileNames().mid(3), (QStringList{u"Beta"_s, u"Gamma"_s}));
        QCOMPARE(rowTexts(pickList), rowTexts(browseList));

        // A delete in one window: the other never brings the contact back.
        clickRow(browseList, u"Viverov Aroz"_s);
        Prompt::setNextAnswer(QMessageBox::Yes);
        QTest::mouseClick(browse.findChild<QPushButton *>(u"cmdElim"_s), Qt::LeftButton);
        QVERIFY(!rowTexts(pickList).contains(u"Viverov Aroz"_s));
        clickRow(pickList, u"Beta"_s);
        Prompt::setDialogHandler([](QDialog *d) {
            setText(d, u"txtBusinessFax"_s, u"0777"_s);
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(pick.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        QCOMPARE(fileNames(), (QStringList{u"Daviv Azivo"_s, u"Solo Mail"_s, u"Beta"_s, u"Gamma"_s}));
        LocalAddressBook file;
        QVERIFY(file.load());
        QCOMPARE(file.contacts()[2].businessFax, u"0777"_s);

        // Two contacts with the same name can both be picked, each with its own number.
        clickRow(pickList, u"Beta"_s);
        Prompt::setDialogHandler([](QDialog *d) {
            setText(d, u"txtDisplayName"_s, u"Beta"_s);
            setText(d, u"txtBusinessFax"_s, u"0888"_s);
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(pick.findChild<QPushButton *>(u"cmdNew"_s), Qt::LeftButton);
        auto *chosen = pick.findChild<QTreeWidget *>(u"ListSelected"_s);
        for (int row = 0; row < pickList->count(); ++row) {
            if (pickList->item(row)->text() != u"Beta")
                continue;
            QTest::mouseClick(pickList->viewport(), Qt::LeftButton, {},
                              pickList->visualItemRect(pickList->item(row)).center());
            QTest::mouseClick(pick.findChild<QPushButton *>(u"cmdA"_s), Qt::LeftButton);
        }
        QCOMPARE(chosen->topLevelItemCount(), 2);
        QTest::mouseClick(pick.findChild<QPushButton *>(u"CmdOk"_s), Qt::LeftButton);
        QCOMPARE(pick.Result(), u"0777;0888"_s);
    }

    // Another program (here: another book on the same file) changes the file while a window is open.
    void anotherProgramWritesTheFile()
    {
        RUBfrmRubrica form;
        form.setOpenMode(2);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form, TestWait::bound()));
        auto *list = form.findChild<QListWidget *>(u"lstContacts"_s);
        LocalAddressBook other;
        QVERIFY(other.load());
        QVERIFY(!other.addContact(contact(u"Esterno"_s, {}, u"0555"_s, {}, {})).isEmpty());
        QUORIN_TRY_COMPARE(rowTexts(list).value(3), u"Esterno"_s); // seen by the watcher

        // Written a moment before our own change, before any watcher could tell: still kept.
        QVERIFY(!other.addContact(contact(u"Svelto"_s, {}, u"0556"_s, {}, {})).isEmpty());
        Prompt::setDialogHandler([](QDialog *d) {
            setText(d, u"txtDisplayName"_s, u"Nostro"_s);
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdNew"_s), Qt::LeftButton);
        QCOMPARE(fileNames().mid(3), (QStringList{u"Esterno"_s, u"Svelto"_s, u"Nostro"_s}));

        // A book that holds a stale copy does not overwrite the file with it.
        LocalAddressBook stale;
        QVERIFY(stale.load());
        QVERIFY(!other.addContact(contact(u"Ultimo"_s, {}, u"0557"_s, {}, {})).isEmpty());
        stale.add(contact(u"Perso"_s, {}, {}, {}, {}));
        QString error;
        QVERIFY(!stale.save(&error));
        QVERIFY(error.contains(u"cambiata da un altro programma"_s));
        QVERIFY(fileNames().contains(u"Ultimo"_s));

        // The other program holds the lock for a moment: our change waits for it, then goes in.
        QLockFile lock(LocalAddressBook::defaultPath() + u".lock"_s);
        QVERIFY(lock.tryLock(0));
        std::unique_ptr<QThread> releaser(QThread::create([&lock] {
            QThread::msleep(400); // the window waits in the lock, not in an event loop
            lock.unlock();
        }));
        releaser->start();
        clickRow(list, u"Esterno"_s);
        Prompt::setNextAnswer(QMessageBox::Yes);
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdElim"_s), Qt::LeftButton);
        releaser->wait();
        QVERIFY(!fileNames().contains(u"Esterno"_s));
        QVERIFY(fileNames().contains(u"Ultimo"_s));
    }

    // A file mixing encodings (UTF-8 with a Windows-1252 card, a fold inside a letter, a 2.1 card with
    // its charset, cards without UID or N): each card shows its own letters, the Windows-1252 one is
    // named, and editing one contact leaves every other card as its bytes; the first such save keeps
    // the file as it was.
    void mixedFileKeepsEveryOtherCard()
    {
        const QByteArray original = useMixedFile();
        QVERIFY(!original.isEmpty());
        Prompt::clearRecords();
        RUBfrmRubrica form;
        form.setOpenMode(2);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form, TestWait::bound()));
        auto *list = form.findChild<QListWidget *>(u"lstContacts"_s);
        QUORIN_TRY_COMPARE(list->count(), 5);
        for (const QString &name :
             {u"Jürgen Müller"_s, u"Bea Verdi"_s, u"Françoise Dupré"_s, u"Ana Città"_s, u"Renè Cortès"_s})
            QVERIFY2(rowTexts(list).contains(name), qPrintable(name));
        QVERIFY(promptTexts().join(u'\n').contains(u"«Françoise Dupré»: non è UTF-8"_s));

        clickRow(list, u"Ana Città"_s);
        Prompt::setDialogHandler([](QDialog *d) {
            typeInto(d, u"txtEmail"_s, u"ana@nuovo.it"_s);
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        const QByteArray now = fileBytes();
        const QList<QByteArray> before = cardBytes(original);
        QCOMPARE(before.size(), 5);
        for (const QByteArray &card : before) {
            if (!card.contains("UID:ana-1"))
                QVERIFY2(now.contains(card), card.constData());
        }
        const QList<LocalContact> ana = fileContacts(u"Ana Città"_s);
        QCOMPARE(ana.size(), 1);
        QCOMPARE(ana[0].email, u"ana@nuovo.it"_s);
        QCOMPARE(ana[0].businessFax, u"02 555"_s);
        QVERIFY(ana[0].otherLines.contains(u"NOTE:perché no"_s));
        QFile backup(LocalAddressBook::defaultPath() + u".bak"_s);
        QVERIFY(backup.open(QIODevice::ReadOnly));
        QCOMPARE(backup.readAll(), original);
        // An unchanged edit writes nothing new.
        clickRow(list, u"Jürgen Müller"_s);
        Prompt::setDialogHandler([](QDialog *) { return int(QDialog::Accepted); });
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        QCOMPARE(fileBytes(), now);
    }

    // Text the reader does not take for a card, and files in other encodings: every card is listed, the
    // warning says what is true, and editing one contact through the window keeps every other card as its
    // bytes (UTF-8 for a UTF-16 file) and the text between them in place; the edited card is valid 3.0.
    void everyCardKept_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QByteArrayList>("kept");   // in the file after the edit
        QTest::addColumn<QByteArrayList>("written"); // in the edited card
        QTest::addColumn<QStringList>("told");      // in the warning; empty: no warning
        const QByteArray mark = "\xEF\xBB\xBF";
        const QByteArray anna = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:anna-1\r\nFN:Anna Alfa\r\nN:Alfa;Anna;;;\r\n"
                                "TEL;TYPE=WORK,FAX:0101\r\nEND:VCARD\r\n";
        const QByteArray bea = "BEGIN:VCARD\nVERSION:3.0\nFN:Bea Verdi\nTEL;TYPE=WORK,FAX:011 123457\nEND:VCARD\n";
        QByteArray photo = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Foto Grande\r\nN:Grande;Foto;;;\r\n"
                           "TEL;TYPE=WORK,FAX:0202\r\nPHOTO;ENCODING=b;TYPE=JPEG:";
        QByteArray raw;
        for (int i = 0; i < 800; ++i)
            raw += char(i * 37 % 251);
        const QByteArray b64 = raw.toBase64();
        photo += b64.left(48);
        for (qsizetype at = 48; at < b64.size(); at += 74)
            photo += "\r\n " + b64.mid(at, 74);
        photo += "\r\nEND:VCARD\r\n";
        const QByteArray lower = "begin:vcard\r\nversion:3.0\r\nfn:Carlo Minuscolo\r\ntel;type=work,fax:0303\r\nend:vcard\r\n";
        QTest::newRow("exports joined, each with its mark")
            << QByteArray(mark + anna + bea + mark + photo + mark + lower)
            << QStringList{u"Anna Alfa"_s, u"Bea Verdi"_s, u"Foto Grande"_s, u"Carlo Minuscolo"_s} << u"Anna Alfa"_s
            << QByteArrayList{bea, mark + photo, mark + lower} << QByteArrayList{}
            << QStringList{};

        const QByteArray v21 = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Neri;Dora\r\nFN:Dora Neri\r\nTEL;FAX;WORK:0700\r\n"
                               "TEL;CELL;PREF:333 1\r\n"
                               "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:riga uno=0D=0Ariga, due; citt=C3=A0 =\r\n"
                               "fine\r\nADR;WORK;QUOTED-PRINTABLE:;;Via Citt=C3=A0 1;Roma;;00100;Italia\r\n"
                               "END:VCARD\r\n";
        const QByteArray rene = "BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=UTF-8:Ren\xE8 Cort\xE8s\r\n"
                                "TEL;FAX:06 777\r\nEND:VCARD\r\n";
        QTest::newRow("comment lines, a 2.1 card, a charset the bytes do not fit")
            << QByteArray("# rubrica esportata a mano\r\n" + anna + "; tra le schede\r\n\r\n" + v21 + rene +
                          "ultima riga\r\n")
            << QStringList{u"Anna Alfa"_s, u"Dora Neri"_s, u"Renè Cortès"_s} << u"Dora Neri"_s
            << QByteArrayList{"# rubrica esportata a mano\r\n" + anna + "; tra le schede\r\n\r\nBEGIN:VCARD\r\nVERSION:3.0",
                              rene + "ultima riga\r\n"}
            << QByteArrayList{"\r\nTEL;TYPE=FAX,WORK:0700\r\n", "\r\nTEL;TYPE=CELL,PREF:333 1\r\n",
                              "\r\nNOTE:riga uno\\nriga\\, due\\; città fine\r\n",
                              "\r\nADR;TYPE=WORK:;;Via Città 1;Roma;;00100;Italia\r\n"}
            << QStringList{u"Riga 1: testo fuori da una scheda, conservato com'è"_s,
                           u"Riga 9: testo fuori da una scheda, conservato com'è"_s,
                           u"Riga 26: testo fuori da una scheda, conservato com'è"_s,
                           u"«Renè Cortès»: il testo non è nella codifica che dichiara (UTF-8)"_s};

        const QString text = QString::fromUtf8(anna + bea) + u"BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Jürgen Müller\r\n"
                                                             u"N:Müller;Jürgen;;;\r\nEND:VCARD\r\n"_s;
        const QByteArray juergen = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Jürgen Müller\r\nN:Müller;Jürgen;;;\r\nEND:VCARD\r\n";
        const QStringList three{u"Anna Alfa"_s, u"Bea Verdi"_s, u"Jürgen Müller"_s};
        QTest::newRow("UTF-16 LE with its mark")
            << QByteArray("\xFF\xFE" + QByteArray(QStringEncoder(QStringEncoder::Utf16LE).encode(text))) << three << u"Bea Verdi"_s
            << QByteArrayList{anna, juergen} << QByteArrayList{} << QStringList{u"UTF-16LE"_s};
        QTest::newRow("UTF-16 BE without a mark")
            << QByteArray(QStringEncoder(QStringEncoder::Utf16BE).encode(text)) << three << u"Jürgen Müller"_s
            << QByteArrayList{anna, bea} << QByteArrayList{} << QStringList{u"UTF-16BE"_s};

        // 2.1 photos: base64 lines not indented, or indented by more than one blank, each value ended by a
        // blank line. The edited card carries the whole photo as 3.0 base64, folded.
        QByteArray lia = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Rosa;Lia\r\nFN:Lia Rosa\r\nTEL;WORK;FAX:0800\r\n"
                         "PHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n";
        QByteArray eva = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Neri;Eva\r\nFN:Eva Neri\r\n"
                         "PHOTO;TYPE=JPEG;ENCODING=BASE64:\r\n";
        for (qsizetype at = 0; at < b64.size(); at += 76) {
            lia += b64.mid(at, 76) + "\r\n";
            eva += "    " + b64.mid(at, 76) + "\r\n";
        }
        lia += "\r\nTEL;CELL:333 2\r\nNOTE:uno, due; tre\r\nURL:http\\://esempio.it/\\\"a\\\"\r\nEND:VCARD\r\n";
        eva += "\r\nEND:VCARD\r\n";
        QByteArray folded = "\r\nPHOTO;ENCODING=b;TYPE=JPEG:" + b64.left(48);
        for (qsizetype at = 48; at < b64.size(); at += 74)
            folded += "\r\n " + b64.mid(at, 74);
        QTest::newRow("2.1 photos, base64 not indented or indented deeper")
            << QByteArray(anna + lia + eva) << QStringList{u"Anna Alfa"_s, u"Lia Rosa"_s, u"Eva Neri"_s}
            << u"Lia Rosa"_s << QByteArrayList{anna, eva}
            << QByteArrayList{folded + "\r\n", "\r\nTEL;TYPE=CELL:333 2\r\n", "\r\nNOTE:uno\\, due\\; tre\r\n",
                              "\r\nURL:http://esempio.it/\"a\"\r\n"}
            << QStringList{};

        // Line ends of other systems: CR CR LF (a CRLF file converted once more), a lone CR. No value
        // gains a line break; every other card stays as its bytes.
        const QByteArray sergio = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Sergio Bruni Sr.\r\nN:Bruni;Sergio;;Sr.;\r\n"
                                  "EMAIL;TYPE=INTERNET:sergio@bruni.it\r\nTEL;TYPE=WORK,FAX:0900\r\n"
                                  "ORG:Bruni Srl\r\nNOTE:una nota scritta su una riga sola più lunga di quanto una riga "
                                  "possa essere\r\nEND:VCARD\r\n";
        const QByteArray sergioWritten = "\r\nFN:Sergio Bruni Sr.\r\nN:Bruni;Sergio;;Sr.;\r\nORG:Bruni Srl\r\n"
                                         "EMAIL;TYPE=INTERNET:nuovo@esempio.it\r\nTEL;TYPE=WORK,FAX:0900\r\n";
        for (const QByteArray &end : {QByteArray("\r\r\n"), QByteArray("\r")}) {
            const QByteArray other = QByteArray(anna).replace("\r\n", end);
            QTest::newRow(end == "\r" ? "lone CR line ends" : "CR CR LF line ends")
                << QByteArray(QByteArray(sergio).replace("\r\n", end) + other)
                << QStringList{u"Sergio Bruni Sr."_s, u"Anna Alfa"_s} << u"Sergio Bruni Sr."_s
                << QByteArrayList{other} << QByteArrayList{sergioWritten} << QStringList{};
        }
    }
    void everyCardKept()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, names);
        QFETCH(QString, edit);
        QFETCH(QStringList, told);
        useFile(file);
        Prompt::clearRecords();
        RUBfrmRubrica form;
        form.setOpenMode(2);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form, TestWait::bound()));
        auto *list = form.findChild<QListWidget *>(u"lstContacts"_s);
        QCOMPARE(rowTexts(list), names);
        const QString warning = promptTexts().join(u'\n');
        QCOMPARE(warning.isEmpty(), told.isEmpty());
        for (const QString &t : told)
            QVERIFY2(warning.contains(t), qPrintable(warning));

        // Through the dialog as a person edits: type, then Ok.
        Prompt::setDialogHandler([](QDialog *d) {
            d->show();
            typeInto(d, u"txtEmail"_s, u"nuovo@esempio.it"_s);
            QTest::mouseClick(d->findChild<QPushButton *>(u"cmdOk"_s), Qt::LeftButton);
            return d->result();
        });
        clickRow(list, edit);
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        const QByteArray now = fileBytes();
        QVERIFY(now.startsWith("BEGIN:VCARD") || now.startsWith("\xEF\xBB\xBF") || now.startsWith("#"));
        QFETCH(QByteArrayList, kept);
        for (const QByteArray &k : kept)
            QVERIFY2(now.contains(k), k.constData());
        QCOMPARE(fileNames(), names);
        const QList<LocalContact> edited = fileContacts(edit);
        QCOMPARE(edited.size(), 1);
        QCOMPARE(edited[0].email, u"nuovo@esempio.it"_s);
        const QByteArray card = cardHolding(now, "nuovo@esempio.it");
        QVERIFY2(strictCard(card).isEmpty(), qPrintable(strictCard(card).join(u'\n') + u'\n' + QString::fromUtf8(card)));
        QFETCH(QByteArrayList, written);
        for (const QByteArray &w : written)
            QVERIFY2(card.contains(w), card.constData());
        // A file read with problems is kept as it was beside the new one.
        QFile backup(LocalAddressBook::defaultPath() + u".bak"_s);
        QCOMPARE(backup.exists(), !told.isEmpty());
        if (backup.open(QIODevice::ReadOnly))
            QCOMPARE(backup.readAll(), file);
    }

    // A book with 400 lines the reader does not understand: the warning names the first ones and how many
    // more, all of them are in its detail area, and the real box with its OK fits a 1024x768 screen.
    void manyProblemsBoxFits()
    {
        QByteArray file = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:anna-1\r\nFN:Anna Alfa\r\n";
        for (int i = 1; i <= 400; ++i)
            file += "riga balorda numero " + QByteArray::number(i) + "\r\n";
        file += "TEL;TYPE=WORK,FAX:0101\r\nEND:VCARD\r\n";
        useFile(file);
        RUBfrmRubrica form;
        form.setOpenMode(2);
        const QList<ShownBox> boxes = meetRealBoxes(
            [&] {
                form.show();
                QVERIFY(QTest::qWaitForWindowExposed(&form, TestWait::bound()));
            },
            {QMessageBox::Ok});
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].misfit.isEmpty(), qPrintable(boxes[0].misfit));
        QVERIFY(boxes[0].text.startsWith(u"Alcune righe della rubrica non sono state comprese del tutto."_s));
        QVERIFY2(boxes[0].text.endsWith(u"\n\u2026 e altri 390"_s), qPrintable(boxes[0].text));
        QCOMPARE(boxes[0].detail.count(u"riga non valida"_s), 400);
        QCOMPARE(rowTexts(form.findChild<QListWidget *>(u"lstContacts"_s)), QStringList{u"Anna Alfa"_s});
    }

    // A large book is read on another thread. A change of ours, or a newer read, made while it is on its
    // way wins: the book ends as the file is.
    void largeBookChangedWhileReading_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("more"); // cards after it, against the file's
        for (const char *change : {"none", "add", "edit", "remove", "newer read", "changed elsewhere",
                                   "back to the bytes read", "folder in its place"})
            QTest::newRow(change) << QString::fromLatin1(change)
                                  << (change == "add"sv      ? 1
                                      : change == "remove"sv ? -1
                                                             : 0);
    }
    void largeBookChangedWhileReading()
    {
        QFETCH(QString, change);
        QFETCH(int, more);
        int cards = 0;
        const QByteArray small = fileBytes();
        LocalAddressBook book;
        if (change == u"back to the bytes read")
            QVERIFY(book.load());
        useFile(largeBook(&cards));
        QSignalSpy refreshed(&book, &LocalAddressBook::refreshed);
        // The book as the file is, whenever a read lands (a stale one taken would be mended only by the
        // watcher's read after it).
        const auto cardsOf = [](const LocalAddressBook &b) {
            QStringList out;
            for (const LocalContact &c : b.contacts())
                out.append(c.shownName() + u'|' + c.businessFax);
            return out;
        };
        QList<bool> asTheFile;
        connect(&book, &LocalAddressBook::refreshed, this, [&] {
            LocalAddressBook file;
            file.load();
            asTheFile.append(cardsOf(book) == cardsOf(file));
        });
        QCOMPARE(book.refreshInBackground(), LocalAddressBook::Refresh::Reading);
        QVERIFY(book.isReading());
        LocalContact edited = contact(u"Mario Rossi 7"_s, {}, u"0999"_s, {}, {});
        edited.uid = edited.key = u"big-7"_s;
        if (change == u"add")
            QVERIFY(!book.addContact(contact(u"Nuovo Intanto"_s, {}, u"0111"_s, {}, {})).isEmpty());
        else if (change == u"edit")
            QVERIFY(book.updateContact(edited));
        else if (change == u"remove")
            QVERIFY(book.removeContact(u"big-9"_s));
        else if (change == u"newer read")
            QCOMPARE(book.refreshInBackground(), LocalAddressBook::Refresh::Reading);
        // Another program changes the file once the worker has read it (a pause for that, no judgement):
        // the book's first read of the file already watches it.
        if (change == u"changed elsewhere") {
            QThread::msleep(50);
            otherProgramReplaces("FN:Mario Rossi 7\r\n", "FN:Mario Verdi 7\r\n");
            QUORIN_TRY_COMPARE(book.contacts().value(book.indexOfKey(u"big-7"_s)).shownName(), u"Mario Verdi 7"_s);
            QCOMPARE(book.count(), cards);
            return;
        }
        // The file goes back to the bytes last read, or a folder takes its place, before the read lands: the
        // watcher's read (made here at once) wins, and the book says why it cannot be read.
        if (change == u"back to the bytes read" || change == u"folder in its place") {
            QThread::msleep(50);
            const bool folder = change == u"folder in its place";
            if (folder) {
                QVERIFY(QFile::remove(LocalAddressBook::defaultPath()));
                QVERIFY(QDir().mkdir(LocalAddressBook::defaultPath()));
            } else {
                useFile(small);
            }
            QCOMPARE(book.refreshInBackground(),
                     folder ? LocalAddressBook::Refresh::Failed : LocalAddressBook::Refresh::Done);
            QUORIN_TRY_VERIFY(!book.isReading());
            QTest::qWait(200); // the watcher's own reads of the same change
            QCOMPARE(book.count(), folder ? 0 : 3);
            QCOMPARE(asTheFile, QList<bool>(asTheFile.size(), true));
            QVERIFY(!refreshed.isEmpty());
            QCOMPARE(refreshed.last().value(0).toBool(), !folder);
            const QString why = refreshed.last().value(1).toString();
            QVERIFY2(folder == why.contains(u"al suo posto c'è una cartella"_s), qPrintable(why));
            QDir().rmdir(LocalAddressBook::defaultPath());
            return;
        }
        QUORIN_TRY_VERIFY(!book.isReading());
        // A write of ours may start the watcher's read too, which tells its own end; a superseded read none.
        QVERIFY(!refreshed.isEmpty() && (change != u"newer read" || refreshed.size() == 1));
        for (const QList<QVariant> &told : std::as_const(refreshed))
            QVERIFY(told.value(0).toBool());
        QCOMPARE(asTheFile, QList<bool>(asTheFile.size(), true));
        QCOMPARE(book.count(), cards + more);
        QCOMPARE(book.indexOfKey(u"big-9"_s) >= 0, change != u"remove");
        QCOMPARE(book.contacts()[book.indexOfKey(u"big-7"_s)].businessFax,
                 change == u"edit" ? u"0999"_s : u"+39 02 7"_s);
    }

    // The window on a large book, opened as a person opens it: nothing listed to act on until the read
    // lands, then every card (also in a second window, for which nothing new is read); a card added
    // meanwhile is kept; the problems box comes once, after the read; a window closed meanwhile is no
    // harm; a change by another program is read the same way.
    void largeBookInTheWindow_data()
    {
        QTest::addColumn<QString>("step");
        for (const char *step : {"listed", "second window", "new card meanwhile", "damaged",
                                 "closed while reading", "changed elsewhere"})
            QTest::newRow(step) << QString::fromLatin1(step);
    }
    void largeBookInTheWindow()
    {
        QFETCH(QString, step);
        int cards = 0;
        const QByteArray bytes = largeBook(&cards, step == u"damaged");
        useFile(bytes);
        Prompt::clearRecords();
        RUBfrmRubrica first; // the book already read, the file as it was: only a compare in the background
        if (step == u"second window") {
            first.show();
            QUORIN_TRY_COMPARE(first.findChild<QListWidget *>(u"lstContacts"_s)->count(), cards);
        }
        auto form = std::make_unique<RUBfrmRubrica>();
        form->setOpenMode(2);
        form->show();
        LocalAddressBook &book = form->book();
        auto *list = form->findChild<QListWidget *>(u"lstContacts"_s);
        QVERIFY(book.isReading());
        QCOMPARE(list->count(), 0);
        if (step == u"closed while reading") {
            form.reset();
            QUORIN_TRY_VERIFY(!book.isReading());
            QCOMPARE(book.count(), cards);
            return;
        }
        // No row yet: Elimina and Proprietà do nothing.
        Prompt::setDialogHandler([](QDialog *d) {
            setText(d, u"txtDisplayName"_s, u"Nuovo Intanto"_s);
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(form->findChild<QPushButton *>(u"cmdElim"_s), Qt::LeftButton);
        QTest::mouseClick(form->findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        QVERIFY2(promptTexts().isEmpty(), qPrintable(promptTexts().join(u'\n')));
        QCOMPARE(fileBytes(), bytes);
        if (step == u"new card meanwhile") {
            QVERIFY(book.isReading());
            QTest::mouseClick(form->findChild<QPushButton *>(u"cmdNew"_s), Qt::LeftButton);
            ++cards;
        }
        QUORIN_TRY_VERIFY(!book.isReading());
        QCOMPARE(list->count(), cards);
        QCOMPARE(rowTexts(list), fileNames());
        QCOMPARE(form->windowTitle(), u"RUBRICA [ %1 contatti ]"_s.arg(cards));
        const QString told = promptTexts().join(u'\n');
        QCOMPARE(told.count(u"Alcune righe della rubrica"_s), step == u"damaged" ? 1 : 0);
        QVERIFY2(step != u"damaged" || told.contains(u"riga non valida"_s), qPrintable(told));
        if (step == u"changed elsewhere") {
            otherProgramReplaces("FN:Mario Rossi 7\r\n", "FN:Mario Verdi 7\r\n");
            QUORIN_TRY_COMPARE(list->item(7)->text(), u"Mario Verdi 7"_s);
            QCOMPARE(list->count(), cards);
        }
    }

    // A card without UID (as phones write them) renamed by another program while its dialog is open:
    // the user is asked whether it is the same contact; yes puts the change into that card, no second
    // card appears.
    void renamedElsewhereWithoutUid()
    {
        QVERIFY(!useMixedFile().isEmpty());
        RUBfrmRubrica form;
        form.setOpenMode(2);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form, TestWait::bound()));
        auto *list = form.findChild<QListWidget *>(u"lstContacts"_s);
        QUORIN_TRY_COMPARE(list->count(), 5);
        Prompt::clearRecords();
        Prompt::setDialogHandler([](QDialog *d) {
            d->show();
            if (!QTest::qWaitForWindowExposed(d, TestWait::bound()))
                return int(QDialog::Rejected);
            otherProgramReplaces("FN:Bea Verdi", "FN:Beatrice Verdi");
            typeInto(d, u"txtBusinessFax"_s, u"011 999"_s);
            QTest::mouseClick(d->findChild<QPushButton *>(u"cmdOk"_s), Qt::LeftButton);
            return d->result();
        });
        Prompt::setNextAnswer(QMessageBox::Yes);
        clickRow(list, u"Bea Verdi"_s);
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        const QString asked = promptTexts().join(u'\n');
        QVERIFY2(asked.contains(u"Era: «Bea Verdi (011 123457, bea@example.it)»"_s) &&
                     asked.contains(u"Ora nella rubrica: «Beatrice Verdi (011 123457, bea@example.it)»"_s),
                 qPrintable(asked));
        QVERIFY(fileContacts(u"Bea Verdi"_s).isEmpty());
        const QList<LocalContact> bea = fileContacts(u"Beatrice Verdi"_s);
        QCOMPARE(bea.size(), 1);
        QCOMPARE(bea[0].businessFax, u"011 999"_s);
        QCOMPARE(bea[0].email, u"bea@example.it"_s);
        QCOMPARE(fileNames().size(), 5);
        QUORIN_TRY_COMPARE(list->count(), 5);

        // Renamed and refaxed elsewhere, "no" to the question: the edit is written as a card of its own,
        // after being asked, never silently.
        Prompt::clearRecords();
        Prompt::setDialogHandler([](QDialog *d) {
            d->show();
            otherProgramReplaces("FN;CHARSET=ISO-8859-1:Ren\xE8 Cort\xE8s", "FN:Renato");
            typeInto(d, u"txtEmail"_s, u"rene@esempio.it"_s);
            QTest::mouseClick(d->findChild<QPushButton *>(u"cmdOk"_s), Qt::LeftButton);
            return d->result();
        });
        Prompt::setNextAnswer(QMessageBox::No);
        clickRow(list, u"Renè Cortès"_s);
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        QVERIFY2(promptTexts().join(u'\n').contains(u"Ora nella rubrica: «Renato (06 777)»"_s),
                 qPrintable(promptTexts().join(u'\n')));
        QCOMPARE(fileContacts(u"Renato"_s).size(), 1);
        QCOMPARE(fileContacts(u"Renè Cortès"_s).value(0).email, u"rene@esempio.it"_s);

        // A card of a name and a fax only, renamed elsewhere while its fax is edited here: no field the
        // user left is found, yet the card shares the fax it had. Asked, not written as a second card.
        useFile("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Beatrice Verdi\r\nTEL;TYPE=WORK,FAX:0522\r\nEND:VCARD\r\n"
                "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna Alfa\r\nTEL;TYPE=WORK,FAX:0101\r\nEND:VCARD\r\n");
        QUORIN_TRY_COMPARE(rowTexts(list), (QStringList{u"Beatrice Verdi"_s, u"Anna Alfa"_s}));
        Prompt::clearRecords();
        Prompt::setDialogHandler([](QDialog *d) {
            d->show();
            otherProgramReplaces("FN:Beatrice Verdi", "FN:Bea Verdi");
            typeInto(d, u"txtBusinessFax"_s, u"0599"_s);
            QTest::mouseClick(d->findChild<QPushButton *>(u"cmdOk"_s), Qt::LeftButton);
            return d->result();
        });
        Prompt::setNextAnswer(QMessageBox::Yes);
        clickRow(list, u"Beatrice Verdi"_s);
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        const QString question = promptTexts().join(u'\n');
        QVERIFY2(question.contains(u"Era: «Beatrice Verdi (0522)»"_s) &&
                     question.contains(u"Ora nella rubrica: «Bea Verdi (0522)»"_s),
                 qPrintable(question));
        QCOMPARE(fileNames(), (QStringList{u"Bea Verdi"_s, u"Anna Alfa"_s}));
        QCOMPARE(fileContacts(u"Bea Verdi"_s).value(0).businessFax, u"0599"_s);
    }

    // Two cards that share a UID (two exports joined, an old and a new copy of a contact): the pick, the
    // properties and the delete act on the card chosen in the window, never on its twin.
    void twinUidsActOnTheChosenCard()
    {
        const QByteArray primo = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:dup-1\r\nFN:Primo Dup\r\nN:Dup;Primo;;;\r\n"
                                 "TEL;TYPE=WORK,FAX:0111\r\nEND:VCARD\r\n";
        const QByteArray secondo = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:dup-1\r\nFN:Secondo Dup\r\nN:Dup;Secondo;;;\r\n"
                                   "TEL;TYPE=WORK,FAX:0222\r\nEND:VCARD\r\n";
        const QByteArray gino = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:gino-1\r\nFN:Gino Terzi\r\nN:Terzi;Gino;;;\r\n"
                                "TEL;TYPE=WORK,FAX:0333\r\nEND:VCARD\r\n";
        useFile(primo + secondo + gino);
        {
            RUBfrmRubrica pick;
            pick.setOpenMode(2);
            pick.setShowing(1);
            pick.show();
            QVERIFY(QTest::qWaitForWindowExposed(&pick, TestWait::bound()));
            auto *list = pick.findChild<QListWidget *>(u"lstContacts"_s);
            clickRow(list, u"Secondo Dup"_s);
            QTest::mouseClick(pick.findChild<QPushButton *>(u"cmdA"_s), Qt::LeftButton);
            clickRow(list, u"Primo Dup"_s);
            QTest::mouseClick(pick.findChild<QPushButton *>(u"cmdA"_s), Qt::LeftButton);
            QTest::mouseClick(pick.findChild<QPushButton *>(u"CmdOk"_s), Qt::LeftButton);
            QVERIFY(pick.ok());
            QCOMPARE(pick.Result(), u"0222;0111"_s);
            QCOMPARE(pick.Selected().value(0).name, u"Secondo Dup"_s);
            QCOMPARE(pick.Selected().value(0).fax, u"0222"_s);
        }
        RUBfrmRubrica form;
        form.setOpenMode(2);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form, TestWait::bound()));
        auto *list = form.findChild<QListWidget *>(u"lstContacts"_s);
        QString shown;
        Prompt::setDialogHandler([&](QDialog *d) {
            d->show();
            shown = child<QLineEdit>(d, u"txtBusinessFax"_s)->text();
            typeInto(d, u"txtBusinessFax"_s, u"0444"_s);
            QTest::mouseClick(d->findChild<QPushButton *>(u"cmdOk"_s), Qt::LeftButton);
            return d->result();
        });
        clickRow(list, u"Secondo Dup"_s);
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        QCOMPARE(shown, u"0222"_s);
        QVERIFY(fileBytes().startsWith(primo));
        QCOMPARE(fileContacts(u"Secondo Dup"_s).value(0).businessFax, u"0444"_s);

        // Changed by another program meanwhile: found among the cards of its UID by what the user left.
        Prompt::clearRecords();
        Prompt::setDialogHandler([&](QDialog *d) {
            otherProgramReplaces("N:Dup;Secondo;;;", "N:Dup;Secondo;;Dott.;");
            typeInto(d, u"txtCompany"_s, u"Seconda Srl"_s);
            return int(QDialog::Accepted);
        });
        clickRow(list, u"Secondo Dup"_s);
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        QVERIFY2(!promptTexts().join(u'\n').contains(u"È lo stesso contatto?"_s), qPrintable(promptTexts().join(u'\n')));
        QList<LocalContact> second = fileContacts(u"Secondo Dup"_s);
        QCOMPARE(second.size(), 1);
        QCOMPARE(second[0].company, u"Seconda Srl"_s);
        QCOMPARE(second[0].kept.value(u"N.rest"_s), u";Dott.;"_s);
        QVERIFY(fileBytes().startsWith(primo));

        clickRow(list, u"Secondo Dup"_s);
        Prompt::setNextAnswer(QMessageBox::Yes);
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdElim"_s), Qt::LeftButton);
        QCOMPARE(fileBytes(), primo + gino);
        QVERIFY(!QFile::exists(LocalAddressBook::defaultPath() + u".bak"_s));
        QCOMPARE(rowTexts(list), (QStringList{u"Primo Dup"_s, u"Gino Terzi"_s}));
        QCOMPARE(form.windowTitle(), u"RUBRICA [ 2 contatti ]"_s);

        // A key taken straight from the book's own list while another program changes the file: the
        // re-read replaces that list, and the chosen card still goes, alone.
        useFile(primo + secondo + gino);
        LocalAddressBook book;
        QVERIFY(book.load());
        otherProgramReplaces("FN:Gino Terzi", "FN:Gino Terzi Sr.");
        QVERIFY(book.removeContact(book.contacts().at(1).key));
        QByteArray rest = primo + gino;
        QCOMPARE(fileBytes(), rest.replace("FN:Gino Terzi", "FN:Gino Terzi Sr."));

        // The chosen twin changed by another program meanwhile stays, and the window says so; one removed
        // there is gone as asked.
        useFile(primo + secondo + gino);
        QVERIFY(book.load());
        QUORIN_TRY_VERIFY(rowTexts(list).contains(u"Secondo Dup"_s));
        clickRow(list, u"Secondo Dup"_s);
        otherProgramReplaces("FN:Secondo Dup", "FN:Secondo Dup Jr.");
        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::Yes);
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdElim"_s), Qt::LeftButton);
        const QString told = promptTexts().join(u'\n');
        QVERIFY2(told.contains(u"modificato altrove nel frattempo e non è stato cancellato"_s), qPrintable(told));
        QByteArray changed = primo + secondo + gino;
        QCOMPARE(fileBytes(), changed.replace("FN:Secondo Dup", "FN:Secondo Dup Jr."));
        QCOMPARE(rowTexts(list), (QStringList{u"Primo Dup"_s, u"Secondo Dup Jr."_s, u"Gino Terzi"_s}));
        const QString twinKey = book.contacts().at(1).key;
        otherProgramReplaces(changed.mid(primo.size(), changed.size() - primo.size() - gino.size()), {});
        QString why;
        QVERIFY2(book.removeContact(twinKey, &why), qPrintable(why));
        QCOMPARE(fileBytes(), primo + gino);

        // The other twin removed elsewhere: the chosen card, unchanged, still goes; changed as well, it
        // stays and the delete says so.
        useFile(primo + secondo + gino);
        QVERIFY(book.load());
        QString chosen = book.contacts().at(1).key;
        otherProgramReplaces(primo, {});
        QVERIFY2(book.removeContact(chosen, &why), qPrintable(why));
        QCOMPARE(fileBytes(), gino);
        useFile(primo + secondo + gino);
        QVERIFY(book.load());
        chosen = book.contacts().at(1).key;
        otherProgramReplaces(primo, {});
        otherProgramReplaces("FN:Secondo Dup", "FN:Secondo Dup Jr.");
        why.clear();
        QVERIFY(!book.removeContact(chosen, &why));
        QVERIFY2(why.contains(u"modificato altrove"_s), qPrintable(why));
        QByteArray kept = secondo + gino;
        QCOMPARE(fileBytes(), kept.replace("FN:Secondo Dup", "FN:Secondo Dup Jr."));
    }

    // A full disk or a book that cannot be written: the message says why, in Italian, the dialog stays
    // open with what was typed, the file keeps what it held. A small tmpfs over the book's folder where
    // the machine lets us mount one, else a file size limit on this process.
    void writeRefusedKeepsTheDialog()
    {
        const QString folder = QFileInfo(LocalAddressBook::defaultPath()).absolutePath();
        QDir().mkpath(folder);
        const bool mounted = ::geteuid() == 0 &&
                             QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=64k"_s,
                                                            u"tmpfs"_s, folder}) == 0;
        const auto unmount = qScopeGuard([&] {
            if (mounted)
                QProcess::execute(u"umount"_s, {folder});
        });
        const QByteArray note = "NOTE:" + QByteArray(38000, 'x').replace(70, 1, "\r\n ") + "\r\n";
        const QByteArray book = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:a-1\r\nFN:Anna Alfa\r\nN:Alfa;Anna;;;\r\n"
                                "TEL;TYPE=WORK,FAX:0101\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nUID:g-1\r\n"
                                "FN:Grande\r\nN:;Grande;;;\r\n" + note + "END:VCARD\r\n";
        useFile(book);
        rlimit before{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &before) == 0);
        const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &before); });
        if (!mounted) {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit small = before;
            small.rlim_cur = rlim_t(book.size() + 10);
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        }
        RUBfrmRubrica form;
        form.setOpenMode(2);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form, TestWait::bound()));
        auto *list = form.findChild<QListWidget *>(u"lstContacts"_s);
        bool keptOpen = false;
        QString kept;
        Prompt::clearRecords();
        Prompt::setDialogHandler([&](QDialog *d) {
            d->show();
            typeInto(d, u"txtCompany"_s, u"Nuova Alfa di nome lungo"_s);
            QTest::mouseClick(d->findChild<QPushButton *>(u"cmdOk"_s), Qt::LeftButton);
            keptOpen = d->isVisible() && d->result() != QDialog::Accepted;
            kept = child<QLineEdit>(d, u"txtCompany"_s)->text();
            d->reject();
            return d->result();
        });
        clickRow(list, u"Anna Alfa"_s);
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        const QString told = promptTexts().join(u'\n');
        QVERIFY2(keptOpen, qPrintable(told));
        QCOMPARE(kept, u"Nuova Alfa di nome lungo"_s);
        QVERIFY2(told.contains(u"Impossibile salvare il contatto."_s) &&
                     told.contains(mounted ? u"il disco è pieno"_s : u"supererebbe la dimensione massima"_s),
                 qPrintable(told));
        QVERIFY2(!told.contains(u"error"_s, Qt::CaseInsensitive) && !told.contains(u"writable"_s), qPrintable(told));
        QCOMPARE(fileBytes(), book);

        // A book that cannot be written says so.
        ::setrlimit(RLIMIT_FSIZE, &before);
        if (mounted)
            QCOMPARE(QProcess::execute(u"mount"_s, {u"-o"_s, u"remount,ro"_s, folder}), 0);
        else if (::geteuid() != 0)
            QVERIFY(QFile::setPermissions(LocalAddressBook::defaultPath(), QFileDevice::ReadOwner));
        else
            return; // nothing a root process cannot write
        Prompt::clearRecords();
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        const QString readOnly = promptTexts().join(u'\n');
        QVERIFY2(keptOpen && readOnly.contains(u"di sola lettura"_s) && !readOnly.contains(u"writable"_s) &&
                     !readOnly.contains(u"in uso"_s),
                 qPrintable(readOnly + u" kept open: "_s + QString::number(keptOpen)));
        QFile::setPermissions(LocalAddressBook::defaultPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(fileBytes(), book);
    }

    // While a contact's dialog is open, a second window and another program change the same contact:
    // what each changed survives, a field changed on both sides is asked, nothing is duplicated.
    void editsMadeMeanwhile()
    {
        QVERIFY(!useMixedFile().isEmpty());
        RUBfrmRubrica a, b;
        for (RUBfrmRubrica *w : {&a, &b}) {
            w->setOpenMode(2);
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w, TestWait::bound()));
        }
        auto *listA = a.findChild<QListWidget *>(u"lstContacts"_s);
        auto *listB = b.findChild<QListWidget *>(u"lstContacts"_s);
        QUORIN_TRY_COMPARE(listB->count(), 5);

        int dialogs = 0;
        Prompt::setDialogHandler([&](QDialog *d) {
            if (++dialogs == 1) { // window a's dialog, still open
                otherProgramReplaces("TEL;TYPE=WORK,FAX:02 555", "TEL;TYPE=WORK,FAX:02 999");
                clickRow(listB, u"Ana Città"_s);
                QTest::mouseClick(b.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
                typeInto(d, u"txtEmail"_s, u"ana@nuovo.it"_s);
            } else { // window b's dialog
                typeInto(d, u"txtCompany"_s, u"Beta Srl"_s);
            }
            return int(QDialog::Accepted);
        });
        clickRow(listA, u"Ana Città"_s);
        QTest::mouseClick(a.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        QCOMPARE(dialogs, 2);
        QList<LocalContact> ana = fileContacts(u"Ana Città"_s);
        QCOMPARE(ana.size(), 1);
        QCOMPARE(ana[0].email, u"ana@nuovo.it"_s);
        QCOMPARE(ana[0].businessFax, u"02 999"_s);
        QCOMPARE(ana[0].company, u"Beta Srl"_s);

        // Both sides changed the e-mail: asked; "No" keeps the other program's.
        Prompt::clearRecords();
        Prompt::setDialogHandler([&](QDialog *d) {
            otherProgramReplaces("ana@nuovo.it", "ana@altrove.it");
            typeInto(d, u"txtEmail"_s, u"ana@mio.it"_s);
            typeInto(d, u"txtPhone"_s, u"02 123"_s);
            return int(QDialog::Accepted);
        });
        Prompt::setNextAnswer(QMessageBox::No);
        QTest::mouseClick(a.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        QVERIFY(promptTexts().join(u'\n').contains(u"«Email»"_s));
        ana = fileContacts(u"Ana Città"_s);
        QCOMPARE(ana.size(), 1);
        QCOMPARE(ana[0].email, u"ana@altrove.it"_s);
        QCOMPARE(ana[0].phone, u"02 123"_s);

        // A card without UID changed by another program meanwhile is found by its name, not duplicated.
        Prompt::setDialogHandler([&](QDialog *d) {
            otherProgramReplaces("011 123457", "011 000111");
            typeInto(d, u"txtEmail"_s, u"bea@nuovo.it"_s);
            return int(QDialog::Accepted);
        });
        clickRow(listA, u"Bea Verdi"_s);
        QTest::mouseClick(a.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        QList<LocalContact> bea = fileContacts(u"Bea Verdi"_s);
        QCOMPARE(bea.size(), 1);
        QCOMPARE(bea[0].email, u"bea@nuovo.it"_s);
        QCOMPARE(bea[0].businessFax, u"011 000111"_s);
        // and by its bytes when another program rewrote the file around it
        Prompt::setDialogHandler([&](QDialog *d) {
            otherProgramReplaces("06 777", "06 778");
            typeInto(d, u"txtPhone"_s, u"333"_s);
            return int(QDialog::Accepted);
        });
        clickRow(listA, u"Jürgen Müller"_s);
        QTest::mouseClick(a.findChild<QPushButton *>(u"cmdProp"_s), Qt::LeftButton);
        QCOMPARE(fileContacts(u"Jürgen Müller"_s).value(0).phone, u"333"_s);
        QCOMPARE(fileContacts(u"Renè Cortès"_s).value(0).businessFax, u"06 778"_s);
        QCOMPARE(fileContacts(u"Bea Verdi"_s).size(), 1);
        QCOMPARE(listA->count(), 5);
    }

    void settingsDialog()
    {
        ConfigIni.AbilitaMail = 1;
        ConfigIni.FieldRubrica = 2;
        RUBfrmConfRub conf;
        conf.findChild<QCheckBox *>(u"Check1"_s)->setChecked(true);
        conf.findChild<QComboBox *>(u"cboType"_s)->setCurrentIndex(1);
        conf.SaveBookSettings();
        QVERIFY(ConfigIni.ShowRubrica);
        QCOMPARE(ConfigIni.FieldRubrica, 3);
        QCOMPARE(ProfileFile::readString(ConfigIni.IniPath, u"Config"_s, u"ShowRubrica"_s), u"1"_s);
        QCOMPARE(ProfileFile::readString(ConfigIni.IniPath, u"Config"_s, u"FieldRubrica"_s), u"3"_s);
    }
};

QTEST_MAIN(TestLocalBook)
#include "tst_localbook.moc"
