#include "../compose/ComposeRig.h"
#include "Recipients.h"
#include "frmNewContatto.h"
#include "frmRubCondivisa.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

using F = FakeFaxServer;

namespace {

const QString LS = u"\u00A6"_s;
const QString RS = u"<\u00CC\u00CC>"_s;

QString record(const QString &first, const QString &surname, const QString &fax, const QString &mail,
               const QString &company, int id, bool shared)
{
    return QStringList{first,
                       surname,
                       u"Via"_s,
                       u"20100"_s,
                       u"Milano"_s,
                       u"MI"_s,
                       u"02"_s,
                       QString(),
                       fax,
                       company,
                       mail,
                       QString::number(id),
                       shared ? u"V"_s : u"F"_s}
               .join(LS) +
           RS;
}

const QString Book = record(u"Mario"_s, u"Bianchi"_s, u"0611"_s, u"m@b.it"_s, u"Alfa"_s, 11, true) +
                     record(u"Anna"_s, u"Rossi"_s, u"0622"_s, u"a@r.it"_s, u"Beta"_s, 12, false) +
                     record(u"Luca"_s, u"Verdi"_s, u"0633"_s, QString(), u"Gamma"_s, 13, true);

// Rights of the shared book: delete, read, modify, add.
QString loginRights(const QString &book)
{
    return u"mario<#>T<#>T<#>T<#>T<#><#>"_s + book;
}

QStringList rowTexts(QTreeWidget *list, int column = 0)
{
    QStringList t;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        t.append(list->topLevelItem(i)->text(column));
    return t;
}

QTreeWidgetItem *row(QTreeWidget *list, const QString &text)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(0) == text)
            return list->topLevelItem(i);
    return nullptr;
}

void selectOnly(QTreeWidget *list, const QStringList &texts)
{
    list->setCurrentItem(row(list, texts.first()));
    list->clearSelection();
    for (const QString &t : texts)
        row(list, t)->setSelected(true);
}

struct BookRig
{
    LinkRig link{false};
    std::unique_ptr<frmRubCondivisa> window;
    QTreeWidget *contacts = nullptr;

    bool open(const QString &rights, int showMode = 1, const QString &book = Book)
    {
        if (!link.login(loginRights(rights)))
            return false;
        window = std::make_unique<frmRubCondivisa>(link.sock.get());
        window->setShowMode(showMode);
        contacts = window->findChild<QTreeWidget *>(u"lvContatti"_s);
        return deliver(book);
    }
    // Waits for the request, answers with the book and waits until the window shows it.
    bool deliver(const QString &book = Book)
    {
        if (!link.received(F::query(u"ASKRUBRICA")))
            return false;
        link.server.clearReceived();
        QSignalSpy filled(window.get(), &frmRubCondivisa::BookFilled);
        link.server.send(F::answer(u"RUBRICA", book));
        return TestWait::forSignal(filled);
    }
    // Everything the window sent since the last clear, up to a marker frame.
    QByteArray sent()
    {
        link.sock->SendUser(u"mario"_s);
        const QByteArray marker = F::answer(u"USER", u"mario");
        if (!link.received(marker))
            return "<no marker>";
        QByteArray all = link.server.received();
        link.server.clearReceived();
        return all.left(all.size() - marker.size());
    }
};

} // namespace

class TestSharedBook : public QObject
{
    Q_OBJECT
    TestHome m_home;

private Q_SLOTS:
    void initTestCase() { useTemporaryHome(m_home); }
    void init()
    {
        resetConfig(m_home);
        Prompt::setDialogHandler({});
    }

    void fillAndFilter()
    {
        BookRig rig;
        QVERIFY(rig.open(u"T<#>T<#>T<#>T"_s));
        QCOMPARE(rig.window->windowTitle(), u"RUBRICA [ 3 contatti ]"_s);
        QCOMPARE(rowTexts(rig.contacts), (QStringList{u"Bianchi Mario"_s, u"Rossi Anna"_s, u"Verdi Luca"_s}));
        QCOMPARE(rig.window->findChild<QLabel *>(u"LblSearchIn"_s)->text(), u"Ricerca nella colonna: Nome"_s);
        QVERIFY(rig.window->findChild<QTreeWidget *>(u"LVSelezionati"_s)->isHidden()); // browse mode
        rig.window->ApplyFilter(1);
        QCOMPARE(rowTexts(rig.contacts), (QStringList{u"Bianchi Mario"_s, u"Verdi Luca"_s}));
        QCOMPARE(rig.window->windowTitle(), u"RUBRICA [ 2 contatti ]"_s);
        rig.window->ApplyFilter(2);
        QCOMPARE(rowTexts(rig.contacts), QStringList{u"Rossi Anna"_s});
    }

    // Browse mode at its opening size with the default font: the contact list has the whole width, every
    // column header shows whole, and no label or box cuts its text.
    void browseModeFits()
    {
        BookRig rig;
        QVERIFY(rig.open(u"T<#>T<#>T<#>T"_s));
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get(), TestWait::bound()));
        auto *frame = rig.window->findChild<QGroupBox *>(u"frameContatti"_s);
        QVERIFY(rig.contacts->width() > frame->contentsRect().width() * 9 / 10);
        QVERIFY(rig.window->findChild<QWidget *>(u"pickSide"_s)->isHidden());
        QHeaderView *header = rig.contacts->header();
        for (int c = 0; c < rig.contacts->columnCount(); ++c) {
            QVERIFY2(header->sectionViewportPosition(c) + header->sectionSize(c) <=
                         rig.contacts->viewport()->width(),
                     qPrintable(rig.contacts->headerItem()->text(c)));
            QVERIFY(header->sectionSize(c) >= header->sectionSizeHint(c));
        }
        for (const char *name : {"cboFiltro", "cboSearchType"}) {
            auto *box = rig.window->findChild<QComboBox *>(QString::fromLatin1(name));
            QVERIFY(box->count() > 0);
            QVERIFY2(box->width() >= box->sizeHint().width(), name);
        }
        for (const char *name : {"LblSearchIn", "LblVisualizza"}) {
            auto *label = rig.window->findChild<QLabel *>(QString::fromLatin1(name));
            QVERIFY2(label->width() >= label->sizeHint().width(), name);
        }
        for (QPushButton *b : rig.window->findChildren<QPushButton *>())
            if (b->isVisible())
                QVERIFY2(b->width() >= b->sizeHint().width(), qPrintable(b->text()));
    }

    void sortAndSearch()
    {
        BookRig rig;
        QVERIFY(rig.open(u"T<#>T<#>T<#>T"_s));
        auto *mode = rig.window->findChild<QComboBox *>(u"cboSearchType"_s);
        mode->setCurrentIndex(0);
        rig.window->Search(u"ANCH"_s); // contains, any case
        QCOMPARE(rig.contacts->currentItem()->text(0), u"Bianchi Mario"_s);
        mode->setCurrentIndex(1);
        Prompt::clearRecords();
        rig.window->Search(u"ANCH"_s);
        QCOMPARE(Prompt::lastRecord().text, u"Contatto non trovato!"_s);
        rig.window->SortByColumn(1);
        rig.window->SortByColumn(1); // descending
        QCOMPARE(rig.window->findChild<QLabel *>(u"LblSearchIn"_s)->text(), u"Ricerca nella colonna: Fax"_s);
        QCOMPARE(rowTexts(rig.contacts, 1), (QStringList{u"0633"_s, u"0622"_s, u"0611"_s}));
        rig.window->Search(u"06"_s);
        QCOMPARE(rig.contacts->currentItem()->text(1), u"0633"_s);
    }

    // Names sort as people read them, whatever their case or accents; a header click turns the order.
    void sortsByLocaleIgnoringCase()
    {
        BookRig rig;
        QVERIFY(rig.link.login(loginRights(u"T<#>T<#>T<#>T"_s)));
        rig.window = std::make_unique<frmRubCondivisa>(rig.link.sock.get());
        rig.window->setShowMode(1);
        rig.contacts = rig.window->findChild<QTreeWidget *>(u"lvContatti"_s);
        QString book;
        int id = 20;
        for (const QString &surname : {u"Zeta"_s, u"bianchi"_s, u"\u00C4rger"_s, u"de Luca"_s, u"Alfa"_s}) {
            book += record(QString(), surname, u"06"_s + QString::number(id), QString(), QString(), id, true);
            ++id;
        }
        QVERIFY(rig.deliver(book));
        auto names = [&] {
            QStringList t = rowTexts(rig.contacts);
            for (QString &n : t)
                n = n.trimmed();
            return t;
        };
        const QStringList ascending{u"Alfa"_s, u"\u00C4rger"_s, u"bianchi"_s, u"de Luca"_s, u"Zeta"_s};
        QCOMPARE(names(), ascending);
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get(), TestWait::bound()));
        QHeaderView *header = rig.contacts->header();
        const QPoint first(header->sectionViewportPosition(0) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, first);
        QStringList descending = ascending;
        std::reverse(descending.begin(), descending.end());
        QCOMPARE(names(), descending);
    }

    // Deleting with and without the right; rows after a deleted one still name their own contact.
    void deleteContacts()
    {
        BookRig rig;
        QVERIFY(rig.open(u"F<#>T<#>T<#>T"_s)); // no right to delete shared contacts
        selectOnly(rig.contacts, {u"Bianchi Mario"_s, u"Rossi Anna"_s});
        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::Yes);
        rig.window->cmdElim_Click();
        QCOMPARE(promptTexts().value(1), u"Impossibile eliminare il contatto selezionato!\r\n"
                                         u"Non si dispone dei diritti per eliminare i contatti condivisi."_s);
        QCOMPARE(rig.sent(), F::query(u"DELETECONTACT", u"12")); // only the personal one
        QCOMPARE(rowTexts(rig.contacts), (QStringList{u"Bianchi Mario"_s, u"Verdi Luca"_s}));
        QCOMPARE(rig.window->CollContatti()->Count(), 2);

        // The contact after the deleted one moved up a place: editing its row opens it, not a neighbour.
        QString opened;
        Prompt::setDialogHandler([&](QDialog *d) {
            opened = d->findChild<QLineEdit *>(u"txtNome"_s)->text();
            return int(QDialog::Rejected);
        });
        rig.contacts->setCurrentItem(row(rig.contacts, u"Verdi Luca"_s));
        rig.window->ModificaContatto();
        QCOMPARE(opened, u"Luca"_s);
        QCOMPARE(rig.window->currContactsItem()->IdContatto(), 13);

        Prompt::setNextAnswer(QMessageBox::No); // not confirmed: nothing happens
        rig.window->cmdElim_Click();
        QCOMPARE(rig.sent(), QByteArray());
    }

    // New contacts: refused as shared without the right, then sent as personal; the book is asked again.
    void newContact()
    {
        BookRig rig;
        QVERIFY(rig.open(u"T<#>T<#>T<#>F"_s)); // no right to add shared contacts
        QStringList told;
        bool fieldsEmptied = false;
        QString closeCaption;
        Prompt::setDialogHandler([&](QDialog *d) {
            setText(d, u"txtNome"_s, u"Nuova"_s);
            setText(d, u"txtFax"_s, u"0699"_s);
            auto *shared = d->findChild<QCheckBox *>(u"CheckCondiviso"_s);
            if (!shared->isChecked())
                return int(QDialog::Rejected); // a new contact starts shared
            click(d, u"CmdOK"_s);
            told = promptTexts();
            shared->setChecked(false);
            click(d, u"CmdOK"_s);
            fieldsEmptied = d->findChild<QLineEdit *>(u"txtNome"_s)->text().isEmpty();
            closeCaption = d->findChild<QPushButton *>(u"cmdAnnulla"_s)->text();
            return int(QDialog::Rejected);
        });
        Prompt::clearRecords();
        rig.window->cmdNew_Click();
        QVERIFY(told.contains(u"Impossibile caricare il contatto!\r\n"
                              u"Non si dispone dei diritti per caricare contatti condivisi."_s));
        QVERIFY(rig.link.received(F::query(u"NEW_CONTATTO", u"Nuova<#><#><#><#><#><#><#><#>0699<#><#><#>F")));
        QVERIFY(fieldsEmptied);
        QCOMPARE(closeCaption, u"&Chiudi"_s);
        QVERIFY(rig.window->waitingForBook());
        QVERIFY(
            rig.deliver(Book + record(u"Nuova"_s, QString(), u"0699"_s, QString(), QString(), 14, false)));
        QCOMPARE(rig.contacts->topLevelItemCount(), 4);
        QCOMPARE(rig.window->windowTitle(), u"RUBRICA [ 4 contatti ]"_s);
    }

    // A contact with letters the server cannot take, or a link separator, is not sent; the field is named.
    void newContactTheServerWouldMisread()
    {
        BookRig rig;
        QVERIFY(rig.open(u"T<#>T<#>T<#>T"_s));
        QStringList told;
        QString after;
        Prompt::setDialogHandler([&](QDialog *d) {
            d->show();
            auto *surname = d->findChild<QLineEdit *>(u"txtCognome"_s);
            for (const QChar c : u"Yamada 山田"_s)
                QTest::sendKeyEvent(QTest::Click, surname, Qt::Key_unknown, QString(c), Qt::NoModifier);
            QTest::mouseClick(d->findChild<QPushButton *>(u"CmdOK"_s), Qt::LeftButton);
            surname->clear();
            QTest::keyClicks(d->findChild<QLineEdit *>(u"txtVia"_s), u"Via<#>Roma"_s);
            QTest::mouseClick(d->findChild<QPushButton *>(u"CmdOK"_s), Qt::LeftButton);
            told = promptTexts();
            after = surname->text();
            return int(QDialog::Rejected);
        });
        Prompt::clearRecords();
        rig.window->cmdNew_Click();
        told.removeAll(u"frmNewContatto"_s); // the window itself
        QVERIFY2(told.size() == 2, qPrintable(told.join(u" | "_s)));
        QCOMPARE(told[0], u"Il campo Cognome contiene caratteri che non possono essere inviati al server: 山田"_s);
        QVERIFY2(told[1].startsWith(u"Il campo Via contiene \"<#>\""_s), qPrintable(told[1]));
        rig.link.sock->SendUser(u"mario"_s);
        QVERIFY(rig.link.received(F::answer(u"USER", u"mario")));
        QVERIFY(rig.link.server.receivedFrames("NEW_CONTATTO").isEmpty());
    }

    // Control characters of the server's texts show on one line as visible signs; picked with the mouse
    // they reach the fax's recipient fields as spaces; an edit that leaves a field sends it with spaces.
    void controlCharacters()
    {
        BookRig rig;
        const QString book = record(u"Anna\a"_s, u"Ros\r\nsi"_s, u"06\x1B" "22"_s, u"a@r.it"_s, u"Be\tta"_s, 12, true);
        QVERIFY(rig.open(u"T<#>T<#>T<#>T"_s, 0, book));
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get(), TestWait::bound()));
        QCOMPARE(rowTexts(rig.contacts), QStringList{u"Ros\u21B5si Anna\uFFFD"_s});
        QCOMPARE(rig.contacts->topLevelItem(0)->text(1), u"06\uFFFD" "22"_s);
        QCOMPARE(rig.contacts->topLevelItem(0)->text(3), u"Be\u2192ta"_s);
        const QRect at = rig.contacts->visualItemRect(rig.contacts->topLevelItem(0));
        QTest::mouseClick(rig.contacts->viewport(), Qt::LeftButton, {}, at.center());
        QTest::mouseClick(child<QPushButton>(rig.window.get(), u"cmdA"_s), Qt::LeftButton);
        auto *chosen = rig.window->findChild<QTreeWidget *>(u"LVSelezionati"_s);
        QCOMPARE(rowTexts(chosen), QStringList{u"Ros\u21B5si Anna\uFFFD"_s});
        QCOMPARE(Recipients::ReadSelectedList(chosen), (PickedList{{u"Ros  si Anna "_s, u"06 22"_s, u"Be ta"_s}}));

        QString shownName;
        Prompt::setDialogHandler([&](QDialog *d) {
            shownName = child<QLineEdit>(d, u"txtNome"_s)->text();
            setText(d, u"txtFax"_s, u"0600"_s);
            click(d, u"CmdOK"_s);
            return d->result();
        });
        QTest::mouseClick(child<QPushButton>(rig.window.get(), u"cmdProp"_s), Qt::LeftButton);
        QCOMPARE(shownName, u"Anna\uFFFD"_s);
        QCOMPARE(rig.sent(), F::query(u"UPD_CONTATTO", u"Anna <#>Ros  si<#>Via<#>20100<#>Milano<#>MI<#>02<#><#>0600<#>"
                                                       u"Be ta<#>a@r.it<#>V<#>12"));
    }

    void editContact_data()
    {
        QTest::addColumn<QString>("rights");
        QTest::addColumn<bool>("unshare");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("without the right to modify shared contacts")
            << u"T<#>T<#>F<#>T"_s << false
            << u"Impossibile modificare il contatto!\r\nNon si dispone dei diritti per modificare i contatti condivisi."_s
            << QByteArray();
        QTest::newRow("made personal without the right to delete shared ones")
            << u"F<#>T<#>T<#>T"_s << true
            << u"Impossibile modificare il contatto!\r\nNon si dispone dei diritti per eliminare i contatti condivisi."_s
            << QByteArray();
        QTest::newRow("allowed")
            << u"T<#>T<#>T<#>T"_s << false << QString()
            << F::query(
                   u"UPD_CONTATTO",
                   u"Mario<#>Bianchi<#>Via<#>20100<#>Milano<#>MI<#>02<#><#>0600<#>Alfa<#>m@b.it<#>V<#>11");
    }
    void editContact()
    {
        QFETCH(QString, rights);
        QFETCH(bool, unshare);
        QFETCH(QString, told);
        QFETCH(QByteArray, sent);
        BookRig rig;
        QVERIFY(rig.open(rights));
        int result = -1;
        Prompt::setDialogHandler([&](QDialog *d) {
            setText(d, u"txtFax"_s, u"0600"_s);
            if (unshare)
                d->findChild<QCheckBox *>(u"CheckCondiviso"_s)->setChecked(false);
            click(d, u"CmdOK"_s);
            result = d->result();
            return result;
        });
        Prompt::clearRecords();
        rig.contacts->setCurrentItem(row(rig.contacts, u"Bianchi Mario"_s));
        rig.window->ModificaContatto();
        QCOMPARE(rig.sent(), sent);
        if (told.isEmpty()) {
            QCOMPARE(result, int(QDialog::Accepted));
            QCOMPARE(row(rig.contacts, u"Bianchi Mario"_s)->text(1), u"0600"_s);
        } else {
            QCOMPARE(Prompt::lastRecord().text, told);
            QCOMPARE(row(rig.contacts, u"Bianchi Mario"_s)->text(1), u"0611"_s);
        }
    }

    // Pick mode: recipients are copied once each and read back in the send dialog's shape.
    void pickRecipients()
    {
        BookRig rig;
        QVERIFY(rig.open(u"T<#>T<#>T<#>T"_s, 0));
        auto *chosen = rig.window->findChild<QTreeWidget *>(u"LVSelezionati"_s);
        QVERIFY(!chosen->isHidden());
        selectOnly(rig.contacts, {u"Rossi Anna"_s, u"Verdi Luca"_s});
        rig.window->cmdA_Click();
        rig.window->cmdA_Click();
        QCOMPARE(chosen->topLevelItemCount(), 2);
        const PickedList picked = Recipients::ReadSelectedList(chosen);
        QCOMPARE(picked, (PickedList{{u"Rossi Anna"_s, u"0622"_s, u"Beta"_s},
                                     {u"Verdi Luca"_s, u"0633"_s, u"Gamma"_s}}));
        chosen->topLevelItem(0)->setSelected(true);
        chosen->topLevelItem(1)->setSelected(true);
        rig.window->cmdTogli_Click();
        QCOMPARE(chosen->topLevelItemCount(), 0);
    }

    // A book that another window asked for replaces the one shown: rows follow the link's book.
    void laterBookReplacesRows()
    {
        BookRig rig;
        QVERIFY(rig.open(u"T<#>T<#>T<#>T"_s));
        QSignalSpy filled(rig.window.get(), &frmRubCondivisa::BookFilled);
        rig.link.server.send(F::answer(u"RUBRICA", record(u"Sola"_s, u"Una"_s, u"01"_s, {}, {}, 99, true)));
        QVERIFY(TestWait::forSignal(filled));
        QCOMPARE(rowTexts(rig.contacts), QStringList{u"Una Sola"_s});
        QCOMPARE(rig.window->CollContatti(), rig.link.sock->Contacts());
    }

    // The wait for the book ends when the link goes away; the user is told.
    void linkGoneWhileWaiting()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        frmRubCondivisa window(rig.sock.get());
        QVERIFY(window.waitingForBook());
        Prompt::clearRecords();
        rig.sock.reset();
        QVERIFY(!window.waitingForBook());
        QCOMPARE(Prompt::lastRecord().text, u"Rubrica non disponibile: collegamento al server interrotto."_s);
    }
};

QTEST_MAIN(TestSharedBook)
#include "tst_sharedbook.moc"
