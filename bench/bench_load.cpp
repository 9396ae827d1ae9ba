// Load rate of a wave file from the page cache.
// Usage: bench_load [file [runs]]. The file (default /tmp/dovlin_bench.dvn) is created when it
// is missing or smaller than 500 MB: 2000 signals of every type with random changes. The first
// load is that of a fresh process, as when the viewer opens a file.

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Signals.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int SignalCount = 2000;
constexpr int SignalsPerScope = 100;
constexpr qint64 MinimumSize = 500LL * 1000 * 1000;

Dovlin_Signal *NewSignal(Dovlin_FileManager &fm, int i)
{
    switch (i % 10) {
    case 0:
    case 1:
        return &fm.AddSignal<Dovlin_IntSignal>();
    case 2:
        return &fm.AddSignal<Dovlin_RealSignal>();
    case 3:
        return &fm.AddSignal<Dovlin_StateSignalT<Dovlin_StdLogicType>>();
    case 4:
        return &fm.AddSignal<Dovlin_StateSignalT<Dovlin_BitType>>();
    default:
        return &fm.AddSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>();
    }
}

bool Create(const QString &path)
{
    Dovlin_FileManager fm;
    fm.SetTimeBase(-12);
    std::mt19937_64 random(20240601);
    std::uniform_int_distribution<int> eventCount(8000, 24000);
    std::uniform_int_distribution<int> step(1, 100);
    Dovlin_CompositeHierarchy *scope = nullptr;
    qint64 lastTime = 0;
    for (int i = 0; i < SignalCount; ++i) {
        if (i % SignalsPerScope == 0) {
            scope = &fm.AddNode<Dovlin_CompositeHierarchy>(QStringLiteral("scope%1").arg(i / SignalsPerScope));
        }
        Dovlin_Signal *signal = NewSignal(fm, i);
        auto *leaf = &fm.AddNode<Dovlin_ScalarHierarchy>(QStringLiteral("sig%1").arg(i));
        leaf->SetSignal(signal);
        scope->AddHierarchy(leaf);
        qint64 time = 0;
        for (int n = eventCount(random); n > 0; --n) {
            time += step(random);
            const quint64 bits = random();
            switch (signal->GetTypeCode()) {
            case 1:
                signal->AddEvent(time, qint64(bits >> 20));
                break;
            case 2:
                signal->AddEvent(time, double(bits % 100000) / 7.0);
                break;
            default:
                signal->AddEvent(time, int(bits % 4));
                break;
            }
        }
        lastTime = std::max(lastTime, time);
    }
    if (!fm.Save(path, lastTime)) {
        std::fprintf(stderr, "cannot create %s: %s\n", qPrintable(path), qPrintable(fm.ErrorString()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/dovlin_bench.dvn");
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    if (QFileInfo(path).size() < MinimumSize) {
        std::printf("creating %s ...\n", qPrintable(path));
        QElapsedTimer timer;
        timer.start();
        if (!Create(path))
            return 1;
        std::printf("created in %.2f s\n", timer.elapsed() / 1000.0);
    }
    const qint64 size = QFileInfo(path).size();
    std::printf("%s: %.1f MB\n", qPrintable(path), size / 1e6);

    std::vector<double> rates;
    for (int run = 0; run < runs; ++run) {
        auto fm = std::make_unique<Dovlin_FileManager>();
        QElapsedTimer timer;
        timer.start();
        if (!fm->Load(path)) {
            std::fprintf(stderr, "load failed (delete the file to recreate it): %s\n", qPrintable(fm->ErrorString()));
            return 1;
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        rates.push_back(size / 1e6 / seconds);
        std::printf("load %d: %.3f s, %.0f MB/s (%d signals, end time %lld)\n", run + 1, seconds, rates.back(),
                    fm->GetnSignal(), fm->GetEndTime());
    }
    std::sort(rates.begin(), rates.end());
    std::printf("load rate: median %.0f MB/s, best %.0f MB/s\n", rates[rates.size() / 2], rates.back());
    return 0;
}
