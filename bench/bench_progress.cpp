// What the import's progress dialog costs: one dump imported with the viewer's reporter (its
// dialog appears after a second and is redrawn up to ten times a second, over a main window) and
// with a reporter that shows nothing, in turn, several times each; and the time spent inside the
// progress calls, which the difference of two noisy medians only estimates.
//
// Usage: bench_progress DUMP [runs]   (under xvfb-run for a real display; offscreen otherwise)

#include "Dovlin_GuiImportReporter.h"
#include "Dovlin_ImportReporter.h"
#include "Dovlin_VcdImport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMainWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
class SilentReporter : public Dovlin_ImportReporter
{
public:
    void Error(const QString &text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    void Warning(const QString &) override {}
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_progress DUMP [runs]\n");
        return 2;
    }
    const QString dump = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? qMax(1, atoi(argv[2])) : 3;
    const QString wave = QDir::temp().filePath("dovlin_bench_progress.dvn");
    QMainWindow window;
    window.resize(1200, 800);
    window.show();
    QApplication::processEvents();

    std::vector<double> withDialog, without, inProgress;
    int updates = 0;
    for (int run = 0; run < runs; ++run) {
        for (bool dialog : {true, false}) {
            QElapsedTimer timer;
            timer.start();
            bool ok;
            if (dialog) {
                struct Counting : Dovlin_GuiImportReporter
                {
                    using Dovlin_GuiImportReporter::Dovlin_GuiImportReporter;
                    bool Progress(qint64 read, qint64 total) override
                    {
                        ++m_Calls;
                        QElapsedTimer t;
                        t.start();
                        const bool r = Dovlin_GuiImportReporter::Progress(read, total);
                        m_Ns += t.nsecsElapsed();
                        return r;
                    }
                    int m_Calls = 0;
                    qint64 m_Ns = 0;
                } reporter(&window, dump, wave);
                Dovlin_VcdImport importer(&reporter);
                ok = importer.Convert(dump, wave);
                updates = reporter.m_Calls;
                inProgress.push_back(reporter.m_Ns / 1e9);
            } else {
                SilentReporter reporter;
                Dovlin_VcdImport importer(&reporter);
                ok = importer.Convert(dump, wave);
            }
            if (!ok)
                return 1;
            (dialog ? withDialog : without).push_back(timer.nsecsElapsed() / 1e9);
        }
    }
    QFile::remove(wave);
    const double a = median(withDialog), b = median(without);
    const double spent = median(inProgress);
    std::printf("%s: with the progress dialog %.2f s, without %.2f s (medians of %d runs): %+.1f %%\n"
                "inside the %d progress calls: %.3f s, %.2f %% of the import with the dialog\n",
                qPrintable(dump), a, b, runs, (a - b) / b * 100, updates, spent, spent / a * 100);
    return 0;
}
