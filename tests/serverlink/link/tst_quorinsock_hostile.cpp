// A hostile server: thousands of mangled answers, built from the keywords the control knows, must leave the
// link alive, raise Error for what cannot be read, and write nothing outside the private temporary folder.
#include "LinkRig.h"

#include "AppPaths.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QSet>

namespace {

using F = FakeFaxServer;

const QByteArray AnsSep = "<\xB6>";
const QByteArray QrySep = "<\xA5>";
const QByteArray Term = "<\xA7>";

// Every answer keyword the dispatcher handles, and a few it does not.
const QList<QByteArray> &keywords()
{
    static const QList<QByteArray> kws = {
        "NOMSG",
        "VERSIONI",
        "USER",
        "STATUS",
        "INOLTRO",
        "INOLTRO_INC",
        "PERSONALI",
        "PERSONALI_INC",
        "SPEDITI",
        "SPEDITI_INC",
        "CANCELLATI",
        "CANCELLATI_INC",
        "FRM_INOLTRO_USR",
        "FRM_INOLTRO_GRP",
        "NUMFAX",
        "FILE",
        "FILEUPD",
        "STARTFILE",
        "ENDFILE",
        "FINEUPD",
        "NOFILE",
        "CHILDRENTREE",
        "NEWFOLDER",
        "GETINFO",
        "GETREPORT",
        "RXFAX",
        "RXFAXP",
        "FAXSENDING",
        "FAXCOMPLETE",
        "FAXFAILED",
        "FAXPENDING",
        "ELIMINAVIETATO",
        "MAXUSERS",
        "VER_OK",
        "VER_UPCLIENT",
        "VER_UPSERVER",
        "TBUPDATE",
        "FAXPROGRSTART",
        "FAXPROGR",
        "FAXPROGREND",
        "RUBRICA",
        "UNKNOWNKW",
        "",
    };
    return kws;
}

// Builds mangled frames from one fixed seed.
class Mangler
{
public:
    explicit Mangler(quint32 seed) : m_rng(seed) {}

    int below(int n) { return int(m_rng.bounded(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T> const T &pick(const QList<T> &list) { return list.at(below(int(list.size()))); }

    QByteArray number()
    {
        static const QList<QByteArray> odd = {
            "0",          "-1",         "1",           "-2147483648",
            "2147483647", "2147483648", "-2147483649", "99999999999999999999999",
            "1e308",      "1e400",      "-1e400",      "nan",
            "inf",        "-inf",       "abc",         "",
            " 12 ",       "1.5",        "2.5",         "0x10",
            "+7",         "--3",        "32768",       "-32769",
            "\xA6",       "3\xA6",      "1,5",         "\x80",
        };
        return chance(50)
                   ? QByteArray::number(qint64(m_rng.generate64() >> below(64)) * (chance(30) ? -1 : 1))
                   : pick(odd);
    }

    QByteArray bytes(int max)
    {
        QByteArray out(below(max + 1), Qt::Uninitialized);
        for (char &c : out)
            c = char(m_rng.bounded(256));
        return out;
    }

    QByteArray atom()
    {
        static const QList<QByteArray> marks = {
            "<#>",
            "<\xCC\xCC>",
            "\xA6",
            "<\xBF>",
            "<\xA5>",
            "<\xB6>",
            "<",
            ">",
            "<\xCC",
            "T",
            "F",
            "V",
            "True",
            "False",
            "\xE8\x80\xFF",
            "\r\n",
            QByteArray(1, '\0'),
        };
        switch (below(4)) {
        case 0:
            return pick(marks);
        case 1:
            return number();
        case 2:
            return bytes(12);
        default:
            return "P" + QByteArray::number(below(50));
        }
    }

    // Data made of separators, numbers, words and raw bytes; never the terminator (that is cut by frame()).
    QByteArray data()
    {
        if (chance(10))
            return {};
        QByteArray out;
        const int n = chance(5) ? 200 + below(400) : below(30);
        for (int i = 0; i < n; ++i)
            out += atom();
        return out;
    }

    // Records as the list parsers read them: a count, then "¦"-led fields closed by "<ÌÌ>".
    QByteArray records()
    {
        QByteArray out = number() + "<\xCC\xCC>";
        const int n = below(6);
        for (int r = 0; r < n; ++r) {
            const int fields = below(16);
            for (int f = 0; f < fields; ++f)
                out += (chance(90) ? QByteArray("\xA6") : QByteArray()) + (chance(50) ? number() : atom());
            if (chance(85))
                out += "<\xCC\xCC>";
        }
        return out;
    }

    // "<#>"-separated fields, too few, too many or just right.
    QByteArray fields()
    {
        QByteArrayList f;
        const int n = below(14);
        for (int i = 0; i < n; ++i)
            f << (chance(50) ? number() : atom());
        return f.join("<#>");
    }

    QByteArray updateName()
    {
        static const QList<QByteArray> names = {
            "../evil.bin",
            "../../evil.bin",
            "/tmp/evil.bin",
            "a/b.bin",
            "..\\evil.bin",
            "C:evil.bin",
            "..",
            ".",
            "   ",
            "ok.bin",
            QByteArray("x\0y", 3),
            "\xE8.dll",
            QByteArray(300, 'n'),
            "sub/../../evil",
            "UPDATE",
        };
        return chance(15) ? bytes(10) : pick(names);
    }

    // A download with sizes and pieces that may lie, in or out of order.
    QByteArray download()
    {
        const bool update = chance(50);
        const QByteArray content = bytes(600);
        QList<QByteArray> frames;
        const QByteArray name = update ? updateName() : QByteArray();
        const QByteArray size =
            chance(60) ? QByteArray::number(content.size() + (chance(50) ? 0 : below(5) - 2)) : number();
        frames << answer("STARTFILE", size + (update || chance(20) ? "<#>" + name : QByteArray()));
        for (qsizetype at = 0; at < content.size();) {
            const qsizetype piece = 1 + below(200);
            frames << answer(update ? "FILEUPD" : "FILE", content.mid(at, piece));
            at += piece;
        }
        frames << answer("ENDFILE", "0<#>" + name + "<#>" + number());
        if (update && chance(50))
            frames << answer("FINEUPD", {});
        if (chance(30))
            std::swap(frames[below(int(frames.size()))], frames[below(int(frames.size()))]);
        if (chance(20))
            frames.removeAt(below(int(frames.size())));
        return frames.join();
    }

    static QByteArray answer(const QByteArray &kw, const QByteArray &data)
    {
        return kw + AnsSep + data + Term;
    }

    QByteArray frame()
    {
        const QByteArray kw = pick(keywords());
        QByteArray d;
        switch (below(5)) {
        case 0:
            d = records();
            break;
        case 1:
            d = fields();
            break;
        case 2:
            d = number();
            break;
        default:
            d = data();
        }
        if (chance(5))
            d += bytes(3000); // large random piece, terminators inside split it
        const int shape = below(100);
        if (shape < 80)
            return answer(kw, d);
        if (shape < 88)
            return kw + QrySep + d + (chance(50) ? QrySep : QByteArray()) + Term;
        if (shape < 93)
            return QByteArray(kw + AnsSep + d)
                .left(below(int(kw.size() + d.size() + 4))); // truncated, no terminator
        if (shape < 97)
            return d + Term; // no separator at all
        return download();
    }

    QByteArray burst(int frames)
    {
        QByteArray out;
        for (int i = 0; i < frames; ++i)
            out += chance(10) ? download() : frame();
        return out;
    }

private:
    QRandomGenerator m_rng;
};

// Every file and folder below `root`, except those in the control's temporary folder.
QSet<QString> filesOutside(const QString &root, const QString &allowed)
{
    QSet<QString> out;
    QDirIterator it(root, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!QString(path + u'/').startsWith(allowed))
            out.insert(path);
    }
    return out;
}

QString goodList()
{
    const QString RS = u"<\u00CC\u00CC>"_s;
    const QString LS = u"\u00A6"_s;
    auto record = [&](const QString &id) -> QString {
        return LS +
               QStringList{id,     u"1"_s,      u"8"_s, u"+39 02"_s, u"Rossi"_s, u"0255"_s, u"D1439"_s,
                           u"2"_s, u"Ordine"_s, u"V"_s, u"1"_s,      u"2"_s,     u"0"_s}
                   .join(LS) +
               RS;
    };
    return u"2"_s + RS + record(u"GOOD1"_s) + record(u"GOOD2"_s);
}

// A list request and its answer still go round, on the same connection.
void checkUsable(LinkRig &rig, int folder)
{
    QVERIFY(rig.sock->State() == 7);
    rig.sock->SetActiveList(SentList, folder);
    QUORIN_TRY_VERIFY(rig.server.hasReceived(F::query(u"SPEDITI", QString::number(folder))));
    rig.server.sendNow(F::answer(u"SPEDITI", goodList()));
    QUORIN_TRY_VERIFY(rig.sock->FaxItems() && rig.sock->FaxItems()->Count() == 2 &&
                      rig.sock->FaxItems()->Item(1)->IdFax() == u"GOOD1"_s);
    QCOMPARE(rig.server.connectionCount(), 1);
}

} // namespace

class TestQuorinSockHostile : public QObject
{
    Q_OBJECT
    TestHome m_home;

private Q_SLOTS:
    void initTestCase() { useTemporaryHome(m_home); }

    void hostileBursts_data()
    {
        QTest::addColumn<bool>("fragmented");
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("chunk");
        for (quint32 seed : {11u, 23u, 37u, 41u})
            QTest::addRow("whole seed %u", seed) << false << seed << 800 << 0;
        // Pieces of a few bytes, and pieces that cut frames at ever other points.
        QTest::addRow("fragmented seed 53 by 3") << true << 53u << 40 << 3;
        QTest::addRow("fragmented seed 67 by 101") << true << 67u << 240 << 101;
        QTest::addRow("fragmented seed 79 by 149") << true << 79u << 240 << 149;
    }
    void hostileBursts()
    {
        QFETCH(bool, fragmented);
        QFETCH(quint32, seed);
        QFETCH(int, frames);
        QFETCH(int, chunk);
        LinkRig rig(false);
        if (fragmented)
            rig.server.setFragmented(true, chunk);
        QVERIFY(rig.login());
        const QString temp = AppPaths::tempDir();
        QVERIFY(!temp.isEmpty());
        const QSet<QString> before = filesOutside(m_home.path(), temp);
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        rig.sock->SetActiveList(SentList, 1);

        Mangler m(seed);
        for (int round = 0; round < 4; ++round) {
            // The terminator after the burst closes a frame left truncated at its end.
            rig.server.sendNow(m.burst(frames / 4) + Term);
            checkUsable(rig, 1000 + round);
            if (QTest::currentTestFailed())
                return;
        }
        QVERIFY(errors.count() > 0);
        QCOMPARE(filesOutside(m_home.path(), temp), before);
        // Update files sit directly in the update folder, never in a folder of their own.
        const QString updates = rig.sock->NameUpdateFolder();
        QDirIterator it(updates, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo entry(it.next());
            QVERIFY2(entry.isFile() && entry.absolutePath() == QFileInfo(updates).absoluteFilePath(),
                     qPrintable(entry.filePath()));
        }
        QVERIFY(rig.server.errors().isEmpty());
    }

    // Downloads ended by the wrong frame: nothing half-written stays, nothing finished is removed, and a
    // host waiting for an image hears that it will not come.
    void mismatchedEnd_data()
    {
        QTest::addColumn<QByteArray>("frames");
        QTest::addColumn<int>("incomplete"); // RxFaxIncomplete raised
        QTest::addColumn<int>("ok");         // RxFaxOk raised
        QTest::addColumn<bool>("error");     // Error raised
        QTest::addColumn<bool>("kept");      // the update file "u.bin" is there afterwards
        const auto a = &Mangler::answer;
        QTest::newRow("image ended as update")
            << QByteArray(a("STARTFILE", "5") + a("FILE", "abcde") + a("ENDFILE", "5<#>u.bin<#>K")) << 1 << 0
            << false << false;
        QTest::newRow("long update ended as image")
            << QByteArray(a("STARTFILE", "3<#>u.bin") + a("FILEUPD", "abcdefgh") + a("ENDFILE", "3<#><#>K"))
            << 0 << 0 << true << false;
        QTest::newRow("second end keeps the finished update")
            << QByteArray(a("STARTFILE", "3<#>u.bin") + a("FILEUPD", "abc") + a("ENDFILE", "3<#>u.bin<#>K") +
                          a("ENDFILE", "3<#>u.bin<#>K"))
            << 0 << 0 << true << true;
        QTest::newRow("update cut short by a new download")
            << QByteArray(a("STARTFILE", "9<#>u.bin") + a("FILEUPD", "abc") + a("STARTFILE", "2") +
                          a("FILE", "xy") + a("ENDFILE", "2<#><#>K"))
            << 0 << 1 << true << false;
        QTest::newRow("update cut short by the end of the updates")
            << QByteArray(a("STARTFILE", "9<#>u.bin") + a("FILEUPD", "abc") + a("FINEUPD", {})) << 0 << 0
            << true << false;
        QTest::newRow("update cut short by a missing image")
            << QByteArray(a("STARTFILE", "9<#>u.bin") + a("FILEUPD", "abc") + a("NOFILE", "7")) << 0 << 0 << true
            << false;
        QTest::newRow("image cut short by the end of the updates")
            << QByteArray(a("STARTFILE", "5") + a("FILE", "abc") + a("FINEUPD", {})) << 1 << 0 << false << false;
    }
    void mismatchedEnd()
    {
        QFETCH(QByteArray, frames);
        QFETCH(int, incomplete);
        QFETCH(int, ok);
        QFETCH(bool, error);
        QFETCH(bool, kept);
        LinkRig rig(false);
        QVERIFY(rig.login());
        QFile::remove(rig.sock->NameUpdateFolder() + u"/u.bin"_s);
        QFile::remove(rig.sock->NameTempFile());
        QSignalSpy incompleteSpy(rig.sock.get(), &QuorinSock::RxFaxIncomplete);
        QSignalSpy okSpy(rig.sock.get(), &QuorinSock::RxFaxOk);
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        rig.server.sendNow(frames);
        checkUsable(rig, 5);
        QCOMPARE(incompleteSpy.count(), incomplete);
        QCOMPARE(okSpy.count(), ok);
        QCOMPARE(errors.count() > 0, error);
        QCOMPARE(QFile::exists(rig.sock->NameUpdateFolder() + u"/u.bin"_s), kept);
        QCOMPARE(QFile::exists(rig.sock->NameTempFile()), ok > 0);
    }

    // A notice whose record fails raises Error and nothing else: no blank item joins the list.
    void brokenNoticeAddsNothing_data() { addFragmentedRows(); }
    void brokenNoticeAddsNothing()
    {
        QFETCH(bool, fragmented);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        rig.sock->SetActiveList(Forwardlist, 1);
        QSignalSpy inList(rig.sock.get(), &QuorinSock::RxNewFax);
        QSignalSpy elsewhere(rig.sock.get(), &QuorinSock::RxNewFaxInDiffFolder);
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        QSignalSpy nums(rig.sock.get(), &QuorinSock::RxNumFax);
        for (const QString &kw : {u"RXFAX"_s, u"FAXCOMPLETE"_s, u"RXFAXP"_s})
            rig.server.send(F::answer(kw, u"\u00A6only\u00A6three"));
        rig.server.send(F::answer(u"NUMFAX", u"\u00A60"));
        QVERIFY(TestWait::forSignal(nums));
        QCOMPARE(errors.count(), 3);
        QCOMPARE(inList.count(), 0);
        QCOMPARE(elsewhere.count(), 0);
        QVERIFY(!rig.sock->FaxItems() || rig.sock->FaxItems()->Count() == 0);
    }

    // A NEWFOLDER answer cut short: the folder may exist on the server, so the host hears of it.
    void shortNewFolderAnswerIsAnError()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        QSignalSpy added(rig.sock.get(), &QuorinSock::AddedNewFolder);
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        rig.server.send(F::answer(u"NEWFOLDER", u"Clienti<#>1<#>T") + F::answer(u"NEWFOLDER", u"Altro<#>1<#>T<#>5"));
        QVERIFY(TestWait::forSignal(added));
        QCOMPARE(errors.count(), 1);
        QVERIFY(errors.at(0).at(3).toString().startsWith(u"DataArrival.NEWFOLDER"_s));
        QCOMPARE(added.count(), 1);
        QCOMPARE(added.at(0).at(0).toString(), u"Altro"_s);
    }

    // Groups kept from an earlier form never join the users of a later one.
    void newForwardFormDropsOldGroups()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        QSignalSpy form(rig.sock.get(), &QuorinSock::RxFrmForward);
        QSignalSpy nums(rig.sock.get(), &QuorinSock::RxNumFax);
        rig.sock->AskFormForward(u"1"_s);
        QVERIFY(rig.received(F::query(u"FRM_INOLTRO", u"(1)")));
        rig.server.send(F::answer(u"FRM_INOLTRO_GRP", u"<#>G1<#>G001<#>Vendite<#>False<#>(1)<#>Rossi<\u00CC\u00CC>") +
                        F::answer(u"NUMFAX", u"\u00A61"));
        QVERIFY(TestWait::forSignal(nums)); // the groups are in; the users frame of that form never comes
        rig.sock->AskFormForward(u"2"_s);
        QVERIFY(rig.received(F::query(u"FRM_INOLTRO", u"(2)")));
        rig.server.send(F::answer(u"FRM_INOLTRO_USR",
                                  u"<#>U12<#>0012<#>Rossi<#>True<#>(2)<#><#>False<\u00CC\u00CC>"));
        QVERIFY(TestWait::forSignal(form));
        auto *groups = form.at(0).at(1).value<ListItemFrmForward *>();
        QVERIFY(groups);
        QCOMPARE(groups->Count(), 0);
        QCOMPARE(form.at(0).at(0).value<ListItemFrmForward *>()->Count(), 1);
    }
};

QTEST_MAIN(TestQuorinSockHostile)
#include "tst_quorinsock_hostile.moc"
