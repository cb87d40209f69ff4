// Speed of the main window against the fake fax server, offscreen: a long list answer from the wire to
// the list shown and sorted by date, re-sorting by each column, start-up to the first list, and the
// bulk commands on 1000 selected rows of a long list.
#include "ConfigIni.h"
#include "FakeFaxServer.h"
#include "FaxItem.h"
#include "FaxListItem.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SampleMailbox.h"
#include "StartupMain.h"
#include "frmMain.h"

#include <QApplication>
#include <QIcon>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "BenchHome.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;
using F = FakeFaxServer;

namespace {

// A list answer of n faxes in the server's layout, with spread dates, senders and page counts.
QByteArray listAnswer(int n)
{
    QByteArray out = QByteArray::number(n) + F::RecordSep;
    out.reserve(n * 110);
    const char *status[] = {"1", "C", "R", "7", "S"};
    const char *icons[] = {"4", "5", "6", "", "1"};
    for (int i = 0; i < n; ++i) {
        const int minutes = 9000000 - (i * 7919) % 2000000;
        out += F::ListSep + "R" + QByteArray::number(100000 + i) + F::ListSep + status[i % 5] + F::ListSep +
               icons[i % 5] + F::ListSep + "+39 02 " + QByteArray::number(5550000 + (i * 31) % 9999) +
               F::ListSep + "Azienda " + QByteArray::number(i % 977) + F::ListSep + "0255" +
               QByteArray::number(i % 10000) + F::ListSep + QByteArray::number(minutes) + F::ListSep +
               QByteArray::number(1 + i % 23) + F::ListSep + "Oggetto " +
               QByteArray::number((i * 13) % 5003) + F::ListSep + (i % 3 ? "V" : "F") + F::RecordSep;
    }
    return out;
}

struct Fixture
{
    FakeFaxServer fake;
    SampleMailbox mailbox;
    int listSize = 0;
    QByteArray answer;
    std::unique_ptr<StartupMain> startup;

    Fixture()
    {
        mailbox.attach(&fake);
        const auto inner = fake.responder();
        fake.setResponder([this, inner](FakeFaxServer &s, const F::Frame &f) {
            if (listSize > 0 && (f.keyword == "INOLTRO" || f.keyword == "PERSONALI" || f.keyword == "CANCELLATI")) {
                s.sendNow(F::rawAnswer(f.keyword, answer));
                return;
            }
            inner(s, f);
        });
        fake.listen();
    }
    void setList(int n)
    {
        listSize = n;
        answer = n > 0 ? listAnswer(n) : QByteArray();
    }
    frmMain *start()
    {
        ConfigIni = ConfigIniRecord{};
        QFile ini(QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath(u"quorin/Darezi.ini"_s));
        ini.open(QIODevice::WriteOnly);
        ini.write("[Config]\r\nServer=127.0.0.1\r\nPort= " + QByteArray::number(fake.port()) + "\r\n");
        ini.close();
        startup = std::make_unique<StartupMain>();
        startup->Main();
        frmMain *w = startup->mainWindow();
        if (!QTest::qWaitFor(
                [w] { return w->isVisible() && w->ListFax->isEnabled() && w->ListFax->topLevelItemCount() > 0; },
                60000))
            qFatal("the main window did not show its first list");
        return w;
    }
};

// The fake server's end of the client's link.
QTcpSocket *serverSide(FakeFaxServer &fake)
{
    const auto sockets = fake.findChildren<QTcpSocket *>();
    for (QTcpSocket *s : sockets) {
        if (s->state() == QAbstractSocket::ConnectedState && s->localPort() == fake.port())
            return s;
    }
    return nullptr;
}

// A list answer of range(0) faxes: the clock starts when the server has handed the answer's last byte
// to the (loopback) connection and stops when the list is shown and sorted by date.
void listFromWire(benchmark::State &state)
{
    const int n = int(state.range(0));
    Fixture fx;
    fx.setList(n);
    frmMain *w = fx.start();
    QTcpSocket *peer = serverSide(fx.fake);
    if (!w || !peer) {
        state.SkipWithError("no client");
        return;
    }
    QElapsedTimer clock;
    qint64 lastByte = -1;
    QObject::connect(peer, &QTcpSocket::bytesWritten, peer, [&] {
        if (peer->bytesToWrite() == 0)
            lastByte = clock.nsecsElapsed();
    });
    for (auto _ : state) {
        lastByte = -1;
        clock.start();
        w->Ask4List(w->ActiveList);
        if (!QTest::qWaitFor([&] { return w->ListFax->isEnabled() && w->ListFax->topLevelItemCount() == n; },
                             120000)) {
            state.SkipWithError("the list did not arrive");
            break;
        }
        const qint64 end = clock.nsecsElapsed();
        if (w->ListFax->topLevelItemCount() != n || w->SortKey() != 8) {
            std::fprintf(stderr, "rows %d of %d, list %d\n", w->ListFax->topLevelItemCount(), n,
                         w->ActiveList);
            state.SkipWithError("list not filled");
            return;
        }
        state.SetIterationTime(double(end - qMax<qint64>(0, lastByte)) / 1e9);
    }
    state.counters["faxes"] = n;
}
BENCHMARK(listFromWire)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Filling and date-sorting the list from the link's collection, without the wire.
void fillFromCollection(benchmark::State &state)
{
    const int n = int(state.range(0));
    Fixture fx;
    fx.setList(n);
    frmMain *w = fx.start();
    for (auto _ : state) {
        w->InitList(false);
        w->GetNuovi(w->ClientSock->FaxItems(), true);
    }
    state.counters["faxes"] = n;
}
BENCHMARK(fillFromCollection)->Arg(10000)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// A click on a column header re-sorts 100,000 rows.
void resortByColumn(benchmark::State &state)
{
    static Fixture *fx = nullptr;
    static frmMain *w = nullptr;
    if (!fx) {
        fx = new Fixture;
        fx->setList(100000);
        w = fx->start();
    }
    const int column = int(state.range(0));
    for (auto _ : state)
        w->OrdinaColonna(column);
    state.SetLabel(w->ListFax->headerItem()->text(column).toStdString());
}
BENCHMARK(resortByColumn)->DenseRange(1, 8)->Unit(benchmark::kMillisecond)->Iterations(4);

// Trash, restore, delete for good and move (a drop on a folder) of 1000 selected rows of 20,000: the clock
// starts when the question is answered "Sì" (at once, answering mode) and stops when the server has the
// request.
void bulkCommand(benchmark::State &state)
{
    static Fixture *fx = nullptr;
    static frmMain *w = nullptr;
    constexpr int Rows = 20000, Selected = 1000;
    if (!fx) {
        fx = new Fixture;
        fx->setList(Rows);
        w = fx->start();
        if (!QTest::qWaitFor([] { return w->tree().node(u"F9"_s) != nullptr; }, 10000))
            qFatal("the folder tree did not arrive");
    }
    const int command = int(state.range(0));
    static const char *const names[] = {"trash", "restore", "delete", "move"};
    static const QByteArray keywords[] = {"CESTINA", "RIPRISTINA", "ELIMINA", "SPOSTA"};
    const int listKind = command == 1 || command == 2 ? DeletedList : Forwardlist;
    QElapsedTimer clock;
    qint64 arrived = -1;
    const auto conn = QObject::connect(&fx->fake, &FakeFaxServer::frameReceived, &fx->fake,
                                       [&](const F::Frame &f) {
                                           if (f.keyword == keywords[command])
                                               arrived = clock.nsecsElapsed();
                                       });
    for (auto _ : state) {
        w->Ask4List(listKind);
        if (!QTest::qWaitFor([&] { return w->ListFax->isEnabled() && w->ListFax->topLevelItemCount() == Rows; },
                             120000)) {
            state.SkipWithError("the list did not arrive");
            break;
        }
        // Rows of the nobody-holds-it kind, so that the deletion takes every one.
        w->ListFax->clearSelection();
        for (int i = 100; i < 100 + Selected; ++i) {
            auto *row = static_cast<FaxListItem *>(w->ListFax->topLevelItem(i));
            row->setIconName(u"empty"_s, QIcon());
            row->setSelected(true);
        }
        QTreeWidgetItem *last = w->ListFax->topLevelItem(100 + Selected - 1);
        // A Ctrl+right click on a selected row takes the selection as the dragged rows, as a drag does.
        w->ListFax->scrollToItem(last);
        w->ListFax_MouseDown(Qt::RightButton, Qt::ControlModifier, w->ListFax->visualItemRect(last).center());
        while (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
        QTest::qWait(50);
        arrived = -1;
        Prompt::setNextAnswer(QMessageBox::Yes);
        clock.start();
        switch (command) {
        case 0:
            w->CestinaFax();
            break;
        case 1:
            w->RipristinaFax();
            break;
        case 2:
            w->EliminaFaxDefinitivo(false);
            break;
        default:
            w->TVNodi_OLEDragDrop(w->tree().node(u"F9"_s));
            break;
        }
        if (!QTest::qWaitFor([&] { return arrived >= 0; }, 60000)) {
            state.SkipWithError("no request");
            break;
        }
        if (w->ListFax->topLevelItemCount() != Rows - Selected) {
            state.SkipWithError("the rows did not go");
            break;
        }
        state.SetIterationTime(double(arrived) / 1e9);
    }
    QObject::disconnect(conn);
    state.SetLabel(names[command]);
}
BENCHMARK(bulkCommand)->DenseRange(0, 3)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// From the start-up routine to the main window shown with its tree and first list (sample mailbox).
void startupToFirstList(benchmark::State &state)
{
    Fixture fx;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        frmMain *w = fx.start();
        if (!QTest::qWaitFor([w] { return w->tree().count() > 5; }, 10000)) {
            state.SkipWithError("the folder tree did not arrive");
            break;
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        fx.startup.reset();
    }
}
BENCHMARK(startupToFirstList)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    useBenchHome(dir);
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Quorin"_s);
    QApplication::setApplicationVersion(u"1.0.0"_s);
    Prompt::setAnswering(true);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
