// The viewer on a real wave file, to compare wave-file formats by: the time from opening the file
// to the first paint of its waveforms, each run in a fresh process, and the resident memory after
// each step of a session in a 1920 x 1080 document window: opened, shown after Zoom Full, Expand
// All, every line of the name tree scrolled into view and painted, one value search. The file is
// only opened by its path (DovlinWidget::loadFile), whatever its format, and read once first so
// that every run finds it in the page cache.
//
// Usage: bench_viewer FILE [runs]       first waveform in runs fresh processes (default 3), then
//                                       the memory steps in one more
//        bench_viewer --first FILE      one first-waveform run
//        bench_viewer --memory FILE     the memory steps
// Offscreen unless QT_QPA_PLATFORM says otherwise (xvfb-run with QT_QPA_PLATFORM=xcb).

#include "DovlinWidget.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_Signals.h"
#include "Dovlin_ValueBar.h"
#include "Dovlin_ValueSearch.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

// Tells when a widget has handled a paint event: a filter sees the event only before.
class App : public QApplication
{
public:
    using QApplication::QApplication;
    QObject *m_Watched = nullptr;
    std::function<void()> m_Painted;

    bool notify(QObject *receiver, QEvent *event) override
    {
        const bool result = QApplication::notify(receiver, event);
        if (receiver == m_Watched && event->type() == QEvent::Paint && m_Painted)
            m_Painted();
        return result;
    }
};

// The /proc/self/status fields in KiB: VmRSS, VmHWM, RssAnon, RssFile.
std::vector<qint64> memoryKiB()
{
    static const char *const fields[] = {"VmRSS:", "VmHWM:", "RssAnon:", "RssFile:"};
    std::vector<qint64> values(4, -1);
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return values;
    for (const QByteArray &line : status.readAll().split('\n'))
        for (size_t i = 0; i < values.size(); ++i)
            if (line.startsWith(fields[i]))
                values[i] = line.mid(int(std::strlen(fields[i]))).trimmed().split(' ').first().toLongLong();
    return values;
}

// Opens the file in a 1920 x 1080 document window as the main window's open path does (load,
// show, Zoom Full) and waits for the canvas to paint its rows: false when the file does not load
// or nothing is painted within a minute.
bool openAndPaint(App &app, const QString &path, DovlinWidget *&document, double &loadMs, double &paintMs)
{
    QElapsedTimer timer;
    timer.start();
    document = new DovlinWidget(nullptr);
    if (!document->loadFile(path)) {
        std::fprintf(stderr, "cannot load %s: %s\n", qPrintable(path), qPrintable(document->errorString()));
        return false;
    }
    loadMs = timer.nsecsElapsed() / 1e6;
    Dovlin_ShapeWidget *canvas = document->shapeWidget();
    // A loop of its own: the application's quit would close the window.
    QEventLoop loop;
    bool painted = false;
    app.m_Watched = canvas;
    app.m_Painted = [&] {
        if (painted || canvas->pictureRenders() == 0)
            return;
        painted = true;
        paintMs = timer.nsecsElapsed() / 1e6;
        loop.quit();
    };
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    document->resize(1920, 1080);
    document->show();
    document->zoomFull();
    if (!painted)
        loop.exec();
    app.m_Painted = nullptr;
    if (!painted)
        std::fprintf(stderr, "the canvas of %s was not painted within a minute\n", qPrintable(path));
    return painted;
}

int firstRun(App &app, const QString &path)
{
    DovlinWidget *document = nullptr;
    double loadMs = 0, paintMs = 0;
    if (!openAndPaint(app, path, document, loadMs, paintMs))
        return 1;
    std::printf("%.1f %.1f\n", paintMs, loadMs);
    return 0;
}

// The line of one signal with the most events: the value bar's search passes over the most there.
QTreeWidgetItem *busiestLine(DovlinWidget *document, const Dovlin_Hierarchy *&busiest)
{
    Dovlin_FileManager &model = document->fileManager();
    QTreeWidgetItem *line = nullptr;
    busiest = nullptr;
    for (int i = 0; i < model.GetnHierarchy(); ++i) {
        const Dovlin_Hierarchy *node = model.GetHierarchy(i);
        const Dovlin_Signal *signal = node ? node->GetSignal() : nullptr;
        QTreeWidgetItem *item = signal ? document->nameWidget()->TreeItem(node) : nullptr;
        if (item && (!busiest || signal->GetnEvent() > busiest->GetSignal()->GetnEvent())) {
            busiest = node;
            line = item;
        }
    }
    return line;
}

int memoryRun(App &app, const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    std::printf("%-34s %9s %9s %9s %9s %9s\n", "step", "VmRSS MB", "VmHWM MB", "anon MB", "file MB", "step s");
    const auto report = [&](const char *step) {
        const std::vector<qint64> kib = memoryKiB();
        std::printf("%-34s %9.1f %9.1f %9.1f %9.1f %9.2f\n", step, kib[0] / 1024.0, kib[1] / 1024.0, kib[2] / 1024.0,
                    kib[3] / 1024.0, timer.nsecsElapsed() / 1e9);
        std::fflush(stdout);
        timer.restart();
    };
    report("started (no file)");

    DovlinWidget *document = nullptr;
    double loadMs = 0, paintMs = 0;
    if (!openAndPaint(app, path, document, loadMs, paintMs))
        return 1;
    report("opened, Zoom Full, first paint");

    Dovlin_NameWidget *tree = document->nameWidget();
    Dovlin_ShapeWidget *canvas = document->shapeWidget();
    // Expand All works on the whole tree when no line is selected.
    tree->clearSelection();
    tree->expandAll();
    QCoreApplication::processEvents();
    tree->viewport()->grab();
    canvas->grab();
    report("Expand All");

    QScrollBar *bar = tree->verticalScrollBar();
    int pages = 0;
    for (int value = bar->minimum();; value += qMax(1, bar->pageStep())) {
        bar->setValue(qMin(value, bar->maximum()));
        QCoreApplication::processEvents();
        tree->viewport()->grab();
        canvas->grab();
        ++pages;
        if (value >= bar->maximum())
            break;
    }
    char scrolled[64];
    std::snprintf(scrolled, sizeof scrolled, "every line painted (%d pages)", pages);
    report(scrolled);

    const Dovlin_Hierarchy *busiest = nullptr;
    QTreeWidgetItem *line = busiestLine(document, busiest);
    if (!line) {
        std::fprintf(stderr, "no line of a signal to search\n");
        return 1;
    }
    QString outcome;
    QObject::connect(document, &DovlinWidget::statusMessage, [&outcome](const QString &text) { outcome = text; });
    tree->setCurrentItem(line);
    document->valueBar()->activate();
    QComboBox *comparison = document->valueBar()->comparison();
    comparison->setCurrentIndex(comparison->findData(int(Dovlin_ValueSearch::Unknown)));
    document->valueBar()->findNext();
    QCoreApplication::processEvents();
    canvas->grab();
    report("value search (is unknown, next)");
    std::printf("searched %s (%lld events): %s\n", qPrintable(busiest->m_Name),
                static_cast<long long>(busiest->GetSignal()->GetnEvent()), qPrintable(outcome));
    return 0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs this program with --first in fresh processes, then with --memory.
int driver(const QString &path, int runs)
{
    QFile warm(path);
    if (!warm.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s: %s\n", qPrintable(path), qPrintable(warm.errorString()));
        return 1;
    }
    while (!warm.read(1 << 24).isEmpty()) {
    }
    std::vector<double> paints, loads;
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--first"), path});
        if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
            return 1;
        const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
        paints.push_back(fields.value(0).toDouble());
        loads.push_back(fields.value(1).toDouble());
        std::printf("run %d: first waveform after %.0f ms (loadFile %.0f ms)\n", run + 1, paints.back(), loads.back());
        std::fflush(stdout);
    }
    std::printf("first waveform, median of %d: %.0f ms (loadFile %.0f ms)\n\n", runs, median(paints), median(loads));
    std::fflush(stdout);
    QProcess memory;
    memory.setProcessChannelMode(QProcess::ForwardedChannels);
    memory.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--memory"), path});
    return memory.waitForFinished(-1) && memory.exitStatus() == QProcess::NormalExit ? memory.exitCode() : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && (std::strcmp(argv[1], "--first") == 0 || std::strcmp(argv[1], "--memory") == 0)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        App app(argc, argv);
        const QString path = QString::fromLocal8Bit(argv[2]);
        return std::strcmp(argv[1], "--first") == 0 ? firstRun(app, path) : memoryRun(app, path);
    }
    if (argc < 2 || argc > 3 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: bench_viewer FILE [runs] | --first FILE | --memory FILE\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    const int runs = argc > 2 ? QByteArray(argv[2]).toInt() : 3;
    return driver(QString::fromLocal8Bit(argv[1]), qMax(1, runs));
}
