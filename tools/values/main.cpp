// dovlin-values: prints the value text of every signal and bus of a wave file at given times,
// as the name tree shows it, so that what the viewer shows can be checked against the dump.
//
//   dovlin-values FILE TIME... [--radix NAME]   (binary, hex, octal, unsigned, signed, names)
//                                               (--help, --version)
//
// FILE is a wave file, or a VCD or FST file, converted beside it first unless a wave file there is not
// older than it, as the viewer does. One line per
// time and node: the time in the file's units, a tab, the node's dotted path, a tab, and its
// value text without leading and trailing blanks (empty where it has no value). Scopes get no
// line. Exit status: 0 printed, 1 the file could not be read, 2 bad arguments.
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Utilities.h"
#include "Dovlin_VcdImport.h"
#include "streamreporter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

QString radixNames()
{
    QStringList names;
    for (const Dovlin_RadixFormat &format : Dovlin_RadixFormats())
        names << QLatin1String(format.m_Name);
    return names.join(QLatin1Char('|'));
}

int usage(const QString &problem)
{
    fprintf(stderr, "dovlin-values: %s\nusage: dovlin-values FILE TIME... [--radix %s]\n",
            qUtf8Printable(problem), qUtf8Printable(radixNames()));
    return 2;
}

int help()
{
    printf("Usage: dovlin-values [options] FILE TIME...\n"
           "Prints the value of every signal and bus of FILE at each TIME, as the viewer's name tree shows it:\n"
           "one line per time and node, with the time in the file's units, the node's dotted path and its\n"
           "value text, separated by tabs. FILE is a wave file (.dvn), or a VCD or FST file, converted beside\n"
           "it first unless a wave file there holds it as it is.\n"
           "\n"
           "Options:\n"
           "  --radix <name>  Show the values in radix <name>: %s.\n"
           "  -h, --help      Displays help on commandline options.\n"
           "  -v, --version   Displays version information.\n"
           "\n"
           "Arguments:\n"
           "  FILE            The wave file or dump to read.\n"
           "  TIME            A time in the file's units.\n"
           "\n"
           "Exit status: 0 printed, 1 the file could not be read, 2 bad arguments.\n",
           qUtf8Printable(radixNames()));
    return fflush(stdout) == 0 ? 0 : 1;
}

struct Line
{
    Dovlin_Hierarchy *m_Node;
    QByteArray m_Path;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    // The viewer's name: a wave file cached for want of room beside its dump is found by either.
    QCoreApplication::setApplicationName(QStringLiteral("dovlin"));
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    QString file;
    std::vector<qint64> times;
    int radix = 0;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return help();
        if (argument == QLatin1String("--version") || argument == QLatin1String("-v")) {
            printf("dovlin-values %s\n", DOVLIN_VERSION);
            return fflush(stdout) == 0 ? 0 : 1;
        }
        if (argument == QLatin1String("--radix")) {
            const QString name = i + 1 < arguments.size() ? arguments[++i] : QString();
            const Dovlin_RadixFormat *format = Dovlin_FindRadix(name);
            if (!format)
                return usage(QStringLiteral("unknown radix '%1'").arg(name));
            radix = format->m_Code;
        } else if (file.isEmpty()) {
            file = argument;
        } else {
            bool ok = false;
            times.push_back(argument.toLongLong(&ok));
            // Digits that make no 64-bit number lie past the largest time a file can hold.
            static const QRegularExpression digits(QStringLiteral("^[-+]?[0-9]+$"));
            if (!ok && digits.match(argument).hasMatch())
                return usage(QStringLiteral("the time '%1' is out of range").arg(argument));
            if (!ok)
                return usage(QStringLiteral("the time '%1' is not a whole number").arg(argument));
        }
    }
    if (file.isEmpty() || times.empty())
        return usage(QStringLiteral("a file and at least one time are needed"));

    QString wavePath = file;
    // A failed load may leave a model partly filled: each try gets a new one.
    auto model = std::make_unique<Dovlin_FileManager>();
    bool loaded = false;
    // As the viewer does: a wave file converted from the dump as it is holds it, any other is made again.
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QLatin1String("vcd") || suffix == QLatin1String("fst")) {
        wavePath = Dovlin_VcdImport::UpToDateWaveFile(file);
        loaded = !wavePath.isEmpty() && model->Load(wavePath);
        if (!loaded) {
            model = std::make_unique<Dovlin_FileManager>();
            Dovlin_StreamReporter reporter;
            Dovlin_VcdImport import(&reporter);
            import.SetLimits(Dovlin_ImportLimits::FromEnvironment());
            if (!import.Convert(file))
                return 1;
            wavePath = import.WaveFileName();
        }
    }
    if (!loaded && !model->Load(wavePath)) {
        fprintf(stderr, "dovlin-values: cannot read %s: %s\n", qUtf8Printable(wavePath),
                qUtf8Printable(model->ErrorString()));
        return 1;
    }

    // Scopes only lend their names to the paths: a bus or a signal gets a line.
    std::vector<Line> lines;
    model->VisitDottedPaths([&lines](Dovlin_Hierarchy *node, const QString &path) {
        const auto *composite = dynamic_cast<Dovlin_CompositeHierarchy *>(node);
        if (!composite || composite->IsBus())
            lines.push_back({node, path.toUtf8()});
    });
    for (const qint64 time : times) {
        for (const Line &line : lines) {
            if (radix)
                line.m_Node->m_Radix = radix;
            const QByteArray text = line.m_Node->GetSignalState(time).trimmed().toUtf8();
            printf("%lld\t%s\t%s\n", static_cast<long long>(time), line.m_Path.constData(), text.constData());
        }
    }
    return fflush(stdout) == 0 && !ferror(stdout) ? 0 : 1;
}
