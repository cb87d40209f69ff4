// Requests of the control (exact bytes on the wire) and the answers it turns into collections and events.
#include "LinkRig.h"

#include <functional>

namespace {

using F = FakeFaxServer;
const QString RS = u"<\u00CC\u00CC>"_s;
const QString LS = u"\u00A6"_s;

// One fax record of a list answer: the leading "¦", then the fields.
QString record(const QStringList &fields)
{
    return LS + fields.join(LS) + RS;
}

QString listData()
{
    return u"2"_s + RS +
           record({u"P101"_s, u" 1 "_s, u"8"_s, u"+39 02"_s, u"Rossi"_s, u"0255"_s, u"D1439"_s, u"2"_s,
                   u"Ordine"_s, u"V"_s, u"1"_s, u"2"_s, u"0"_s}) +
           record({u"P102"_s, u"C"_s, u""_s, u"+39 06"_s, u"Bianchi"_s, u"0655"_s, u"60"_s, u"3"_s,
                   u"Offerta"_s, u"F"_s, u"0"_s, u"0"_s, u"1"_s});
}

struct Request
{
    const char *name;
    std::function<void(QuorinSock &)> call;
    QByteArray frame;
};

// Requests made after SetActiveList(SentList, 42) with the fax 9 selected.
const QList<Request> &requests()
{
    static const QList<Request> table = {
        {"AskFax", [](QuorinSock &s) { s.AskFax(u"S301"_s); }, F::query(u"FILE", u"SPEDITI<#>S301")},
        {"DeleteFax", [](QuorinSock &s) { s.DeleteFax(7); }, F::answer(u"ELIMINA", u"7<#>(9)")},
        {"DeleteFax two keys",
         [](QuorinSock &s) {
             s.FaxesSelected()->Add(u"15"_s);
             s.DeleteFax(7);
         },
         F::answer(u"ELIMINA", u"7<#>(9, 15)")},
        {"DeleteFax none selected",
         [](QuorinSock &s) {
             s.FaxesSelected()->RemoveAll();
             s.DeleteFax(7);
         },
         F::answer(u"ELIMINA", u"7<#>")},
        {"CancelFax", [](QuorinSock &s) { s.CancelFax(u"(1, 2)"_s); },
         F::answer(u"CESTINA", u"SPEDITI<#>(1, 2)")},
        {"RestoreFax", [](QuorinSock &s) { s.RestoreFax(4, u"(3)"_s); },
         F::answer(u"RIPRISTINA", u"4<#>(3)")},
        {"SetReadSelected", [](QuorinSock &s) { s.SetReadSelected(false); },
         F::answer(u"LETTO", u"SPEDITI<#>(9)<#>False")},
        {"SetPrintedSelected", [](QuorinSock &s) { s.SetPrintedSelected(true); },
         F::answer(u"STAMPATO", u"SPEDITI<#>(9)<#>True")},
        {"MoveSelectedToFolder", [](QuorinSock &s) { s.MoveSelectedToFolder(2, 12, true); },
         F::answer(u"SPOSTA", u"SPEDITI<#>12<#>T<#>2<#>(9)")},
        {"AddNewFolder", [](QuorinSock &s) { s.AddNewFolder(u"Clienti"_s, 12, true); },
         F::query(u"NEWFOLDER", u"Clienti<#>12<#>T")},
        {"UpdateFolder", [](QuorinSock &s) { s.UpdateFolder(u"Clienti"_s, 12, false); },
         F::answer(u"UPDATEFOLDER", u"Clienti<#>12<#>F")},
        {"DeleteFolder", [](QuorinSock &s) { s.DeleteFolder(u"9"_s); }, F::answer(u"ELIMINAFOLDER", u"9")},
        {"CancelFolder", [](QuorinSock &s) { s.CancelFolder(u"9"_s); }, F::answer(u"CESTINAFOLDER", u"9")},
        {"RenameFolder in Windows-1252", [](QuorinSock &s) { s.RenameFolder(u"Perché €"_s, u"9"_s); },
         F::rawAnswer("RENAMEFOLDER", "Perch\xE9 \x80<#>9")},
        {"MoveFolderToFolder", [](QuorinSock &s) { s.MoveFolderToFolder(5, 9, true, false); },
         F::answer(u"SPOSTAFOLDER", u"9<#>5<#>True<#>False")},
        {"AskFormForward trims", [](QuorinSock &s) { s.AskFormForward(u" 345 "_s); },
         F::query(u"FRM_INOLTRO", u"(345)")},
        {"AskFormForward brackets once", [](QuorinSock &s) { s.AskFormForward(u"(345)"_s); },
         F::query(u"FRM_INOLTRO", u"(345)")},
        {"AskFormForwardSelected", [](QuorinSock &s) { s.AskFormForwardSelected(); },
         F::query(u"FRM_INOLTRO", u"(9)")},
        {"GetProperties", [](QuorinSock &s) { s.GetProperties(u" 345"_s); },
         F::query(u"GETINFO", u"SPEDITI<#>(345)")},
        {"GetPropertiesSelected", [](QuorinSock &s) { s.GetPropertiesSelected(); },
         F::query(u"GETINFO", u"SPEDITI<#>(9)")},
        {"GetReport", [](QuorinSock &s) { s.GetReport(u"345 "_s); },
         F::query(u"GETREPORT", u"SPEDITI<#>(345)")},
        {"GetReportSelected", [](QuorinSock &s) { s.GetReportSelected(); },
         F::query(u"GETREPORT", u"SPEDITI<#>(9)")},
        {"UpdateFiles", [](QuorinSock &s) { s.UpdateFiles(); }, F::query(u"UPDATEFILES")},
        {"AskPhoneBook", [](QuorinSock &s) { s.AskPhoneBook(); }, F::query(u"ASKRUBRICA")},
        {"SendUser", [](QuorinSock &s) { s.SendUser(u"anna"_s); }, F::answer(u"USER", u"anna")},
    };
    return table;
}

} // namespace

class TestQuorinSockRequests : public QObject
{
    Q_OBJECT
    TestHome m_home;

private Q_SLOTS:
    void initTestCase() { useTemporaryHome(m_home); }

    void lists_data()
    {
        QTest::addColumn<bool>("fragmented");
        QTest::addColumn<int>("list");
        QTest::addColumn<QString>("keyword");
        const QStringList kws = {u"INOLTRO"_s, u"PERSONALI"_s, u"SPEDITI"_s, u"CANCELLATI"_s};
        for (bool fragmented : {false, true}) {
            for (int list = 0; list < 4; ++list) {
                for (const QString &suffix : {QString(), u"_INC"_s}) {
                    QTest::addRow("%s%s %s", qPrintable(kws[list]), qPrintable(suffix),
                                  fragmented ? "fragmented" : "whole")
                        << fragmented << list << kws[list] + suffix;
                }
            }
        }
    }
    void lists()
    {
        QFETCH(bool, fragmented);
        QFETCH(int, list);
        QFETCH(QString, keyword);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        QSignalSpy fwd(rig.sock.get(), &QuorinSock::RxForwardList);
        QSignalSpy pers(rig.sock.get(), &QuorinSock::RxPersonalList);
        QSignalSpy sent(rig.sock.get(), &QuorinSock::RxSentList);
        QSignalSpy del(rig.sock.get(), &QuorinSock::RxDeletedList);
        QSignalSpy *spies[] = {&fwd, &pers, &sent, &del};

        rig.sock->SetActiveList(typeOfList(list), 7);
        const QString plain = keyword.section(u'_', 0, 0);
        QUORIN_TRY_VERIFY(rig.server.hasReceived(F::query(plain, u"7")));
        // An answer for another list is ignored entirely.
        const QString other = list == 1 ? u"SPEDITI"_s : u"PERSONALI"_s;
        rig.server.send(F::answer(other, u"1"_s + RS +
                                             record({u"X1"_s, u"1"_s, u""_s, u""_s, u""_s, u""_s, u""_s,
                                                     u"1"_s, u""_s, u"F"_s, u"0"_s, u"0"_s, u"0"_s})));
        rig.server.send(F::answer(keyword, listData()));
        QVERIFY(TestWait::forSignal(*spies[list]));
        QCOMPARE(fwd.count() + pers.count() + sent.count() + del.count(), 1);
        CollFaxItem *faxes = rig.sock->FaxItems();
        QVERIFY(faxes);
        QCOMPARE(faxes->Count(), 2);
        QCOMPARE(faxes->Item(1)->IdFax(), u"P101"_s);
        QCOMPARE(faxes->Item(1)->status(), u"complete"_s);
        QCOMPARE(faxes->Item(1)->DateFax(), u"23:59"_s);
        QVERIFY(faxes->Item(1)->Read());
        QCOMPARE(faxes->Item(2)->Subject(), u"Offerta"_s);
        QCOMPARE(faxes->Item(2)->status(), u"line busy"_s);
        // Fields 10 to 12 are read for the sent list only.
        QCOMPARE(faxes->Item(1)->RetryCount(), list == 2 ? 2 : 0);
        QCOMPARE(faxes->Item(2)->Pending(), false);
    }

    void nullListBeforeAnyList()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        rig.sock->SetActiveList(NullList, 5);
        rig.sock->SetActiveList(SentList, 5);
        rig.sock->SetActiveList(NullList, 6);
        QUORIN_TRY_COMPARE(rig.server.receivedFrames().size(), 3);
        const auto frames = rig.server.receivedFrames();
        QCOMPARE(frames.at(1), (F::Frame{"SPEDITI", "5", false}));
        // After a list, NullList asks the same list again and takes no answer.
        QCOMPARE(frames.at(2), (F::Frame{"SPEDITI", "6", false}));
    }

    void requestBytes_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < requests().size(); ++i)
            QTest::newRow(requests().at(i).name) << i;
    }
    void requestBytes()
    {
        QFETCH(int, index);
        const Request &r = requests().at(index);
        LinkRig rig(false);
        QVERIFY(rig.login());
        rig.sock->SetActiveList(SentList, 42);
        rig.sock->FaxesSelected()->Add(u"9"_s);
        r.call(*rig.sock);
        QUORIN_TRY_VERIFY2(rig.server.hasReceived(r.frame), rig.server.received().toHex(' ').constData());
        const QByteArray tail = rig.server.received().right(r.frame.size());
        QCOMPARE(tail, r.frame); // nothing else followed
    }

    // Text that holds the frame terminator is never sent: it would smuggle frames of its own.
    void terminatorInTextIsRefused()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        rig.sock->RenameFolder(u"a<\u00A7>ELIMINAFOLDER<\u00B6>1"_s, u"9"_s);
        QCOMPARE(errors.count(), 1);
        rig.sock->DeleteFolder(u"9"_s);
        QUORIN_TRY_VERIFY(rig.server.hasReceived(F::answer(u"ELIMINAFOLDER", u"9")));
        QCOMPARE(rig.server.receivedFrames("RENAMEFOLDER").size(), 0);
    }

    void tree_data()
    {
        QTest::addColumn<bool>("fragmented");
        QTest::addColumn<QString>("rights");
        QTest::addColumn<QByteArray>("roots");
        QTest::newRow("forward user") << false << allRights() << QByteArray("1234");
        QTest::newRow("forward user fragmented") << true << allRights() << QByteArray("1234");
        QTest::newRow("no forward right")
            << false << u"mario<#>F<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"_s << QByteArray("124");
    }
    void tree()
    {
        QFETCH(bool, fragmented);
        QFETCH(QString, rights);
        QFETCH(QByteArray, roots);
        LinkRig rig(fragmented);
        QVERIFY(rig.login(rights));
        rig.server.clearReceived();
        rig.sock->ChildrenTree();
        QUORIN_TRY_COMPARE(rig.server.receivedFrames().size(), roots.size());
        for (int i = 0; i < roots.size(); ++i)
            QCOMPARE(rig.server.receivedFrames().at(i), (F::Frame{"CHILDRENTREE", roots.mid(i, 1), false}));

        QSignalSpy tree(rig.sock.get(), &QuorinSock::RxChildrenTree);
        QSignalSpy nums(rig.sock.get(), &QuorinSock::RxNumFax);
        rig.server.send(F::answer(u"CHILDRENTREE", u"1<#>5<#>Clienti<#>V<#>5<#>6<#>Rossi<#>F"));
        QVERIFY(TestWait::forSignal(tree));
        QCOMPARE(rig.sock->CollItems()->Count(), 2);
        QCOMPARE(rig.sock->CollItems()->Item(1)->Description(), u"Clienti"_s);
        QVERIFY(rig.sock->CollItems()->Item(1)->IsShared());
        QCOMPARE(rig.sock->CollItems()->Item(2)->Parent(), 5);
        QCOMPARE(rig.sock->CollItems()->Item(2)->Children(), 6);
        // An empty answer empties the tree and raises nothing.
        rig.server.send(F::answer(u"CHILDRENTREE") + F::answer(u"NUMFAX", u"\u00A61"));
        QVERIFY(TestWait::forSignal(nums));
        QCOMPARE(tree.count(), 1);
        QCOMPARE(rig.sock->CollItems()->Count(), 0);
    }

    void newFolderAnswer_data() { addFragmentedRows(); }
    void newFolderAnswer()
    {
        QFETCH(bool, fragmented);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        QSignalSpy added(rig.sock.get(), &QuorinSock::AddedNewFolder);
        rig.server.send(F::answer(u"NEWFOLDER", u"Clienti<#>1<#><#>21") + // no shared flag: still a folder
                        F::answer(u"NEWFOLDER", u"<#>1<#>T<#>22") +       // no name: nothing
                        F::answer(u"NEWFOLDER", u"Fornitori<#>1<#>T<#>23"));
        QUORIN_TRY_COMPARE(added.count(), 2);
        QCOMPARE(added.at(1), (QList<QVariant>{u"Fornitori"_s, 23, true}));
        QCOMPARE(added.at(0).at(2).toBool(), false);
    }

    // Groups arrive before users, possibly in another read; the host gets both together.
    void forwarding_data() { addFragmentedRows(); }
    void forwarding()
    {
        QFETCH(bool, fragmented);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        rig.sock->SetActiveList(Forwardlist, 3);
        rig.sock->AskFormForward(u"345"_s);
        QUORIN_TRY_VERIFY(rig.server.hasReceived(F::query(u"FRM_INOLTRO", u"(345)")));

        QSignalSpy form(rig.sock.get(), &QuorinSock::RxFrmForward);
        QSignalSpy nums(rig.sock.get(), &QuorinSock::RxNumFax);
        rig.server.send(
            F::answer(u"FRM_INOLTRO_GRP", u"<#>G1<#>G001<#>Amministrazione<#>False<#>(345)<#>Rossi" + RS +
                                              u"<#>G7<#>G007<#>Magazzino<#>True<#>(345)<#>Neri" + RS));
        rig.server.send(F::answer(u"NUMFAX", u"\u00A61"));
        rig.server.pause();
        rig.server.send(F::answer(u"FRM_INOLTRO_USR",
                                  u"<#>U12<#>0012<#>Rossi<#>True<#>(345)<#>rossi@example.com<#>False" + RS +
                                      u"<#>U14<#>0014<#>Bianchi<#>true<#>(345)<#><#>True" + RS));
        QVERIFY(TestWait::forSignal(nums)); // the groups have been read in a pass of their own
        rig.server.release();
        QVERIFY(TestWait::forSignal(form));
        auto *users = form.first().at(0).value<ListItemFrmForward *>();
        auto *groups = form.first().at(1).value<ListItemFrmForward *>();
        QCOMPARE(users->Count(), 2);
        QCOMPARE(groups->Count(), 2);
        QCOMPARE(users->Item(1)->IdItem(), u"12"_s);
        QCOMPARE(users->Item(1)->Mail(), u"rossi@example.com"_s);
        QVERIFY(users->Item(1)->IsChecked());
        QVERIFY(!users->Item(2)->IsChecked()); // "true" is not "True"
        QVERIFY(users->Item(2)->OnlyMsg());
        QCOMPARE(groups->Item(2)->GroupComponents(), u"Neri"_s);

        groups->Item(1)->setIsChecked(true);
        rig.sock->ForwardGroupsUsers(u" 345 "_s, users, groups);
        QUORIN_TRY_VERIFY(rig.server.hasReceived(
            F::answer(u"FRM_INOLTRO_OK", u"INOLTRO" + RS + u"(345)" + RS + u"<#>1<#>7" + RS + u"<#>12")));
        // Users alone: the groups of the earlier form are not offered again.
        form.clear();
        rig.server.send(
            F::answer(u"FRM_INOLTRO_USR", u"<#>U15<#>0015<#>Verdi<#>False<#>(346)<#><#>False" + RS));
        QVERIFY(TestWait::forSignal(form));
        QCOMPARE(form.first().at(1).value<ListItemFrmForward *>()->Count(), 0);
        rig.sock->FaxesSelected()->Add(u"346"_s);
        rig.sock->ForwardGroupsUsersSelectedFaxes(nullptr, nullptr);
        QUORIN_TRY_VERIFY(
            rig.server.hasReceived(F::answer(u"FRM_INOLTRO_OK", u"INOLTRO" + RS + u"(346)" + RS + RS)));
    }

    void propertiesAndReport_data()
    {
        QTest::addColumn<bool>("fragmented");
        QTest::addColumn<QString>("keyword");
        for (bool fragmented : {false, true}) {
            QTest::addRow("GETINFO %d", fragmented) << fragmented << u"GETINFO"_s;
            QTest::addRow("GETREPORT %d", fragmented) << fragmented << u"GETREPORT"_s;
        }
    }
    void propertiesAndReport()
    {
        QFETCH(bool, fragmented);
        QFETCH(QString, keyword);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        rig.sock->SetActiveList(SentList, 2);
        QSignalSpy props(rig.sock.get(), &QuorinSock::RxPropertyFax);
        QSignalSpy report(rig.sock.get(), &QuorinSock::RxReportFax);
        const QStringList taken = {u"SPEDITI"_s, u"Anna"_s, u"Blu"_s, u"0655"_s, u"12/03/2009 10.15"_s,
                                   u"x"_s,       u"Sub"_s,  u"3"_s,   u"2"_s,    u"35"_s,
                                   u"C"_s,       u"9600"_s, u"S302"_s};
        QStringList other = taken;
        other[0] = u"PERSONALI"_s;
        other[12] = u"P1"_s;
        rig.server.send(F::answer(keyword, taken.join(LS) + RS + other.join(LS) + RS));
        QSignalSpy &spy = keyword == u"GETINFO"_s ? props : report;
        QVERIFY(TestWait::forSignal(spy));
        QCOMPARE(props.count() + report.count(), 1);
        QCOMPARE(spy.first().first().value<typeOfList>(), SentList);
        CollFaxItem *faxes = rig.sock->FaxItems();
        QCOMPARE(faxes->Count(), 1);
        QCOMPARE(faxes->Item(1)->IdFax(), u"S302"_s);
        QCOMPARE(faxes->Item(1)->PageSent(), 0);
        QCOMPARE(faxes->Item(1)->Speed(), 9600);
        QCOMPARE(faxes->Item(1)->status(), u"C"_s);
    }

    void progress_data() { addFragmentedRows(); }
    void progress()
    {
        QFETCH(bool, fragmented);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        QSignalSpy start(rig.sock.get(), &QuorinSock::ProgressStatusStart);
        QSignalSpy tx(rig.sock.get(), &QuorinSock::ProgressStatusTX);
        QSignalSpy end(rig.sock.get(), &QuorinSock::ProgressStatusEnd);
        rig.server.send(
            F::answer(u"FAXPROGRSTART", u"#3") + F::answer(u"FAXPROGR") +
            F::answer(u"FAXPROGR", u"REMOTE<#>12kbps<#> 2.5<#>3<#>67.5<#>14<#>Rossi<#>0255<#>1<#>3<#>#3") +
            F::answer(u"FAXPROGREND", u"#3"));
        QVERIFY(TestWait::forSignal(end));
        QCOMPARE(start.first().first().toString(), u"#3"_s);
        QCOMPARE(tx.count(), 1); // an empty progress frame raises nothing
        const QList<QVariant> expected = {u"REMOTE"_s, 12,        2, 3, 68,     14,
                                          u"Rossi"_s,  u"0255"_s, 1, 3, u"#3"_s};
        QCOMPARE(tx.first(), expected);
    }

    void newFaxNotices_data()
    {
        QTest::addColumn<bool>("fragmented");
        QTest::addColumn<int>("active");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<int>("inList");    // RxNewFax count
        QTest::addColumn<int>("elsewhere"); // RxNewFaxInDiffFolder count
        for (bool fragmented : {false, true}) {
            const char *f = fragmented ? " fragmented" : "";
            QTest::addRow("RXFAX in forward list%s", f) << fragmented << 0 << u"RXFAX"_s << 1 << 0;
            QTest::addRow("RXFAX elsewhere%s", f) << fragmented << 1 << u"RXFAX"_s << 0 << 1;
            QTest::addRow("RXFAXP in personal list%s", f) << fragmented << 1 << u"RXFAXP"_s << 1 << 0;
            QTest::addRow("RXFAXP elsewhere is silent%s", f) << fragmented << 0 << u"RXFAXP"_s << 0 << 0;
            QTest::addRow("FAXCOMPLETE in sent list%s", f) << fragmented << 2 << u"FAXCOMPLETE"_s << 1 << 0;
            QTest::addRow("FAXFAILED elsewhere%s", f) << fragmented << 3 << u"FAXFAILED"_s << 0 << 1;
        }
    }
    void newFaxNotices()
    {
        QFETCH(bool, fragmented);
        QFETCH(int, active);
        QFETCH(QString, keyword);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        QSignalSpy inListSpy(rig.sock.get(), &QuorinSock::RxNewFax);
        QSignalSpy elsewhereSpy(rig.sock.get(), &QuorinSock::RxNewFaxInDiffFolder);
        QSignalSpy nums(rig.sock.get(), &QuorinSock::RxNumFax);
        rig.sock->SetActiveList(typeOfList(active), 1);
        const QString fax = record({u"N9"_s, u"S"_s, u"8"_s, u"R"_s, u"C"_s, u"F"_s, u"D5"_s, u"1"_s,
                                    u"Nuovo"_s, u"F"_s, u"0"_s, u"0"_s, u"0"_s})
                                .chopped(RS.size());
        // A notice before any list starts a collection; the same notice twice raises nothing the second
        // time unless it is one of the sent list, which replaces the earlier entry.
        rig.server.send(F::answer(keyword, fax) + F::answer(keyword, fax) + F::answer(u"NUMFAX", u"\u00A60"));
        QVERIFY(TestWait::forSignal(nums));
        const bool replaces = keyword.startsWith(u"FAX"_s);
        QFETCH(int, inList);
        QFETCH(int, elsewhere);
        QCOMPARE(inListSpy.count(), replaces ? 2 * inList : inList);
        QCOMPARE(elsewhereSpy.count(), replaces ? 2 * elsewhere : elsewhere);
        QVERIFY(rig.sock->FaxItems());
        QCOMPARE(rig.sock->FaxItems()->Count(), 1);
        QCOMPARE(rig.sock->FaxItems()->Item(1)->Subject(), u"Nuovo"_s);
        if (inListSpy.count())
            QCOMPARE(inListSpy.first().at(1).value<typeOfList>(), typeOfList(active));
    }

    void addressBook_data()
    {
        QTest::addColumn<QString>("rights"); // delete, read, modify, add
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("sent"); // empty: nothing may go out
        const QString none = u"F<#>T<#>F<#>F"_s;
        const QString all = u"T<#>T<#>T<#>T"_s;
        const QString modifyOnly = u"F<#>T<#>T<#>F"_s;
        // Book: 1 public (id 11), 2 private (id 12), 3 public (id 13).
        QTest::newRow("new public without add right") << none << 0 << -97 << QByteArray();
        QTest::newRow("new private without rights")
            << none << 1 << 0
            << F::query(u"NEW_CONTATTO", u"N<#>S<#>A<#>Z<#>C<#>P<#>T<#>T2<#>F<#>Co<#>e<#>F");
        QTest::newRow("new public with add right")
            << all << 0 << 0 << F::query(u"NEW_CONTATTO", u"N<#>S<#>A<#>Z<#>C<#>P<#>T<#>T2<#>F<#>Co<#>e<#>V");
        QTest::newRow("update public without modify") << none << 2 << -98 << QByteArray();
        QTest::newRow("update public to private without delete") << modifyOnly << 3 << -99 << QByteArray();
        QTest::newRow("update public stays public")
            << modifyOnly << 2 << 0
            << F::query(u"UPD_CONTATTO", u"N<#>S<#>A<#>Z<#>C<#>P<#>T<#>T2<#>F<#>Co<#>e<#>V<#>11");
        QTest::newRow("update private to public without add") << modifyOnly << 4 << -97 << QByteArray();
        QTest::newRow("update private stays private")
            << none << 5 << 0
            << F::query(u"UPD_CONTATTO", u"N<#>S<#>A<#>Z<#>C<#>P<#>T<#>T2<#>F<#>Co<#>e<#>F<#>12");
        QTest::newRow("update beyond the book") << all << 6 << -1 << QByteArray();
        QTest::newRow("delete public without delete right") << modifyOnly << 7 << -99 << QByteArray();
        QTest::newRow("delete private") << none << 8 << 0 << F::query(u"DELETECONTACT", u"12");
        QTest::newRow("delete public with delete right")
            << all << 7 << 0 << F::query(u"DELETECONTACT", u"11");
        QTest::newRow("delete beyond the book") << all << 9 << -1 << QByteArray();
        QTest::newRow("update a contact not yet numbered") << all << 10 << -1 << QByteArray();
        QTest::newRow("delete a contact not yet numbered") << all << 11 << -1 << QByteArray();
    }
    void addressBook()
    {
        QFETCH(QString, rights);
        QFETCH(int, operation);
        QFETCH(QByteArray, sent);
        LinkRig rig(operation % 2 == 1);
        QVERIFY(rig.login(u"mario<#>T<#>T<#>T<#>T<#><#>"_s + rights));
        QSignalSpy book(rig.sock.get(), &QuorinSock::RxPhoneBook);
        rig.sock->AskPhoneBook();
        QUORIN_TRY_VERIFY(rig.server.hasReceived(F::query(u"ASKRUBRICA")));
        auto contact = [](const QString &first, int id, bool pub) -> QString {
            return QStringList{first,
                               u"Sur"_s,
                               u"Via"_s,
                               u"20100"_s,
                               u"Milano"_s,
                               u"MI"_s,
                               u"02"_s,
                               u""_s,
                               u"03"_s,
                               u"Co"_s,
                               u"m@x"_s,
                               QString::number(id),
                               pub ? u"V"_s : u"F"_s}
                       .join(LS) +
                   RS;
        };
        rig.server.send(F::answer(u"RUBRICA", contact(u"Uno"_s, 11, true) + contact(u"Due"_s, 12, false) +
                                                  contact(u"Tre"_s, 13, true)));
        QVERIFY(TestWait::forSignal(book));
        collContactsItem *contacts = book.first().first().value<collContactsItem *>();
        QCOMPARE(contacts->Count(), 3);
        QCOMPARE(contacts->Item(2)->IdContatto(), 12);
        rig.server.clearReceived();

        const QStringList t = {u"N"_s, u"S"_s,  u"A"_s, u"Z"_s,  u"C"_s, u"P"_s,
                               u"T"_s, u"T2"_s, u"F"_s, u"Co"_s, u"e"_s};
        QuorinSock &s = *rig.sock;
        auto update = [&](bool pub, int key) {
            return s.UpdateContact(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9], t[10], pub,
                                   key);
        };
        auto add = [&](bool pub) {
            return s.SendNewContact(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9], t[10], pub);
        };
        int result = 0;
        switch (operation) {
        case 0:
            result = add(true);
            break;
        case 1:
            result = add(false);
            break;
        case 2:
            result = update(true, 1);
            break;
        case 3:
            result = update(false, 1);
            break;
        case 4:
            result = update(true, 2);
            break;
        case 5:
            result = update(false, 2);
            break;
        case 6:
            result = update(false, 4);
            break;
        case 7:
            result = s.DeleteContact(1);
            break;
        case 8:
            result = s.DeleteContact(2);
            break;
        case 9:
            result = s.DeleteContact(4);
            break;
        case 10:
        case 11:
            QCOMPARE(add(false), 0);
            QUORIN_TRY_COMPARE(rig.server.receivedFrames("NEW_CONTATTO").size(), 1);
            rig.server.clearReceived();
            result = operation == 10 ? update(false, 4) : s.DeleteContact(4);
            break;
        }
        QTEST(result, "result");
        s.SendUser(u"mario"_s); // a marker: everything before it has arrived when it has
        const QByteArray marker = F::answer(u"USER", u"mario");
        QUORIN_TRY_VERIFY(rig.server.hasReceived(marker));
        QCOMPARE(rig.server.received(), sent + marker);
        if (operation == 5)
            QCOMPARE(contacts->Item(2)->FirstName(), u"N"_s); // the held contact takes the new values
        if (operation == 1)
            QCOMPARE(contacts->Count(), 4);
    }

    void bookWithoutReadRight()
    {
        LinkRig rig(false);
        QVERIFY(rig.login(u"mario<#>T<#>T<#>T<#>T<#><#>T<#>F<#>T<#>T"_s));
        QSignalSpy book(rig.sock.get(), &QuorinSock::RxPhoneBook);
        const QString pub =
            QStringList{u"A"_s, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, u"1"_s, u"V"_s}.join(LS) + RS;
        const QString priv =
            QStringList{u"B"_s, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, u"2"_s, u"F"_s}.join(LS) + RS;
        rig.server.send(F::answer(u"RUBRICA", pub + priv));
        QVERIFY(TestWait::forSignal(book));
        collContactsItem *contacts = book.first().first().value<collContactsItem *>();
        QCOMPARE(contacts->Count(), 1);
        QCOMPARE(contacts->Item(1)->FirstName(), u"B"_s);
    }
};

QTEST_MAIN(TestQuorinSockRequests)
#include "tst_quorinsock_requests.moc"
