// Finding signals and values on large files.
//
// Filter: a name tree of about 100 000 nodes (1000 tiles of 99 nodes: scalars and 8- to 32-bit
// buses with their bits), each pattern typed one character at a time into a document's filter
// line; per keystroke, the time until the tree is filtered (without waiting for the pause the line
// waits for while keys come) and the window drawn again, and the model's matching alone.
// Values: signals of 10^7 changes (an integer counter, a toggling bit, an 8-bit counting bus),
// built in memory; each search runs across the whole file and finds nothing, or finds the last or
// first change, so that every event is passed over once.
//
// Usage: bench_find [filter|values]   (both without an argument)

#include "DovlinWidget.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_ImportReporter.h"
#include "Dovlin_NameFilter.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_SignalFilter.h"
#include "Dovlin_Signals.h"
#include "Dovlin_ValueSearch.h"
#include "Dovlin_VcdImport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class QuietReporter : public Dovlin_ImportReporter
{
public:
    void Error(const QString &text) override { fprintf(stderr, "%s\n", qPrintable(text)); }
    void Warning(const QString &) override {}
};

QByteArray tiles(int count)
{
    QByteArray text("$timescale 1ns $end\n$scope module top $end\n");
    int code = 0;
    const auto var = [&](int width, const char *name) {
        text += "$var wire " + QByteArray::number(width) + " v" + QByteArray::number(code++) + " " + name;
        text += width > 1 ? " [" + QByteArray::number(width - 1) + ":0] $end\n" : " $end\n";
    };
    for (int t = 0; t < count; ++t) {
        text += "$scope module t[" + QByteArray::number(t) + "] $end\n";
        var(16, "lfsr");
        var(8, "count");
        var(32, "state");
        var(32, "data");
        for (const char *name : {"wrap", "clk", "rst", "en", "valid", "ready"})
            var(1, name);
        text += "$upscope $end\n";
    }
    text += "$upscope $end\n$enddefinitions $end\n#0\n";
    for (int i = 0; i < code; ++i)
        text += "bx v" + QByteArray::number(i) + "\n";
    text += "#10\n";
    return text;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

int benchFilter()
{
    QTemporaryDir dir;
    const QString vcd = dir.filePath("tiles.vcd");
    QFile file(vcd);
    if (!file.open(QIODevice::WriteOnly) || file.write(tiles(1000)) < 0)
        return 1;
    file.close();
    QuietReporter reporter;
    Dovlin_VcdImport import(&reporter);
    if (!import.Convert(vcd))
        return 1;
    DovlinWidget document(nullptr);
    document.resize(1200, 800);
    if (!document.loadFile(import.WaveFileName()))
        return 1;
    document.show();
    QApplication::processEvents();
    printf("nodes: %d\n", document.fileManager().GetnHierarchy());
    printf("pattern                  keystrokes  matches  model ms (median, max)  whole ms (median, max)  clear ms\n");
    QLineEdit *line = document.signalFilter()->line();
    for (const QString &pattern : {QStringLiteral("wrap"), QStringLiteral("t[42]"), QStringLiteral("*co?nt"),
                                  QStringLiteral("/t\\[1[0-9]\\]\\..*wrap"), QStringLiteral("e")}) {
        std::vector<double> model, whole;
        int matches = 0;
        Dovlin_NameFilter filter;
        std::vector<unsigned char> marks;
        for (int n = 1; n <= pattern.size(); ++n) {
            QElapsedTimer timer;
            timer.start();
            if (filter.SetPattern(pattern.left(n)))
                matches = filter.Apply(document.fileManager(), marks);
            model.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            line->setText(pattern.left(n));
            document.signalFilter()->applyPending();
            document.repaint();
            QApplication::processEvents();
            whole.push_back(timer.nsecsElapsed() / 1e6);
        }
        QElapsedTimer timer;
        timer.start();
        line->clear();
        document.repaint();
        QApplication::processEvents();
        printf("%-24s %-11lld %-8d %7.1f %7.1f             %7.1f %7.1f            %.1f\n", qPrintable(pattern),
               static_cast<long long>(pattern.size()), matches, median(model), *std::max_element(model.begin(), model.end()),
               median(whole), *std::max_element(whole.begin(), whole.end()), timer.nsecsElapsed() / 1e6);
        fflush(stdout);
    }
    return 0;
}

Dovlin_ScalarHierarchy *leaf(Dovlin_FileManager &model, Dovlin_Signal *signal, const QString &name)
{
    auto *node = &model.AddNode<Dovlin_ScalarHierarchy>(name);
    node->SetSignal(signal);
    return node;
}

int benchValues()
{
    constexpr qint64 changes = 10000000;
    constexpr qint64 busChanges = 10000000;
    Dovlin_FileManager model;
    auto *counter = &model.AddSignal<Dovlin_IntSignal>();
    auto *toggle = &model.AddSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>();
    for (qint64 i = 0; i < changes; ++i) {
        counter->AddEvent(10 * i, qint64(i));
        toggle->AddEvent(10 * i, int(i % 2));
    }
    Dovlin_Hierarchy *counterNode = leaf(model, counter, "counter");
    Dovlin_Hierarchy *toggleNode = leaf(model, toggle, "toggle");
    auto *bus = &model.AddNode<Dovlin_CompositeHierarchy>("bus");
    for (int bit = 7; bit >= 0; --bit) {
        auto *signal = &model.AddSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>();
        for (qint64 i = 0; i < busChanges; ++i)
            if (i == 0 || ((i ^ (i - 1)) >> bit & 1))
                signal->AddEvent(10 * i, int(i >> bit & 1));
        bus->AddHierarchy(leaf(model, signal, QStringLiteral("bus[%1]").arg(bit)));
    }
    printf("signal            events     search                 found        ms (first, then median of 5)\n");
    struct Case
    {
        const char *signal;
        Dovlin_Hierarchy *node;
        Dovlin_ValueSearch::Compare compare;
        const char *value;
        int radix;
        bool forward;
        const char *what;
    };
    const Case cases[] = {
        {"counter", counterNode, Dovlin_ValueSearch::Equal, "-5", Dovlin_Radix::Signed, true, "= -5, forward"},
        {"counter", counterNode, Dovlin_ValueSearch::Greater, "99999999", Dovlin_Radix::Unsigned, true, "> 99999999"},
        {"counter", counterNode, Dovlin_ValueSearch::Equal, "9999999", Dovlin_Radix::Unsigned, true, "= last value"},
        {"counter", counterNode, Dovlin_ValueSearch::Equal, "0", Dovlin_Radix::Unsigned, false, "= 0, backward"},
        {"counter", counterNode, Dovlin_ValueSearch::Falls, "", Dovlin_Radix::Unsigned, true, "falls"},
        {"toggle", toggleNode, Dovlin_ValueSearch::Unknown, "", Dovlin_Radix::Binary, true, "is unknown"},
        {"toggle", toggleNode, Dovlin_ValueSearch::Equal, "z", Dovlin_Radix::Binary, false, "= Z, backward"},
        {"toggle", toggleNode, Dovlin_ValueSearch::Rises, "", Dovlin_Radix::Binary, false, "rises, backward"},
        {"bus (8 bits)", bus, Dovlin_ValueSearch::Equal, "x", Dovlin_Radix::Hexadecimal, true, "= X"},
        {"bus (8 bits)", bus, Dovlin_ValueSearch::Unknown, "", Dovlin_Radix::Hexadecimal, false, "is unknown, back"},
        {"bus (8 bits)", bus, Dovlin_ValueSearch::Equal, "0", Dovlin_Radix::Unsigned, false, "= 0, backward"},
        {"bus (8 bits)", bus, Dovlin_ValueSearch::Greater, "255", Dovlin_Radix::Unsigned, true, "> 255"},
    };
    for (const Case &c : cases) {
        Dovlin_ValueSearch search;
        if (!search.Set(c.node, c.compare, QString::fromLatin1(c.value), c.radix)) {
            fprintf(stderr, "%s\n", qPrintable(search.ErrorString()));
            return 1;
        }
        const qint64 from = c.forward ? -1 : LLONG_MAX;
        std::vector<double> times;
        qint64 found = -1;
        double first = 0;
        for (int run = 0; run <= 5; ++run) {
            QElapsedTimer timer;
            timer.start();
            found = search.Find(from, c.forward);
            const double ms = timer.nsecsElapsed() / 1e6;
            if (run == 0)
                first = ms;
            else
                times.push_back(ms);
        }
        qint64 events = 0;
        std::vector<const Dovlin_Signal *> leaves;
        c.node->CollectSignals(leaves);
        for (const Dovlin_Signal *signal : leaves)
            events += signal->GetnEvent() - 1;
        printf("%-17s %-10lld %-22s %-12lld %.1f, %.1f\n", c.signal, static_cast<long long>(events), c.what,
               static_cast<long long>(found), first, median(times));
        fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const QByteArray which = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if ((which.isEmpty() || which == "filter") && benchFilter() != 0)
        return 1;
    if ((which.isEmpty() || which == "values") && benchValues() != 0)
        return 1;
    return 0;
}
