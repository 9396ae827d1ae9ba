// Opening wave files whose name trees are large and oddly shaped: the time from loading the file
// into a document window to its first picture, for flat (sibling scopes at the top), wide (one
// scope holding every signal) and deep (chains of 1000 nested scopes) trees.
//
// Usage: bench_tree [most nodes [shape]]   (default 1000000, sizes 10^4, 10^5, ... up to it; every shape)

#include "DovlinWidget.h"
#include "Dovlin_ImportReporter.h"
#include "Dovlin_VcdImport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

class QuietReporter : public Dovlin_ImportReporter
{
public:
    void Error(const QString &text) override { fprintf(stderr, "%s\n", qPrintable(text)); }
    void Warning(const QString &) override {}
};

// A dump of about `nodes` nodes in the given shape, each signal set once at time 0.
QByteArray dump(const QByteArray &shape, qint64 nodes)
{
    QByteArray text("$timescale 1ns $end\n");
    qint64 code = 0;
    const auto wire = [&]() { text += "$var wire 1 w" + QByteArray::number(code++) + " s $end\n"; };
    if (shape == "flat") {
        for (qint64 i = 0; i < nodes / 2; ++i) {
            text += "$scope module m" + QByteArray::number(i) + " $end\n";
            wire();
            text += "$upscope $end\n";
        }
    } else if (shape == "wide") {
        text += "$scope module top $end\n";
        for (qint64 i = 1; i < nodes; ++i)
            wire();
        text += "$upscope $end\n";
    } else {
        for (qint64 chain = 0; chain < nodes / 1000; ++chain) {
            text += "$scope module chain" + QByteArray::number(chain) + " $end\n";
            for (int depth = 1; depth < 999; ++depth)
                text += "$scope module c" + QByteArray::number(depth) + " $end\n";
            wire();
            text += QByteArray("$upscope $end\n").repeated(999);
        }
    }
    text += "$enddefinitions $end\n#0\n";
    for (qint64 i = 0; i < code; ++i)
        text += "1w" + QByteArray::number(i) + "\n";
    text += "#10\n";
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const qint64 most = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    QTemporaryDir dir;
    printf("shape  nodes     open s\n");
    for (const QByteArray shape : {"flat", "wide", "deep"}) {
        if (argc > 2 && shape != argv[2])
            continue;
        for (qint64 nodes = 10000; nodes <= most; nodes *= 10) {
            const QString vcd = dir.filePath(QString::fromLatin1(shape) + ".vcd");
            QFile file(vcd);
            if (!file.open(QIODevice::WriteOnly) || file.write(dump(shape, nodes)) < 0)
                return 1;
            file.close();
            QuietReporter reporter;
            Dovlin_VcdImport import(&reporter);
            if (!import.Convert(vcd))
                return 1;
            QElapsedTimer timer;
            timer.start();
            DovlinWidget document(nullptr);
            document.resize(1200, 800);
            if (!document.loadFile(import.WaveFileName()))
                return 1;
            document.show();
            document.zoomFull();
            QApplication::processEvents();
            printf("%-6s %-9lld %.2f\n", shape.constData(), static_cast<long long>(nodes), timer.nsecsElapsed() / 1e9);
            fflush(stdout);
        }
    }
    return 0;
}
