// Time of one read and one write of a key in a shared settings file of 1,000 keys.
#include "ProfileFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

QString makeFile(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(u"Darezi.ini"_s);
    QByteArray data = "; shared by the three programs\r\n[Config]\r\n";
    for (int i = 0; i < 900; ++i)
        data += "Key" + QByteArray::number(i) + "=value number " + QByteArray::number(i) + "\r\n";
    data += "\r\n[Printer]\r\n";
    for (int i = 0; i < 100; ++i)
        data += "PrinterKey" + QByteArray::number(i) + "=" + QByteArray(40, 'x') + "\r\n";
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(data);
    return path;
}

void BM_WriteKey(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = makeFile(dir);
    int n = 0;
    for (auto _ : state) {
        const bool ok = ProfileFile::writeString(path, u"config"_s, u"Key450"_s, QString::number(++n));
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_WriteKey)->Unit(benchmark::kMillisecond);

void BM_WriteNewKeys(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = makeFile(dir);
    int n = 0;
    for (auto _ : state) {
        const bool ok = ProfileFile::writeString(path, u"Config"_s, u"New"_s + QString::number(++n), u"v"_s);
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_WriteNewKeys)->Unit(benchmark::kMillisecond);

void BM_ReadKey(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = makeFile(dir);
    for (auto _ : state)
        benchmark::DoNotOptimize(ProfileFile::readString(path, u"Printer"_s, u"PrinterKey99"_s));
}
BENCHMARK(BM_ReadKey)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
