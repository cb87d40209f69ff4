// Requests carrying user text: a separator or a character outside Windows-1252 never reaches the server
// as it stands. Each request is refused with Error naming it and the field, or sent with the nearest
// Windows-1252 letters.
#include "LinkRig.h"
#include "faxOut.h"

#include <functional>

namespace {

using F = FakeFaxServer;

struct Request
{
    const char *name;
    QByteArray keyword; // the frame it would send
    std::function<void(QuorinSock &, const QString &text)> call;
};

// Requests after SetActiveList(SentList, 42), a loaded book holding one numbered contact.
const QList<Request> &requests()
{
    static const QList<Request> table = {
        {"AddNewFolder", "NEWFOLDER", [](QuorinSock &s, const QString &t) { s.AddNewFolder(t, 12, true); }},
        {"UpdateFolder", "UPDATEFOLDER", [](QuorinSock &s, const QString &t) { s.UpdateFolder(t, 12, false); }},
        {"RenameFolder", "RENAMEFOLDER", [](QuorinSock &s, const QString &t) { s.RenameFolder(t, u"9"_s); }},
        {"RenameFolder key", "RENAMEFOLDER", [](QuorinSock &s, const QString &t) { s.RenameFolder(u"A"_s, t); }},
        {"DeleteFolder", "ELIMINAFOLDER", [](QuorinSock &s, const QString &t) { s.DeleteFolder(t); }},
        {"CancelFolder", "CESTINAFOLDER", [](QuorinSock &s, const QString &t) { s.CancelFolder(t); }},
        {"AskFax", "FILE", [](QuorinSock &s, const QString &t) { s.AskFax(t); }},
        {"AskFormForward", "FRM_INOLTRO", [](QuorinSock &s, const QString &t) { s.AskFormForward(t); }},
        {"GetProperties", "GETINFO", [](QuorinSock &s, const QString &t) { s.GetProperties(t); }},
        {"GetReport", "GETREPORT", [](QuorinSock &s, const QString &t) { s.GetReport(t); }},
        {"ForwardGroupsUsers", "FRM_INOLTRO_OK",
         [](QuorinSock &s, const QString &t) { s.ForwardGroupsUsers(t, nullptr, nullptr); }},
        {"SendUpdateFile", "AGGFAX",
         [](QuorinSock &s, const QString &t) { s.SendUpdateFile(s.NameQVfile(), t); }},
        {"SendNewContact", "NEW_CONTATTO",
         [](QuorinSock &s, const QString &t) {
             QCOMPARE(s.SendNewContact(u"Ann"_s, t, {}, {}, {}, {}, {}, {}, u"02"_s, {}, {}, false), -1);
         }},
        {"SendNewContact company", "NEW_CONTATTO",
         [](QuorinSock &s, const QString &t) {
             QCOMPARE(s.SendNewContact(u"Ann"_s, u"B"_s, {}, {}, {}, {}, {}, {}, u"02"_s, t, {}, false), -1);
         }},
        {"UpdateContact", "UPD_CONTATTO",
         [](QuorinSock &s, const QString &t) {
             QCOMPARE(s.UpdateContact(t, u"B"_s, {}, {}, {}, {}, {}, {}, u"02"_s, {}, {}, false, 1), -1);
         }},
        {"CancelFax", "CESTINA", [](QuorinSock &s, const QString &t) { s.CancelFax(t); }},
        {"RestoreFax", "RIPRISTINA", [](QuorinSock &s, const QString &t) { s.RestoreFax(4, t); }},
        {"DeleteFax selection", "ELIMINA",
         [](QuorinSock &s, const QString &t) {
             s.FaxesSelected()->Add(t);
             s.DeleteFax(7);
         }},
        {"SendNewFax subject", "NEWFAX",
         [](QuorinSock &s, const QString &t) {
             auto fax = std::make_unique<faxOut>();
             fax->setDestFax(u"02"_s);
             fax->setSubject(t);
             QCOMPARE(s.SendNewFax(std::move(fax)), u"-1"_s);
         }},
        {"SendNewFax recipient", "NEWFAX",
         [](QuorinSock &s, const QString &t) {
             auto fax = std::make_unique<faxOut>();
             fax->setDestFax(u"02"_s);
             fax->setDestName(u"Mario"_s + t + u"0900999999"_s);
             QCOMPARE(s.SendNewFax(std::move(fax)), u"-1"_s);
         }},
        {"SendNewFax cover", "NEWFAX",
         [](QuorinSock &s, const QString &t) {
             auto fax = std::make_unique<faxOut>();
             fax->setDestFax(u"02"_s);
             fax->setCoverPage(t);
             QCOMPARE(s.SendNewFax(std::move(fax)), u"-1"_s);
         }},
        {"SaveFaxToRX company", "NEWRXFAX",
         [](QuorinSock &s, const QString &t) {
             auto fax = std::make_unique<faxOut>();
             fax->setToCompany(t);
             QCOMPARE(s.SaveFaxToRX(std::move(fax)), u"-1"_s);
         }},
        {"ForwardGroupsUsers id", "FRM_INOLTRO_OK",
         [](QuorinSock &s, const QString &t) {
             ListItemFrmForward users;
             for (const QString &id : {u"7"_s, t}) {
                 auto item = std::make_unique<ItemFrmForward>();
                 item->setIdItem(id);
                 item->setIsChecked(true);
                 users.Add(std::move(item), id);
             }
             s.ForwardGroupsUsers(u"12"_s, &users, nullptr);
         }},
    };
    return table;
}

struct Bad
{
    const char *name;
    QString text;
};

// Texts that would shift fields, cut the frame or the record, or arrive as "?".
const QList<Bad> &badTexts()
{
    static const QList<Bad> table = {
        {"field separator", u"A<#>9"_s},
        {"terminator", u"a<\u00A7>ELIMINAFOLDER<\u00B6>1"_s},
        {"query separator", u"a<\u00A5>b"_s},
        {"record separator", u"x<\u00CC\u00CC>y"_s},
        {"CJK", u"\u6771\u4EAC"_s},
        {"emoji", u"ok \U0001F600"_s},
        // Letters the best fit turns into separators: checked as they go out.
        {"fitted field separator", u"Oggetto\u2264#\u2265/etc/passwd"_s},
        {"fitted fax field separator", u"\u2264\u00BF\u2265"_s},
        {"full-width fax field separator", u"\uFF1C\u00BF\uFF1E"_s},
        {"full-width terminator", u"a\uFF1C\u00A7\uFF1Eb"_s},
    };
    return table;
}

} // namespace

class tst_QuorinSockGuard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useTemporaryHome(m_home); }
    void refused_data();
    void refused();
    void listSeparatorInUserText();
    void bestFitOnTheWire_data();
    void bestFitOnTheWire();
    void formHelpers();

private:
    TestHome m_home;
};

void tst_QuorinSockGuard::refused_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<QString>("text");
    for (int r = 0; r < requests().size(); ++r) {
        for (const Bad &b : badTexts()) {
            QTest::addRow("%s, %s", requests().at(r).name, b.name) << r << b.text;
        }
    }
}

void tst_QuorinSockGuard::refused()
{
    QFETCH(int, request);
    QFETCH(QString, text);
    const Request &r = requests().at(request);
    LinkRig rig(false);
    QVERIFY(rig.login());
    rig.sock->SetActiveList(SentList, 42);
    // One private contact, number 1: first, surname, five blanks, fax, company, mail, number, public.
    const QString contact = QStringList{u"Ann"_s, u"B"_s, {}, {}, {}, {}, {}, {}, u"02"_s, {}, {}, u"1"_s, u"F"_s}
                                .join(u'\u00A6');
    QSignalSpy book(rig.sock.get(), &QuorinSock::RxPhoneBook);
    rig.server.send(F::answer(u"RUBRICA", contact + u"<\u00CC\u00CC>"_s));
    QVERIFY(TestWait::forSignal(book));
    QVERIFY(
        QTest::qWaitFor([&] { return rig.server.receivedFrames("SPEDITI").size() == 1; }, TestWait::bound()));
    QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);

    r.call(*rig.sock, text);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toInt(), 5);
    const QString request_name = QString::fromLatin1(r.name).section(u' ', 0, 0);
    QVERIFY2(errors.at(0).at(3).toString().startsWith(request_name), qPrintable(errors.at(0).at(3).toString()));
    QVERIFY(!errors.at(0).at(1).toString().isEmpty());
    // Nothing went out for it: the next request is the next frame the server sees.
    rig.sock->MoveFolderToFolder(5, 9, true, false);
    const QByteArray probe = F::answer(u"SPOSTAFOLDER", u"9<#>5<#>True<#>False");
    QVERIFY(rig.received(probe));
    QVERIFY(rig.server.receivedFrames(r.keyword).isEmpty());
    QVERIFY(rig.server.received().endsWith(probe));
}

void tst_QuorinSockGuard::listSeparatorInUserText()
{
    // "¦" splits the fields of every record the server sends back: a contact holding it breaks on load.
    LinkRig rig(false);
    QVERIFY(rig.login());
    QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
    QCOMPARE(rig.sock->SendNewContact(u"Ann\u00A6X"_s, u"B"_s, {}, {}, {}, {}, {}, {}, u"02"_s, {}, {}, false), -1);
    rig.sock->AddNewFolder(u"a\u00A6b"_s, 1, false);
    QCOMPARE(errors.count(), 2);
    QVERIFY(errors.at(0).at(3).toString().contains(u"Nome"_s));
    QCOMPARE(errors.at(1).at(3).toString(), u"AddNewFolder : Nome cartella"_s);
    rig.sock->DeleteFolder(u"77"_s);
    QVERIFY(rig.received(F::answer(u"ELIMINAFOLDER", u"77")));
    QVERIFY(rig.server.receivedFrames("NEW_CONTATTO").isEmpty());
    QVERIFY(rig.server.receivedFrames("NEWFOLDER").isEmpty());
}

void tst_QuorinSockGuard::bestFitOnTheWire_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("folder name") << 0 << F::rawAnswer("RENAMEFOLDER", "Ufficio L\xF3" "dz<#>9");
    QTest::newRow("contact") << 1
                             << F::rawQuery("NEW_CONTATTO", "Erdos<#>Capek<#><#><#><#><#><#><#>02<#><#><#>F");
    // A combining accent goes out composed, as the code page's own letter.
    QTest::newRow("combining accent") << 2
                                      << F::rawQuery("NEW_CONTATTO", "Jos\xE9<#>N\xFA\xF1" "ez<#><#><#><#><#><#><#>02<#><#><#>F");
}

void tst_QuorinSockGuard::bestFitOnTheWire()
{
    QFETCH(int, which);
    QFETCH(QByteArray, frame);
    LinkRig rig(false);
    QVERIFY(rig.login());
    QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
    if (which == 0)
        rig.sock->RenameFolder(u"Ufficio \u0141\u00F3d\u017A"_s, u"9"_s);
    else if (which == 2)
        QCOMPARE(rig.sock->SendNewContact(u"Jose\u0301"_s, u"Nu\u0301n\u0303ez"_s, {}, {}, {}, {}, {}, {},
                                          u"02"_s, {}, {}, false),
                 0);
    else
        QCOMPARE(rig.sock->SendNewContact(u"Erd\u0151s"_s, u"\u010Cap\u011Bk"_s, {}, {}, {}, {}, {}, {},
                                          u"02"_s, {}, {}, false),
                 0);
    QVERIFY2(rig.received(frame), rig.server.received().toHex(' ').constData());
    QCOMPARE(errors.count(), 0);
    QVERIFY(!rig.server.received().contains('?'));
}

void tst_QuorinSockGuard::formHelpers()
{
    // What a form shows before it sends: the refusal names the field and the characters, the warning
    // shows the text as it will arrive.
    const QString refused = QuorinSock::TextProblem(u"Oggetto"_s, u"Preventivo \u6771"_s);
    QVERIFY(refused.contains(u"Oggetto"_s));
    QVERIFY(refused.contains(u"\u6771"_s));
    QVERIFY(QuorinSock::TextProblem(u"Nome cartella"_s, u"A<#>9"_s).contains(u"<#>"_s));
    QVERIFY(QuorinSock::TextProblem(u"Nome"_s, u"Perch\u00E9 \u20AC"_s).isEmpty());
    // The fax verdict names the field as the forms do, for the text as it will go out.
    faxOut fax;
    fax.setDestFax(u"02"_s);
    fax.setSubject(u"Oggetto\u2264#\u2265/etc/passwd"_s);
    QVERIFY(QuorinSock::FaxProblem(fax).contains(u"«oggetto»"_s));
    fax.setSubject(u"Jose\u0301"_s);
    QVERIFY(QuorinSock::FaxProblem(fax).isEmpty());
    QVERIFY(QuorinSock::TextChange(u"Nome"_s, u"Perch\u00E9"_s).isEmpty());
    const QString change = QuorinSock::TextChange(u"Citt\u00E0"_s, u"\u0141\u00F3d\u017A"_s);
    QVERIFY(change.contains(u"L\u00F3dz"_s));
    QVERIFY(change.contains(u"Citt\u00E0"_s));
}

QTEST_MAIN(tst_QuorinSockGuard)
#include "tst_quorinsock_guard.moc"
