// dovlin-convert: converts VCD and FST files to wave files from the command line.
//
//   dovlin-convert IN.vcd|IN.fst [-o OUT.dvn] [--format 1|2] [--max-signals N] [--memory-budget SIZE]
//                                [--threads N]                                   (--help, --version)
//
// The wave file goes next to the dump (same name, suffix .dvn; x-fst.dvn for x.fst), or to the
// viewer's cache folder when it cannot be written there, unless -o names it. Events are packed in memory; past the memory
// budget (a quarter of the physical memory unless SIZE, such as 512M or 2G, says otherwise) they
// wait in a temporary file. The wave file is of format 2 unless --format 1 asks for the first
// layout. Value changes are stored by one thread a core beside the parser unless --threads says how
// many (1: all on one thread); the wave file is the same for any number. The environment variables
// DOVLIN_MAX_SIGNALS, DOVLIN_MEMORY_BUDGET and DOVLIN_THREADS stand for options not given.
// Errors and warnings go to standard error, a summary line to standard output. Exit status: 0 converted,
// 1 not converted, 2 bad arguments.
#include "Dovlin_Utilities.h"
#include "Dovlin_VcdImport.h"
#include "streamreporter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

int usage(const QString &reason)
{
    fprintf(stderr,
            "dovlin-convert: %s\nusage: dovlin-convert IN.vcd|IN.fst [-o OUT.dvn] [--format 1|2] [--max-signals N] "
            "[--memory-budget SIZE] [--threads N]\n",
            qUtf8Printable(reason));
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    // The viewer's name: a wave file cached for want of room beside its dump is found by either.
    QCoreApplication::setApplicationName(QStringLiteral("dovlin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DOVLIN_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Converts a VCD or FST file to a Dovlin wave file, next to the dump unless -o names it."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("IN.vcd|IN.fst"), QStringLiteral("The dump to convert."));
    const QCommandLineOption outputOption(QStringLiteral("o"), QStringLiteral("Write the wave file to <file>."),
                                          QStringLiteral("file"));
    const QCommandLineOption maxSignalsOption(
        QStringLiteral("max-signals"), QStringLiteral("Refuse dumps that declare more than <n> signals."),
        QStringLiteral("n"));
    const QCommandLineOption budgetOption(
        QStringLiteral("memory-budget"),
        QStringLiteral("Keep events in memory up to <size> (such as 512M or 2G; a quarter of the memory unless "
                       "given), in a temporary file beyond it."),
        QStringLiteral("size"));
    const QCommandLineOption formatOption(
        QStringLiteral("format"),
        QStringLiteral("Write the wave file in format <n>: 2 (packed, the default) or 1 (the first layout, which holds "
                       "no strings and Latin-1 names only)."),
        QStringLiteral("n"));
    const QCommandLineOption threadsOption(
        QStringLiteral("threads"),
        QStringLiteral("Store value changes on <n> threads beside the parser (one a core unless given; 1 does all on "
                       "one thread)."),
        QStringLiteral("n"));
    parser.addOptions({outputOption, formatOption, maxSignalsOption, budgetOption, threadsOption});
    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printf("%s", qUtf8Printable(parser.helpText()));
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        printf("dovlin-convert %s\n", DOVLIN_VERSION);
        return 0;
    }
    const QStringList inputs = parser.positionalArguments();
    if (inputs.size() != 1)
        return usage(inputs.isEmpty() ? QStringLiteral("no dump named") : QStringLiteral("one dump at a time"));
    if (parser.values(outputOption).size() > 1 || parser.values(maxSignalsOption).size() > 1
        || parser.values(budgetOption).size() > 1 || parser.values(formatOption).size() > 1
        || parser.values(threadsOption).size() > 1)
        return usage(QStringLiteral("an option given twice"));
    const QString input = inputs.first();
    const QString output = parser.value(outputOption);
    Dovlin_ImportLimits limits = Dovlin_ImportLimits::FromEnvironment();
    if (parser.isSet(maxSignalsOption)) {
        bool ok = false;
        limits.m_MaxSignals = parser.value(maxSignalsOption).toLongLong(&ok);
        if (!ok || limits.m_MaxSignals <= 0)
            return usage(QStringLiteral("--max-signals takes a positive number"));
    }
    if (parser.isSet(threadsOption)) {
        bool ok = false;
        limits.m_Threads = parser.value(threadsOption).toInt(&ok);
        if (!ok || limits.m_Threads <= 0)
            return usage(QStringLiteral("--threads takes a positive number"));
    }
    int format = 2;
    if (parser.isSet(formatOption)) {
        const QString value = parser.value(formatOption);
        if (value != QLatin1String("1") && value != QLatin1String("2"))
            return usage(QStringLiteral("--format takes 1 or 2"));
        format = value.toInt();
    }
    if (parser.isSet(budgetOption) && !Dovlin_VcdImport::ParseSize(parser.value(budgetOption), limits.m_MemoryBudget))
        return usage(QStringLiteral("--memory-budget takes a size such as 512M or 2G"));

    Dovlin_StreamReporter reporter;
    Dovlin_VcdImport import(&reporter);
    import.SetLimits(limits);
    import.SetFormat(format);
    if (!import.Convert(input, output))
        return 1;
    const Dovlin_ImportStats &stats = import.Stats();
    const double megabytes = stats.m_Bytes / 1e6;
    printf("%s -> %s: %d signals, %d nodes, %lld events, time unit %s, %.3f s, %.1f MB/s\n", qUtf8Printable(input),
           qUtf8Printable(import.WaveFileName()), stats.m_nSignal, stats.m_nHierarchy,
           static_cast<long long>(stats.m_nEvent), qUtf8Printable(TimeUnitText(stats.m_TimeBase)), stats.m_Seconds,
           stats.m_Seconds > 0 ? megabytes / stats.m_Seconds : 0.0);
    // A summary lost to a full disk behind a redirection is a failure too, though the wave file is there.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        fprintf(stderr, "dovlin-convert: cannot write the summary to standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
