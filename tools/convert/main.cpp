// dovlin-convert: converts VCD files to wave files from the command line.
//
//   dovlin-convert IN.vcd [-o OUT.dvn] [--max-signals N] [--memory-budget SIZE]
//
// The wave file goes next to the dump (same name, suffix .dvn), or to the viewer's cache folder
// when it cannot be written there, unless -o names it. Events beyond the memory budget (a quarter
// of the physical memory unless SIZE, such as 512M or 2G, says otherwise) wait in a temporary
// file. Errors and
// warnings go to standard error, a summary line to standard output. Exit status: 0 converted,
// 1 not converted, 2 bad arguments.
#include "Dovlin_VcdImport.h"
#include "streamreporter.h"

#include <QCoreApplication>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

QString timeUnit(int timeBase)
{
    static const char *const units[] = {"s", "ms", "us", "ns", "ps", "fs"};
    if (timeBase <= 0 && timeBase >= -15 && timeBase % 3 == 0)
        return QStringLiteral("1 %1").arg(QLatin1String(units[-timeBase / 3]));
    return QStringLiteral("1e%1 s").arg(timeBase);
}

int usage()
{
    fprintf(stderr, "usage: dovlin-convert IN.vcd [-o OUT.dvn] [--max-signals N] [--memory-budget SIZE]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    // The viewer's name: a wave file cached for want of room beside its dump is found by either.
    QCoreApplication::setApplicationName(QStringLiteral("dovlin"));
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    QString input, output;
    qint64 maxSignals = 0;
    qint64 memoryBudget = -1;
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("-o") && i + 1 < arguments.size() && output.isEmpty())
            output = arguments[++i];
        else if (arguments[i] == QLatin1String("--max-signals") && i + 1 < arguments.size() && maxSignals == 0) {
            bool ok = false;
            maxSignals = arguments[++i].toLongLong(&ok);
            if (!ok || maxSignals <= 0)
                return usage();
        }
        else if (arguments[i] == QLatin1String("--memory-budget") && i + 1 < arguments.size() && memoryBudget < 0) {
            if (!Dovlin_VcdImport::ParseSize(arguments[++i], memoryBudget))
                return usage();
        }
        else if (!arguments[i].startsWith('-') && input.isEmpty())
            input = arguments[i];
        else
            return usage();
    }
    if (input.isEmpty())
        return usage();

    Dovlin_StreamReporter reporter;
    Dovlin_VcdImport import(&reporter);
    if (maxSignals > 0)
        import.SetMaxSignals(maxSignals);
    if (memoryBudget >= 0)
        import.SetMemoryBudget(memoryBudget);
    if (!import.Convert(input, output))
        return 1;
    const Dovlin_ImportStats &stats = import.Stats();
    const double megabytes = stats.m_Bytes / 1e6;
    printf("%s -> %s: %d signals, %d nodes, %lld events, time unit %s, %.3f s, %.1f MB/s\n", qUtf8Printable(input),
           qUtf8Printable(import.WaveFileName()), stats.m_nSignal, stats.m_nHierarchy,
           static_cast<long long>(stats.m_nEvent), qUtf8Printable(timeUnit(stats.m_TimeBase)), stats.m_Seconds,
           stats.m_Seconds > 0 ? megabytes / stats.m_Seconds : 0.0);
    // A summary lost to a full disk behind a redirection is a failure too, though the wave file is there.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        fprintf(stderr, "dovlin-convert: cannot write the summary to standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
