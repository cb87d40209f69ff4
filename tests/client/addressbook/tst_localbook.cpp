#include "../compose/ComposeRig.h"
#include "ProfileFile.h"
#include "RUBfrmConfRub.h"
#include "RUBfrmRubrica.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QLockFile>
#include <QPushButton>
#include <QSaveFile>
#include <QThread>
#include <QTreeWidget>

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

void pickRow(RUBfrmRubrica &form, int row)
{
    auto *list = form.findChild<QListWidget *>(u"lstContacts"_s);
    list->setCurrentRow(row);
    form.cmdA_Click();
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
                   contact(u"Viverov Aroz"_s, QString(), u"022222"_s, u"033333"_s, u"Beta"_s),
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
        form.CmdOk_Click();
        QVERIFY(form.ok());
        QTEST(form.Result(), "result");
        const PickedList picked = form.Selected();
        QCOMPARE(picked.size(), 3);
        QCOMPARE(picked[1].name, u"Viverov Aroz"_s);
        QCOMPARE(picked[1].company, u"Beta"_s);
        QCOMPARE((QStringList{picked[0].fax, picked[1].fax, picked[2].fax}), collected);
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
    }

    void emptyBookKeepsCaption()
    {
        QFile::remove(LocalAddressBook::defaultPath());
        RUBfrmRubrica form;
        form.Load();
        QCOMPARE(form.windowTitle(), u"Rubrica"_s);
    }

    void unreadableBookIsReported()
    {
        const QString path = LocalAddressBook::defaultPath();
        QFile::remove(path);
        QDir().mkpath(path); // a folder where the file should be
        RUBfrmRubrica form;
        Prompt::clearRecords();
        form.Load();
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QCOMPARE(form.findChild<QListWidget *>(u"lstContacts"_s)->count(), 0);
        form.cmdNew_Click(); // nothing to add to
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
