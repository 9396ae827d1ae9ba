// Broken and hostile inputs for the VCD import and the wave-file loader: each is refused with a
// reason or loads safely. Imports run in a child watched for memory, so a fault fails the test.
// Fuzz findings (tests/data/fuzz: dumps as *.dump, so the corpus test skips them) are replayed.
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_ImportReporter.h"
#include "Dovlin_Signals.h"
#include "Dovlin_Utilities.h"
#include "Dovlin_VcdImport.h"
#include "testfiles.h"
#include "tst_vcdimport_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <limits>

namespace {

// Peak memory and time of a child import: the largest case here needs a fraction of either.
constexpr qint64 MemoryBudgetKiB = 1536 * 1024;
constexpr int HangMilliseconds = 240 * 1000;

class PrintingReporter : public Dovlin_ImportReporter
{
public:
    void Error(const QString &text) override { std::printf("error: %s\n", qUtf8Printable(text)); }
    void Warning(const QString &text) override { std::printf("warning: %s\n", qUtf8Printable(text)); }
};

// The child: prints the import's messages, then "converted" or "refused: <reason>".
int ImportChild(const char *vcd, const char *wave)
{
    PrintingReporter reporter;
    Dovlin_VcdImport import(&reporter);
    if (import.Convert(QString::fromLocal8Bit(vcd), QString::fromLocal8Bit(wave)))
        std::printf("converted\n");
    else
        std::printf("refused: %s\n", qUtf8Printable(import.ErrorString()));
    return 0;
}

qint64 PeakKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

struct ImportResult
{
    QString m_Fault; // empty when the child finished
    QString m_Output;
    bool m_Converted = false;
    QString m_Reason;
};

ImportResult ImportInChild(const QString &vcdPath, const QString &wavePath)
{
    ImportResult result;
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--import"), vcdPath, wavePath});
    if (!child.waitForStarted()) {
        result.m_Fault = QStringLiteral("the child did not start: %1").arg(child.errorString());
        return result;
    }
    QElapsedTimer timer;
    timer.start();
    qint64 peak = 0;
    while (!child.waitForFinished(20)) {
        peak = qMax(peak, PeakKiB(child.processId()));
        if (peak > MemoryBudgetKiB || timer.elapsed() > HangMilliseconds) {
            child.kill();
            child.waitForFinished();
            result.m_Fault = peak > MemoryBudgetKiB
                                 ? QStringLiteral("the import took more than %1 MiB").arg(MemoryBudgetKiB / 1024)
                                 : QStringLiteral("the import hung");
            return result;
        }
    }
    result.m_Output = QString::fromUtf8(child.readAll());
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        result.m_Fault = QStringLiteral("the import crashed (exit %1): %2").arg(child.exitCode()).arg(result.m_Output.right(2000));
        return result;
    }
    const QStringList lines = result.m_Output.split('\n', Qt::SkipEmptyParts);
    const QString last = lines.value(lines.size() - 1);
    result.m_Converted = last == QLatin1String("converted");
    if (last.startsWith(QLatin1String("refused: ")))
        result.m_Reason = last.mid(9);
    else if (!result.m_Converted)
        result.m_Fault = QStringLiteral("unexpected output: %1").arg(result.m_Output.right(2000));
    return result;
}

using namespace TestFiles;

// Asks every node, in every radix the name tree offers, what the name tree and the canvas ask:
// this checks that nothing faults. The values are checked by CheckNode against the dump's text.
void AskEveryValue(Dovlin_FileManager &model)
{
    const qint64 end = model.GetEndTime();
    const qint64 afterEnd = end == std::numeric_limits<qint64>::max() ? end : end + 1;
    for (int h = 0; h < model.GetnHierarchy() && h < 4096; ++h) {
        Dovlin_Hierarchy *node = model.GetHierarchy(h);
        // The radix is saved with the file: it is put back.
        const int shown = node->m_Radix;
        for (qint64 time : {qint64(0), end, afterEnd}) {
            for (const Dovlin_RadixFormat &radix : Dovlin_RadixFormats()) {
                node->m_Radix = radix.m_Code;
                node->GetSignalState(time);
            }
            node->m_Radix = shown;
            node->GetNextChangeTime(time);
            node->GetPrevChangeTime(time);
        }
        node->ChangeTimes();
    }
}

// The little-endian fields of a wave file, for building damaged ones.
struct WaveBytes
{
    template <typename T> WaveBytes &Int(T value)
    {
        char bytes[sizeof(T)];
        qToLittleEndian(value, bytes);
        return Raw(QByteArray(bytes, sizeof(T)));
    }
    WaveBytes &Int32(qint32 value) { return Int(value); }
    WaveBytes &Raw(const QByteArray &bytes) { return m_Bytes += bytes, *this; }
    WaveBytes &Name(const QByteArray &name) { return Int32(qint32(name.size())).Raw(name); }
    // A node record after its name: level, shown, digital, then the signal index of a scalar.
    WaveBytes &Scalar(const QByteArray &name, qint32 level, qint32 signal)
    {
        return Int32(1).Name(name).Int32(level).Int32(1).Int32(1).Int32(signal);
    }
    // A composite record: its child count, then the children.
    WaveBytes &Composite(const QByteArray &name, qint32 level, const QList<qint32> &children)
    {
        Int32(2).Name(name).Int32(level).Int32(1).Int32(1).Int32(1).Int32(qint32(children.size()));
        for (qint32 child : children)
            Int32(child);
        return *this;
    }
    // One event block of a single box: the sentinel, then the given (time, value) events.
    WaveBytes &Events(const QList<QPair<qint64, qint64>> &events)
    {
        Int32(qint32(events.size())).Int32(0).Int<qint64>(-1).Int<qint64>(0);
        for (int slot = 0; slot < 31; ++slot)
            Int(slot < events.size() ? events[slot].first : -1).Int(slot < events.size() ? events[slot].second : 0);
        return *this;
    }
    QByteArray m_Bytes;
};

// Time base -9, one signal of the given type code, and a scope "top" holding the leaf "s".
WaveBytes OneSignal(qint32 typeCode)
{
    return WaveBytes().Int32(-9).Int32(1).Int32(typeCode).Int32(2).Composite("top", 0, {1}).Scalar("s", 1, 0);
}

const QByteArray Header("$timescale 1ns $end\n$scope module top $end\n");

QByteArray Dump(const QByteArray &declarations, const QByteArray &changes = "#0\n1!\n")
{
    return Header + declarations + "$upscope $end\n$enddefinitions $end\n" + changes;
}

void Row(const char *name, const QByteArray &bytes, const QString &reason, const QString &node = QString(),
         const QString &value = QString())
{
    QTest::newRow(name) << bytes << reason << node << value;
}

// The node at a dotted path shows value at time 0, unless value is null.
void CheckNode(const Dovlin_FileManager &model, const QString &node, const QString &value)
{
    Dovlin_Hierarchy *found = VcdTesting::nodesByPath(model).value(node);
    QVERIFY2(found, qPrintable(node.left(100)));
    if (!value.isNull())
        QCOMPARE(found->GetSignalState(0).trimmed(), value);
}

// The reason of a fuzz finding's row: it may be refused with any reason, or load.
const QString AnyOutcome = QStringLiteral("*");

void AddFindings(const QString &pattern)
{
    const QDir findings(QStringLiteral(DOVLIN_TEST_DATA "/fuzz"));
    const QStringList files = findings.entryList({pattern}, QDir::Files);
    QVERIFY(!files.isEmpty());
    for (const QString &file : files)
        Row(qPrintable("fuzz finding " + file), ReadAll(findings.filePath(file)), AnyOutcome);
}

// Loads from a buffer and, as a document does, from a file, with the same verdict; a loaded model
// answers every query and saves bytes that load and save again unchanged, left in saved.
void LoadEveryWay(const QByteArray &bytes, Dovlin_FileManager &model, QByteArray &saved)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("loaded.dvn"));
    QVERIFY(WriteFile(path, bytes));
    Dovlin_FileManager mapped; // maps the file and keeps its events in it, as a document does
    int format = 0;
    const bool loaded = LoadBytes(model, bytes, &format);
    QCOMPARE(mapped.Load(path), loaded);
    QCOMPARE(mapped.ErrorString(), model.ErrorString());
    if (!loaded)
        return;
    QVERIFY(model.ErrorString().isEmpty());
    AskEveryValue(model);
    AskEveryValue(mapped);
    saved = SaveBytes(model, format);
    // A box found damaged by the questions is not written back from half-read events.
    if (model.HasDamage()) {
        QVERIFY(saved.isEmpty() && model.ErrorString().contains("section BOXS"));
        return;
    }
    QVERIFY(!saved.isEmpty());
    QVERIFY(SaveBytes(mapped, format) == saved);
    Dovlin_FileManager again;
    QVERIFY2(LoadBytes(again, saved), qPrintable(again.ErrorString()));
    QCOMPARE(SaveBytes(again, format), saved);
    // The other format holds the model or refuses it; what it holds loads and saves again.
    const int other = format == Dovlin_WaveFormat::Format1 ? Dovlin_WaveFormat::Format2 : Dovlin_WaveFormat::Format1;
    const QByteArray converted = SaveBytes(model, other);
    Dovlin_FileManager reloaded;
    QVERIFY(converted.isEmpty() || (LoadBytes(reloaded, converted) && SaveBytes(reloaded, other) == converted));
}

} // namespace

class tst_Malformed : public QObject
{
    Q_OBJECT

private slots:
    void vcdImport_data()
    {
        QTest::addColumn<QByteArray>("vcd");
        QTest::addColumn<QString>("reason"); // part of the refusal; empty: the dump must import
        QTest::addColumn<QString>("node");   // a dotted path the import must have (names cut at NUL)
        QTest::addColumn<QString>("value");  // what that node shows at time 0, read off the dump's text

        const QByteArray a("$var wire 1 ! a $end\n");
        QByteArray junk(64 * 1024, Qt::Uninitialized);
        QRandomGenerator(20261206).fillRange(reinterpret_cast<quint32 *>(junk.data()), junk.size() / 4);
        Row("binary junk", junk, "syntax error");
        Row("NUL byte in a variable name", Dump(QByteArrayLiteral("$var wire 1 ! a\0b $end\n")), "", "top.a", "1");
        Row("NUL byte in a scope name", QByteArrayLiteral("$scope module t\0p $end\n") + a + "$upscope $end\n#0\n1!\n", "", "t.a", "1");
        Row("invalid UTF-8 in a name", Dump("$var wire 1 ! a\xff\xfe\xc3 $end\n"), "", QString::fromLatin1("top.a\xff\xfe\xc3"), "1");
        Row("string values with broken escapes and bytes",
            Dump("$var string 0 ! s $end\n", "#0\nsab\\ !\ns\\x4 !\ns\\400\\777 !\ns\xff\xfe\\0 !\ns\\000 !\ns !\n"), "", "top.s");
        Row("10 MB name", Dump("$var wire 1 ! " + QByteArray(10 << 20, 'n') + " $end\n"), "", "top." + QString(10 << 20, 'n'), "1");
        Row("10 MB identifier code", Dump(a, "#0\n1" + QByteArray(10 << 20, '!') + "\n"), "", "top.a", "");
        Row("word longer than the scanner takes", "$comment " + QByteArray(20 << 20, 'x') + " $end\n", "a word longer than");
        Row("zero width", Dump("$var wire 0 ! z $end\n$var wire 1 \" a $end\n", "#0\nb0 !\n1\"\n"), "", "top.a", "1");
        Row("widest vector", Dump("$var wire 65536 ! w $end\n", "#0\nb1 !\n#5\nbx !\n"), "", "top.w.w[0]", "1");
        Row("width of 2^32", Dump("$var wire 4294967296 ! w $end\n", "#0\nb1 !\n"), "holds no signals");
        Row("width beyond 64 bits", Dump("$var wire 18446744073709551616 ! w $end\n", "#0\nb1 !\n"), "invalid variable size");
        Row("negative width", Dump("$var wire -1 ! w $end\n", "#0\nb1 !\n"), "invalid variable size");
        Row("integer of 2^31 bits", Dump("$var integer 2147483648 ! i $end\n", "#0\nb1 !\n"), "holds no signals");
        Row("bit indices at the 32-bit limit",
            Dump("$var wire 8 ! a [2147483647:2147483640] $end\n$var wire 4 \" b [-1:-4] $end\n", "#0\nb1 !\nb1 \"\n"), "",
            "top.a.a[2147483640]", "1");
        Row("index beyond 32 bits", Dump("$var wire 2 ! a [99999999999:0] $end\n", "#0\nb1 !\n"), "", "top");
        Row("zero time unit", "$timescale 0ns $end\n$scope module top $end\n" + a + "$upscope $end\n#0\n1!\n", "invalid timescale");
        // The tree's levels count the scopes and the variable inside the innermost.
        const auto levels = [&a](int scopes, const QByteArray &variable = {}, const QByteArray &changes = "#0\n1!\n") {
            return QByteArray("$scope module s $end\n").repeated(scopes) + (variable.isEmpty() ? a : variable)
                   + QByteArray("$upscope $end\n").repeated(scopes) + changes;
        };
        Row("100 000 nested scopes", levels(100000), "nested more than 1024 levels deep");
        Row("1024 levels", levels(1023), "", QByteArray("s.").repeated(1023) + "a", "1");
        Row("1025 levels", levels(1024), "line 1025: scopes and variables nested more than 1024 levels deep");
        // Its vector takes the integer's place at level 1023: the bits would lie one level too deep.
        Row("integer at the deepest level turning into a vector", levels(1023, "$var integer 8 ! i $end\n", "#0\nb1 !\n#1\nbx !\n"),
            "the bits of 'i' would nest more than 1024 levels deep");
        AddFindings(QStringLiteral("*.dump"));
    }

    void vcdImport()
    {
        QFETCH(QByteArray, vcd);
        QFETCH(QString, reason);
        QFETCH(QString, node);
        QFETCH(QString, value);

        QTemporaryDir dir;
        const QString vcdPath = dir.filePath(QStringLiteral("in.vcd"));
        const QString wavePath = dir.filePath(QStringLiteral("in.dvn"));
        QVERIFY(WriteFile(vcdPath, vcd));
        const ImportResult result = ImportInChild(vcdPath, wavePath);
        QVERIFY2(result.m_Fault.isEmpty(), qPrintable(result.m_Fault));
        if (reason == AnyOutcome ? !result.m_Converted : !reason.isEmpty()) {
            QVERIFY2(!result.m_Converted, qPrintable(result.m_Output.right(2000)));
            QVERIFY2(!result.m_Reason.isEmpty() && (reason == AnyOutcome || result.m_Reason.contains(reason)),
                     qPrintable(result.m_Reason));
            QVERIFY(!QFile::exists(wavePath));
            return;
        }
        QVERIFY2(result.m_Converted, qPrintable(result.m_Output.right(2000)));

        const QByteArray written = ReadAll(wavePath);
        Dovlin_FileManager model;
        QByteArray saved;
        LoadEveryWay(written, model, saved);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(!saved.isEmpty(), qPrintable(model.ErrorString()));
        QVERIFY2(saved == written, "the wave file does not read back as it was written");
        if (!node.isEmpty())
            CheckNode(model, node, value);
    }

    // Refusals of single damaged fields are in tst_wavefile; here files that take building.
    void waveFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason"); // part of the refusal; empty: the file must load
        QTest::addColumn<QString>("node");   // a dotted path a file that loads has
        QTest::addColumn<QString>("value");  // what that node shows at time 0, as the file's bytes hold it

        const qint64 min = std::numeric_limits<qint64>::min(), max = std::numeric_limits<qint64>::max();
        Row("negative and extreme times", OneSignal(2).Events({{min, 1}, {-5, 2}, {max, 3}}).m_Bytes, "", "top.s");
        Row("state codes outside the type", OneSignal(16).Events({{0, 1000}, {5, -5}, {7, qint64(1) << 40}}).m_Bytes, "", "top.s");
        // A chain of scopes with the levels stored right, or all stored as 0: the links give the depth.
        const auto chain = [](int scopes, bool levelsStored) {
            WaveBytes bytes = WaveBytes().Int32(0).Int32(0).Int32(scopes);
            for (int i = 0; i < scopes; ++i)
                bytes.Composite("s", levelsStored ? i : 0, i + 1 < scopes ? QList<qint32>{i + 1} : QList<qint32>{});
            return bytes.m_Bytes;
        };
        Row("100 000 nested scopes", chain(100000, true), "node 1024 is nested more than 1024 levels deep");
        Row("100 000 nested scopes stored as level 0", chain(100000, false), "nested more than 1024 levels deep");
        Row("1024 levels", chain(1024, true), "", QByteArray("s.").repeated(1023) + "s");
        Row("1025 levels", chain(1025, true), "node 1024 is nested more than 1024 levels deep");
        AddFindings(QStringLiteral("*.dvn"));
    }

    void waveFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QFETCH(QString, node);
        QFETCH(QString, value);

        Dovlin_FileManager model;
        QByteArray saved;
        LoadEveryWay(bytes, model, saved);
        if (QTest::currentTestFailed())
            return;
        const bool loaded = !saved.isEmpty();
        if (reason == AnyOutcome) {
            QVERIFY(loaded || !model.ErrorString().isEmpty());
        } else if (!reason.isEmpty()) {
            QVERIFY(!loaded);
            QVERIFY2(model.ErrorString().contains(reason), qPrintable(model.ErrorString()));
        } else {
            QVERIFY2(loaded, qPrintable(model.ErrorString()));
            QVERIFY(!node.isEmpty());
            CheckNode(model, node, value);
        }
    }
};

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--import") == 0)
        return ImportChild(argv[2], argv[3]);
    QCoreApplication application(argc, argv);
    tst_Malformed test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_malformed.moc"
