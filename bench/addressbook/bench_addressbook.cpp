// The local address book of 20,000 cards (about 4.7 MB): opening it, an edit and a delete written to the
// file, and the longest stall of the book window's event loop while it opens and while a change is saved
// (the watcher's refill included).
#include "Prompt.h"
#include "RUBfrmRubrica.h"
#include "VCardBook.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "BenchHome.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int Cards = 20000;

// Cards as address-book programs write them: 3.0 with the usual properties, one in ten 2.1 with
// quoted-printable, some with a note folded over lines.
QByteArray makeBook(int variant = 0)
{
    QByteArray out;
    out.reserve(5 * 1024 * 1024);
    for (int i = 0; i < Cards; ++i) {
        const QByteArray n = QByteArray::number(i);
        if (i % 10 == 9) {
            out += "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Citt=C3=A0" + n +
                   ";Niccol=C3=B2\r\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Niccol=C3=B2 Citt=C3=A0" + n +
                   "\r\nTEL;WORK;FAX:06" + n + "\r\nTEL;CELL:347" + n + "\r\nEMAIL;INTERNET:n" + n +
                   "@example.it\r\nNOTE;ENCODING=QUOTED-PRINTABLE:Prima riga=0D=0Aseconda riga con una parola =\r\n"
                   "lunga\r\nEND:VCARD\r\n";
            continue;
        }
        out += "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + n + "\r\nFN:Mario Rossi " + n +
               "\r\nN:Rossi " + n + ";Mario;;;\r\nORG:Rossi Trasporti S.r.l.\r\n"
               "EMAIL;TYPE=INTERNET:mario.rossi" + n + "@example.it\r\nTEL;TYPE=WORK,FAX:+39 02 " + n +
               "\r\nTEL;TYPE=CELL:+39 333 " + n + "\r\nNOTE:Mattino" +
               QByteArray::number(variant) + "\r\nEND:VCARD\r\n";
    }
    return out;
}

QString bookPath()
{
    return LocalAddressBook::defaultPath();
}

void writeBook(int variant = 0)
{
    QDir().mkpath(QFileInfo(bookPath()).path());
    QFile f(bookPath());
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(makeBook(variant));
}

// Opening: the file read into cards, as the first window of a process does.
void BM_OpenBook(benchmark::State &state)
{
    writeBook();
    for (auto _ : state) {
        LocalAddressBook book(bookPath());
        benchmark::DoNotOptimize(book.load());
        if (book.count() != Cards)
            state.SkipWithError("cards lost");
    }
    state.counters["MB"] = double(QFileInfo(bookPath()).size()) / 1e6;
}
BENCHMARK(BM_OpenBook)->Unit(benchmark::kMillisecond)->Iterations(10);

// An edited fax number saved: lock, merge with the file, write.
void BM_EditSaved(benchmark::State &state)
{
    writeBook();
    LocalAddressBook book(bookPath());
    book.load();
    int i = 0;
    for (auto _ : state) {
        LocalContact c = book.contacts()[(i * 997) % Cards];
        c.businessFax = u"+39 06 "_s + QString::number(++i);
        QString error, key;
        if (!book.updateContact(c, &error, {}, {}, &key) || book.count() != Cards)
            state.SkipWithError(qPrintable(u"not saved: "_s + error));
    }
}
BENCHMARK(BM_EditSaved)->Unit(benchmark::kMillisecond)->Iterations(10);

// A card deleted and the file written.
void BM_DeleteSaved(benchmark::State &state)
{
    writeBook();
    LocalAddressBook book(bookPath());
    book.load();
    int i = 0;
    for (auto _ : state) {
        const QString key = book.contacts()[(i++ * 1009) % book.count()].key;
        const int before = book.count();
        QString error;
        if (!book.removeContact(key, &error) || book.count() != before - 1)
            state.SkipWithError(qPrintable(u"not deleted: "_s + error));
    }
}
BENCHMARK(BM_DeleteSaved)->Unit(benchmark::kMillisecond)->Iterations(10);

// The longest gap between two turns of the event loop (a 1 ms timer) while `work` runs inside it and
// until `settle` ms after it, everything the change starts (the watcher, the window's refill) included.
// With `done`, the settling begins once it holds (a read on another thread has landed; at most 10 s).
double longestStall(const std::function<void()> &work, int settle = 400,
                    const std::function<bool()> &done = {})
{
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    qint64 inWork = 0; // the work's own time: a gap of the loop too
    bool worked = false;
    clock.start();
    tick.start();
    QTimer::singleShot(5, [&] {
        QElapsedTimer own;
        own.start();
        work();
        inWork = own.nsecsElapsed();
        worked = true;
    });
    // Waiting for events as the window's own loop does (the tick wakes it): a loop that spins would take
    // a core from the work other threads do for it.
    QElapsedTimer wall;
    wall.start();
    while ((!worked || (done && !done())) && wall.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    wall.restart();
    while (wall.elapsed() < settle)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return double(std::max(longest, inWork)) / 1e6;
}

// The book window: opened on the book (read and listed), then an edit and a delete saved from it. The
// open lasts until the window lists every card.
void BM_WindowStall(benchmark::State &state)
{
    int variant = 0;
    for (auto _ : state) {
        writeBook(++variant); // bytes the shared book has not read: the window reads the file
        double open = 0, edit = 0, remove = 0;
        {
            std::unique_ptr<RUBfrmRubrica> window;
            QListWidget *list = nullptr;
            QElapsedTimer timer;
            qint64 listed = 0;
            open = longestStall(
                [&] {
                    timer.start();
                    window = std::make_unique<RUBfrmRubrica>();
                    list = window->findChild<QListWidget *>(u"lstContacts"_s);
                    window->Load();
                    window->show();
                },
                400,
                [&] {
                    if (!listed && list && list->count() == Cards)
                        listed = timer.nsecsElapsed();
                    return listed != 0;
                });
            state.counters["open_ms"] = double(listed) / 1e6;
            if (!listed)
                state.SkipWithError("the window does not list the book once open");
            LocalAddressBook &book = LocalAddressBook::shared();
            bool saved = false, removed = false;
            edit = longestStall([&] {
                LocalContact c = book.contacts()[123];
                c.businessFax = u"+39 06 5"_s;
                saved = book.updateContact(c);
            });
            remove = longestStall([&] { removed = book.removeContact(book.contacts()[456].key); });
            if (!saved || !removed)
                state.SkipWithError("not saved");
            if (!list || list->count() != book.count())
                state.SkipWithError("the window does not list the book");
        }
        std::fprintf(stderr, "stall open %.1f edit %.1f delete %.1f ms\n", open, edit, remove);
        state.counters["stall_open_ms"] = open;
        state.counters["stall_edit_ms"] = edit;
        state.counters["stall_delete_ms"] = remove;
        state.SetIterationTime(std::max({open, edit, remove}) / 1e3);
    }
}
BENCHMARK(BM_WindowStall)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    useBenchHome(dir);
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Quorin"_s);
    Prompt::setAnswering(true);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
