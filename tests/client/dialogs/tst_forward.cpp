// The forward dialog: which rows can be ticked, what OK writes into the forward items and which mail
// addresses it collects, and the forward request that reaches the server.
#include "DialogsTestSupport.h"
#include "FakeFaxServer.h"
#include "ItemFrmForward.h"
#include "QuorinSock.h"
#include "frmInoltra.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

namespace {

using F = FakeFaxServer;
const QString RS = u"<\u00CC\u00CC>"_s;

std::unique_ptr<ItemFrmForward> item(const QString &id, const QString &code, const QString &name,
                                     bool forwarded, const QString &mail = {}, bool onlyMsg = false,
                                     const QString &members = {})
{
    auto i = std::make_unique<ItemFrmForward>();
    i->setIdItem(id);
    i->setCode(code);
    i->setName(name);
    i->setIsChecked(forwarded);
    i->setMail(mail);
    i->setOnlyMsg(onlyMsg);
    i->setGroupComponents(members);
    return i;
}

struct Lists
{
    ListItemFrmForward groups, users;
    Lists()
    {
        const auto add = [](ListItemFrmForward &l, std::unique_ptr<ItemFrmForward> i) {
            const QString key = i->IdItem();
            l.Add(std::move(i), key);
        };
        add(groups, item(u"1"_s, u"AMM"_s, u"Amministrazione"_s, false, {}, false, u"(3,7)"_s));
        add(groups, item(u"2"_s, u"MAG"_s, u"Magazzino"_s, true, u"mag@example.com"_s, true, u"(9)"_s));
        add(users, item(u"3"_s, u"rossi"_s, u"Rossi Mario"_s, false, u"rossi@example.com"_s, false));
        add(users, item(u"7"_s, u"bianchi"_s, u"Bianchi Anna"_s, false, u"bianchi@example.com"_s, true));
        add(users, item(u"9"_s, u"verdi"_s, u" Verdi Luca "_s, true, u"verdi@example.com"_s, false));
        add(users, item(u"007"_s, u"bond"_s, u"Bond James"_s, false, u"jbond@example.com"_s, false));
        add(users, item(u"12"_s, u"corto"_s, u"Corto Maltese"_s, false, u"a@b.c"_s, false));
        add(users, item(u"13"_s, u"obond"_s, u"Zeta Bond"_s, false, u"bond@example.com"_s, false));
    }
};

QTreeWidgetItem *rowOf(QTreeWidget *list, const QString &name)
{
    for (int r = 0; r < list->topLevelItemCount(); ++r) {
        if (list->topLevelItem(r)->text(1).trimmed() == name)
            return list->topLevelItem(r);
    }
    return nullptr;
}

void clickRow(QTreeWidget *list, QTreeWidgetItem *row, bool onCheckBox = false)
{
    QRect rect = list->visualItemRect(row);
    const QPoint at = onCheckBox ? QPoint(rect.left() + 8, rect.center().y()) : rect.center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
}

QStringList texts(QTreeWidget *list, int column)
{
    QStringList t;
    for (int r = 0; r < list->topLevelItemCount(); ++r)
        t << list->topLevelItem(r)->text(column);
    return t;
}

} // namespace

class tst_Forward : public QObject
{
    Q_OBJECT

    DialogsTestHome home;

private Q_SLOTS:
    void initTestCase() { home.setUp(); }
    void init() { Prompt::clearRecords(); }

    void opening()
    {
        Lists lists;
        frmInoltra d;
        d.chiave = u"345"_s;
        d.Gruppi = &lists.groups;
        d.Utenti = &lists.users;
        d.show();
        auto *users = d.findChild<QTreeWidget *>(u"list_Users"_s);
        auto *groups = d.findChild<QTreeWidget *>(u"list_Groups"_s);
        QVERIFY(users && groups);
        QCOMPARE(texts(users, 1), (QStringList{u" Verdi Luca "_s, u"Bianchi Anna"_s, u"Bond James"_s,
                                               u"Corto Maltese"_s, u"Rossi Mario"_s, u"Zeta Bond"_s}));
        QCOMPARE(texts(groups, 4), (QStringList{QString(), u"S"_s}));
        QCOMPARE(texts(users, 3).first(), u"False"_s);
        QCOMPARE(users->currentItem(), users->topLevelItem(0));
        QVERIFY(users->topLevelItem(0)->isSelected());
        QTreeWidgetItem *verdi = rowOf(users, u"Verdi Luca"_s);
        QCOMPARE(verdi->foreground(2).color(), QColor(255, 0, 0));
        QCOMPARE(verdi->checkState(0), Qt::Unchecked);
        QVERIFY(users->isColumnHidden(3) && users->isColumnHidden(4));
        screenshot(&d, u"frmInoltra"_s);
        QVERIFY(!d.ok);
    }

    void ticking()
    {
        Lists lists;
        frmInoltra d;
        d.chiave = u"345"_s;
        d.Gruppi = &lists.groups;
        d.Utenti = &lists.users;
        d.show();
        auto *users = d.findChild<QTreeWidget *>(u"list_Users"_s);
        QTreeWidgetItem *rossi = rowOf(users, u"Rossi Mario"_s);
        clickRow(users, rossi, true); // on the check box: once, not twice
        QCOMPARE(rossi->checkState(0), Qt::Checked);
        QCOMPARE(users->currentItem(), rossi);
        clickRow(users, rossi);
        QCOMPARE(rossi->checkState(0), Qt::Unchecked);
        QTest::keyClick(users, Qt::Key_Space);
        QCOMPARE(rossi->checkState(0), Qt::Checked);

        QTreeWidgetItem *verdi = rowOf(users, u"Verdi Luca"_s);
        clickRow(users, verdi, true);
        QCOMPARE(verdi->checkState(0), Qt::Unchecked);
        QCOMPARE(promptTexts(), QStringList{u"Fax già inoltrato a Verdi Luca\nImpossibile selezionare."_s});
        QTest::keyClick(users, Qt::Key_Space);
        QCOMPARE(verdi->checkState(0), Qt::Unchecked);
        QCOMPARE(promptTexts().size(), 2);
    }

    void collecting_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("tickGroups");
        QTest::addColumn<QStringList>("tickUsers");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("checkedGroups");
        QTest::addColumn<QString>("checkedUsers");
        QTest::addColumn<QString>("mails");
        QTest::addColumn<QString>("mailsAttach");

        QTest::newRow("nothing ticked: forwarded marks cleared")
            << u"345"_s << QStringList() << QStringList() << false << QString() << QString() << QString()
            << QString();
        QTest::newRow("group adds its members, not twice")
            << u"345"_s << QStringList{u"Amministrazione"_s} << QStringList{u"Rossi Mario"_s} << false
            << u"<#>1"_s << u"<#>3"_s << u";bianchi@example.com"_s << u";rossi@example.com"_s;
        QTest::newRow("five-character address left out")
            << u"345"_s << QStringList() << QStringList{u"Corto Maltese"_s} << false << QString()
            << u"<#>12"_s << QString() << QString();
        QTest::newRow("an address inside another is still added")
            << u"345"_s << QStringList() << QStringList{u"Bond James"_s, u"Zeta Bond"_s} << false << QString()
            << u"<#>007<#>13"_s << QString() << u";jbond@example.com;bond@example.com"_s;
        QTest::newRow("cancel keeps the server's marks")
            << u"345"_s << QStringList{u"Amministrazione"_s} << QStringList{u"Rossi Mario"_s} << true
            << u"<#>2"_s << u"<#>9"_s << QString() << QString();
        QTest::newRow("no key: nothing collected")
            << u"-1"_s << QStringList{u"Amministrazione"_s} << QStringList{u"Rossi Mario"_s} << false
            << u"<#>2"_s << u"<#>9"_s << QString() << QString();
    }
    void collecting()
    {
        QFETCH(QString, key);
        QFETCH(QStringList, tickGroups);
        QFETCH(QStringList, tickUsers);
        QFETCH(bool, cancel);
        Lists lists;
        frmInoltra d;
        d.chiave = key;
        d.Gruppi = &lists.groups;
        d.Utenti = &lists.users;
        Prompt::setDialogHandler([&](QDialog *dialog) {
            dialog->show();
            auto *groups = dialog->findChild<QTreeWidget *>(u"list_Groups"_s);
            auto *users = dialog->findChild<QTreeWidget *>(u"list_Users"_s);
            for (const QString &name : std::as_const(tickGroups))
                clickRow(groups, rowOf(groups, name));
            for (const QString &name : std::as_const(tickUsers))
                clickRow(users, rowOf(users, name));
            dialog->findChild<QPushButton *>(cancel ? u"cmdCancel"_s : u"cmdOK"_s)->click();
            return dialog->result();
        });
        Prompt::exec(&d);
        Prompt::setDialogHandler({});
        QFETCH(QString, checkedGroups);
        QFETCH(QString, checkedUsers);
        QFETCH(QString, mails);
        QFETCH(QString, mailsAttach);
        QCOMPARE(d.ok, !cancel);
        QCOMPARE(lists.groups.checkedIds(), checkedGroups);
        QCOMPARE(lists.users.checkedIds(), checkedUsers);
        QCOMPARE(d.sUsersMails, mails);
        QCOMPARE(d.sUsersMails_Attach, mailsAttach);
    }

    void emptyLists()
    {
        ListItemFrmForward none;
        frmInoltra d;
        d.chiave = u"345"_s;
        d.Gruppi = &none;
        d.Utenti = nullptr;
        d.show();
        d.findChild<QPushButton *>(u"cmdOK"_s)->click();
        QVERIFY(d.ok);
        QVERIFY(d.sUsersMails.isEmpty() && d.sUsersMails_Attach.isEmpty());
        // A second opening starts again.
        d.sUsersMails = u";x@example.com"_s;
        d.show();
        QVERIFY(d.sUsersMails.isEmpty());
        QVERIFY(!d.ok);
    }

    // The road through the link: the forward lists arrive, the window opens once the event has returned,
    // and the choice goes back to the server.
    void forwardOverTheWire_data()
    {
        QTest::addColumn<bool>("fragmented");
        QTest::newRow("whole") << false;
        QTest::newRow("fragmented") << true;
    }
    void forwardOverTheWire()
    {
        QFETCH(bool, fragmented);
        FakeFaxServer server;
        server.setFragmented(fragmented);
        QVERIFY(server.listen());
        server.expect(F::answer(u"USER", u"mario"));
        server.send(F::answer(u"VERSIONI", u"1.0.0<#>2.1.0<#>2.2.0<#>2.3.0<#>0.9"));
        server.send(F::answer(u"USER", u"mario<#>T<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"));
        QuorinSock sock;
        sock.setTimeCheckServer(5000);
        QSignalSpy connected(&sock, &QuorinSock::Connected);
        sock.Connect(u"127.0.0.1"_s, server.port(), u"mario"_s);
        QVERIFY(TestWait::forSignal(connected));
        sock.SetActiveList(Forwardlist, 3);
        sock.AskFormForward(u"345"_s);
        QUORIN_TRY_VERIFY(server.hasReceived(F::query(u"FRM_INOLTRO", u"(345)")));

        bool ok = false;
        QStringList shown;
        connect(&sock, &QuorinSock::RxFrmForward, this,
                [&](ListItemFrmForward *users, ListItemFrmForward *groups) {
                    // As the main window does: never a modal window inside the link's event.
                    QTimer::singleShot(0, this, [&, users, groups] {
                        frmInoltra d;
                        d.chiave = u"345"_s;
                        d.Gruppi = groups;
                        d.Utenti = users;
                        Prompt::setDialogHandler([&](QDialog *dialog) {
                            dialog->show();
                            auto *g = dialog->findChild<QTreeWidget *>(u"list_Groups"_s);
                            auto *u = dialog->findChild<QTreeWidget *>(u"list_Users"_s);
                            shown = texts(u, 1);
                            clickRow(g, rowOf(g, u"Magazzino"_s));
                            clickRow(u, rowOf(u, u"Rossi"_s)); // already forwarded: refused
                            clickRow(u, rowOf(u, u"Bianchi"_s));
                            dialog->findChild<QPushButton *>(u"cmdOK"_s)->click();
                            return dialog->result();
                        });
                        Prompt::exec(&d);
                        Prompt::setDialogHandler({});
                        ok = d.ok;
                        if (ok)
                            sock.ForwardGroupsUsers(d.chiave, users, groups);
                    });
                });
        server.send(
            F::answer(u"FRM_INOLTRO_GRP", u"<#>G1<#>G001<#>Amministrazione<#>False<#>(345)<#>(12)" + RS +
                                              u"<#>G7<#>G007<#>Magazzino<#>False<#>(345)<#>(14)" + RS));
        server.send(F::answer(u"FRM_INOLTRO_USR",
                              u"<#>U12<#>0012<#>Rossi<#>True<#>(345)<#>rossi@example.com<#>False" + RS +
                                  u"<#>U14<#>0014<#>Bianchi<#>False<#>(345)<#>bianchi@example.com<#>True" +
                                  RS));
        QUORIN_TRY_VERIFY(server.hasReceived(
            F::answer(u"FRM_INOLTRO_OK", u"INOLTRO" + RS + u"(345)" + RS + u"<#>7" + RS + u"<#>14")));
        QVERIFY(ok);
        QCOMPARE(shown, (QStringList{u"Bianchi"_s, u"Rossi"_s}));
        QCOMPARE(promptTexts().filter(u"Fax già inoltrato a Rossi"_s).size(), 1);
        QVERIFY(server.errors().isEmpty());
    }
};

QTEST_MAIN(tst_Forward)
#include "tst_forward.moc"
