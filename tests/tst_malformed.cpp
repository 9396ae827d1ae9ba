// Broken and hostile inputs for the VCD import and the wave-file loader, one or more per class
// of damage: each is refused with a reason or imported safely. Imports run in a child process
// that is watched for its memory and killed past a budget, so a fault shows as a failed test.
// The saved findings of the fuzz targets (tests/data/fuzz/: dumps as *.dump, so that the corpus
// test leaves them alone, and wave files as *.dvn) are replayed here as well.
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_ImportReporter.h"
#include "Dovlin_Signals.h"
#include "Dovlin_VcdImport.h"

#include <QBuffer>
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

// Peak resident memory a child import may reach; the largest legitimate case here needs a
// small fraction of it, even under AddressSanitizer.
constexpr qint64 MemoryBudgetKiB = 1536 * 1024;
// Far beyond any case here: only a hang reaches it.
constexpr int HangMilliseconds = 240 * 1000;

class PrintingReporter : public Dovlin_ImportReporter
{
public:
    void Error(const QString &, const QString &text) override { std::printf("error: %s\n", qUtf8Printable(text)); }
    void Warning(const QString &text) override { std::printf("warning: %s\n", qUtf8Printable(text)); }
};

// The child: imports argv[2] into argv[3] and prints the messages, then "converted" or
// "refused: <reason>".
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
    // Empty when the child finished; else what went wrong with it.
    QString m_Fault;
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

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool LoadBytes(Dovlin_FileManager &model, const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return model.LoadAll(&buffer);
}

// Loads as a document does: from a file, which the model maps and keeps its events in.
bool LoadFile(Dovlin_FileManager &model, const QByteArray &bytes, const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("loaded.dvn"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return model.Load(path);
}

QByteArray SaveBytes(Dovlin_FileManager &model)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return model.SaveAll(&buffer) ? bytes : QByteArray();
}

// The value text of every node at the start, the end and past the end of the file, in every
// radix, its change navigation and its merged change times: what the name tree and the canvas
// ask for. Only safety is checked; the answers for damaged files are whatever they are.
void AskEveryValue(Dovlin_FileManager &model)
{
    const qint64 end = model.GetEndTime();
    const qint64 afterEnd = end == std::numeric_limits<qint64>::max() ? end : end + 1;
    for (int h = 0; h < model.GetnHierarchy() && h < 4096; ++h) {
        Dovlin_Hierarchy *node = model.GetHierarchy(h);
        for (qint64 time : {qint64(0), end, afterEnd}) {
            for (int radix : {1, 2, 4, 8}) {
                node->m_Radix = radix;
                node->m_StateTime = -1;
                node->GetSignalState(time);
            }
            node->GetNextChangeTime(time);
            node->GetPrevChangeTime(time);
        }
        node->ChangeTimes();
    }
}

// A node by a path of names separated by '/', searched from the top-level nodes.
const Dovlin_Hierarchy *FindNode(const Dovlin_FileManager &model, const QString &path)
{
    const QStringList names = path.split('/');
    const Dovlin_Hierarchy *node = nullptr;
    for (int i = 0; i < model.GetnHierarchy() && !node; ++i)
        if (model.GetHierarchy(i)->GetParentIndex() == -1 && model.GetHierarchy(i)->GetName() == names.first())
            node = model.GetHierarchy(i);
    for (int n = 1; n < names.size() && node; ++n) {
        const auto *composite = dynamic_cast<const Dovlin_CompositeHierarchy *>(node);
        const Dovlin_Hierarchy *child = nullptr;
        for (int i = 0; composite && i < composite->GetnChild() && !child; ++i)
            if (composite->GetHierarchy(i)->GetName() == names[n])
                child = composite->GetHierarchy(i);
        node = child;
    }
    return node;
}

// The little-endian fields of a wave file, for building damaged ones.
class WaveBytes
{
public:
    WaveBytes &Int32(qint32 value)
    {
        char bytes[4];
        qToLittleEndian(value, bytes);
        m_Bytes.append(bytes, 4);
        return *this;
    }
    WaveBytes &Name(const QByteArray &name) { return Int32(qint32(name.size())).Raw(name); }
    WaveBytes &Raw(const QByteArray &bytes)
    {
        m_Bytes.append(bytes);
        return *this;
    }
    // A node record after its name: level, shown, digital, then the signal index of a scalar.
    WaveBytes &Scalar(const QByteArray &name, qint32 level, qint32 signal)
    {
        return Int32(1).Name(name).Int32(level).Int32(1).Int32(1).Int32(signal);
    }
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
        Int32(qint32(events.size())).Int32(0);
        QList<QPair<qint64, qint64>> box{{-1, 0}};
        box += events;
        for (int slot = 0; slot < 32; ++slot) {
            const QPair<qint64, qint64> event = slot < box.size() ? box[slot] : qMakePair(qint64(-1), qint64(0));
            char bytes[16];
            qToLittleEndian(event.first, bytes);
            qToLittleEndian(event.second, bytes + 8);
            m_Bytes.append(bytes, 16);
        }
        return *this;
    }
    QByteArray m_Bytes;
};

// Time base -9, one signal of the given type code, and a scope "top" holding the leaf "s".
WaveBytes OneSignal(qint32 typeCode, const QByteArray &leafName = "s")
{
    WaveBytes wave;
    wave.Int32(-9).Int32(1).Int32(typeCode).Int32(2).Composite("top", 0, {1}).Scalar(leafName, 1, 0);
    return wave;
}

const QByteArray Header("$timescale 1ns $end\n$scope module top $end\n");
const QByteArray Footer("$upscope $end\n$enddefinitions $end\n");

QByteArray Dump(const QByteArray &declarations, const QByteArray &changes)
{
    return Header + declarations + Footer + changes;
}

QByteArray Nested(int levels)
{
    return QByteArray("$scope module s $end\n").repeated(levels) + "$var wire 1 ! a $end\n"
           + QByteArray("$upscope $end\n").repeated(levels) + "#0\n1!\n";
}

QByteArray RandomBytes(int size)
{
    QRandomGenerator random(20261206);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

} // namespace

class tst_Malformed : public QObject
{
    Q_OBJECT

private slots:
    void vcdImport_data();
    void vcdImport();
    void vcdDirectory();
    void waveFile_data();
    void waveFile();
    void waveDirectory();
    void fuzzFindings_data();
    void fuzzFindings();
};

void tst_Malformed::vcdImport_data()
{
    QTest::addColumn<QByteArray>("vcd");
    // Empty: the dump must import; else a part of the reason it is refused with.
    QTest::addColumn<QString>("reason");
    // A node that an import must have, as a path of names (cut at a NUL byte, as a wave file
    // keeps them); empty for none.
    QTest::addColumn<QString>("node");

    QTest::newRow("empty file") << QByteArray() << "" << "";
    QTest::newRow("binary junk") << RandomBytes(64 * 1024) << "syntax error" << "";
    QTest::newRow("NUL byte in a variable name")
        << Dump(QByteArrayLiteral("$var wire 1 ! a\0b $end\n"), "#0\n1!\n") << "" << "top/a";
    QTest::newRow("NUL byte in a scope name")
        << QByteArrayLiteral("$scope module t\0p $end\n$var wire 1 ! a $end\n$upscope $end\n#0\n1!\n") << "" << "t/a";
    QTest::newRow("invalid UTF-8 in a name")
        << Dump("$var wire 1 ! a\xff\xfe\xc3 $end\n", "#0\n1!\n") << "" << QString::fromLatin1("top/a\xff\xfe\xc3");
    QTest::newRow("name longer than any buffer")
        << Dump("$var wire 1 ! " + QByteArray(100000, 'n') + " $end\n", "#0\n1!\n") << ""
        << "top/" + QString(100000, 'n');
    QTest::newRow("10 MB name") << Dump("$var wire 1 ! " + QByteArray(10 << 20, 'n') + " $end\n", "#0\n1!\n") << ""
                                << "top/" + QString(10 << 20, 'n');
    QTest::newRow("10 MB identifier code")
        << Dump("$var wire 1 ! a $end\n", "#0\n1" + QByteArray(10 << 20, '!') + "\n") << "" << "top/a";
    QTest::newRow("word longer than the scanner takes")
        << "$comment " + QByteArray(20 << 20, 'x') + " $end\n" << "a word longer than" << "";
    QTest::newRow("zero width") << Dump("$var wire 0 ! z $end\n$var wire 1 \" a $end\n", "#0\nb0 !\n1\"\n") << ""
                                << "top/a";
    QTest::newRow("widest vector") << Dump("$var wire 65536 ! w $end\n", "#0\nb1 !\n#5\nbx !\n") << ""
                                   << "top/w/w[65535]";
    QTest::newRow("width past the widest") << Dump("$var wire 65537 ! w $end\n$var wire 1 \" a $end\n", "#0\nb1 !\n1\"\n")
                                           << "" << "top/a";
    QTest::newRow("width of 2^32") << Dump("$var wire 4294967296 ! w $end\n", "#0\nb1 !\n") << "" << "top";
    QTest::newRow("width beyond 64 bits") << Dump("$var wire 18446744073709551616 ! w $end\n", "#0\nb1 !\n")
                                          << "invalid variable size" << "";
    QTest::newRow("negative width") << Dump("$var wire -1 ! w $end\n", "#0\nb1 !\n") << "invalid variable size" << "";
    QTest::newRow("integer of 2^31 bits") << Dump("$var integer 2147483648 ! i $end\n", "#0\nb1 !\n") << "" << "top";
    QTest::newRow("identifier code redefined with another width")
        << Dump("$var wire 4 ! a $end\n$var wire 8 ! b $end\n", "#0\nb10101010 !\n") << "" << "top/a/a[3]";
    QTest::newRow("identifier code redefined as a real")
        << Dump("$var wire 1 ! a $end\n$var real 64 ! r $end\n", "#0\nr1.5 !\n1!\n") << "" << "top/a";
    QTest::newRow("bit indices at the 32-bit limit")
        << Dump("$var wire 8 ! a [2147483647:2147483640] $end\n$var wire 4 \" b [-1:-4] $end\n", "#0\nb1 !\nb1 \"\n")
        << "" << "top/a/a[2147483647]";
    QTest::newRow("index beyond 32 bits") << Dump("$var wire 2 ! a [99999999999:0] $end\n", "#0\nb1 !\n") << "" << "top";
    QTest::newRow("change of an undeclared code") << Dump("$var wire 1 ! a $end\n", "#0\n1\"\n1!\n") << "" << "top/a";
    QTest::newRow("truncated in a value change") << Dump("$var wire 4 ! a $end\n", "#0\n$dumpvars\nb10")
                                                 << "unexpected end of file" << "";
    QTest::newRow("truncated in a declaration") << QByteArray(Header + "$var wire 4 ! a") << "unexpected end of file"
                                                << "";
    QTest::newRow("truncated in a scope") << QByteArray(Header + "$var wire 4 ! a $end\n") << "inside scope 'top'" << "";
    QTest::newRow("zero time unit") << QByteArray("$timescale 0ns $end\n$scope module top $end\n$var wire 1 ! a $end\n"
                                                  "$upscope $end\n#0\n1!\n")
                                    << "invalid timescale" << "";
    QTest::newRow("zero ticks between changes") << Dump("$var wire 1 ! a $end\n", "#0\n1!\n#0\n0!\n#0\n1!\n") << ""
                                                << "top/a";
    QTest::newRow("time going backwards") << Dump("$var wire 1 ! a $end\n", "#10\n1!\n#5\n0!\n#20\n1!\n") << ""
                                          << "top/a";
    QTest::newRow("time stamp beyond 64 bits") << Dump("$var wire 1 ! a $end\n", "#92233720368547758070\n1!\n")
                                               << "does not fit in 64 bits" << "";
    QTest::newRow("time stamp times the unit beyond 64 bits")
        << QByteArray("$timescale 100ns $end\n$scope module top $end\n$var wire 1 ! a $end\n$upscope $end\n"
                      "#922337203685477580\n1!\n")
        << "does not fit in 64 bits" << "";
    QTest::newRow("100 000 nested scopes") << Nested(100000) << "nested deeper than" << "";
}

void tst_Malformed::vcdImport()
{
    QFETCH(QByteArray, vcd);
    QFETCH(QString, reason);
    QFETCH(QString, node);

    QTemporaryDir dir;
    const QString vcdPath = dir.filePath(QStringLiteral("in.vcd"));
    const QString wavePath = dir.filePath(QStringLiteral("in.dvn"));
    QFile file(vcdPath);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(vcd) == vcd.size());
    file.close();

    const ImportResult result = ImportInChild(vcdPath, wavePath);
    QVERIFY2(result.m_Fault.isEmpty(), qPrintable(result.m_Fault));
    if (!reason.isEmpty()) {
        QVERIFY2(!result.m_Converted, qPrintable(result.m_Output.right(2000)));
        QVERIFY2(result.m_Reason.contains(reason), qPrintable(result.m_Reason));
        QVERIFY(!QFile::exists(wavePath));
        return;
    }
    QVERIFY2(result.m_Converted, qPrintable(result.m_Output.right(2000)));

    // The wave file opens as a document, and saving it unchanged writes the same bytes.
    const QByteArray written = ReadAll(wavePath);
    Dovlin_FileManager model;
    QVERIFY2(model.Load(wavePath), qPrintable(model.ErrorString()));
    QVERIFY2(SaveBytes(model) == written, "the wave file does not read back as it was written");
    if (!node.isEmpty())
        QVERIFY2(FindNode(model, node), qPrintable(node.left(100)));
    AskEveryValue(model);
}

void tst_Malformed::vcdDirectory()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("x.vcd")));
    const ImportResult result = ImportInChild(dir.filePath(QStringLiteral("x.vcd")), dir.filePath(QStringLiteral("x.dvn")));
    QVERIFY2(result.m_Fault.isEmpty(), qPrintable(result.m_Fault));
    QVERIFY(!result.m_Converted);
    QVERIFY2(result.m_Reason.contains(QLatin1String("directory")), qPrintable(result.m_Reason));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x.dvn"))));
}

void tst_Malformed::waveFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // Empty: the file must load; else a part of the reason it is refused with.
    QTest::addColumn<QString>("reason");
    // The name of node 1 after loading, for files that load.
    QTest::addColumn<QString>("name");

    const WaveBytes ok = OneSignal(8).Events({{0, 1}});
    QTest::newRow("well formed") << ok.m_Bytes << "" << "s";
    QTest::newRow("empty file") << QByteArray() << "truncated time base" << "";
    QTest::newRow("signal count times 4 bytes wraps 32 bits")
        << WaveBytes().Int32(0).Int32(0x40000000).Int32(8).Int32(0).m_Bytes << "signal count 1073741824" << "";
    QTest::newRow("negative signal count") << WaveBytes().Int32(0).Int32(-1).Int32(0).m_Bytes << "negative signal count"
                                           << "";
    QTest::newRow("node count times record size wraps 32 bits")
        << WaveBytes().Int32(0).Int32(0).Int32(0x0AAAAAAB).Composite("top", 0, {}).m_Bytes << "hierarchy count 178956971"
        << "";
    QTest::newRow("box count times box size wraps 32 bits")
        << OneSignal(8).Int32(31).Int32(0x00800000).Raw(QByteArray(512, '\0')).m_Bytes << "truncated event block" << "";
    QTest::newRow("child count times 4 bytes wraps 32 bits")
        << WaveBytes().Int32(0).Int32(0).Int32(1).Int32(2).Name("top").Int32(0).Int32(1).Int32(1).Int32(1)
               .Int32(0x40000000).m_Bytes
        << "child count 1073741824" << "";
    QTest::newRow("negative child count")
        << WaveBytes().Int32(0).Int32(0).Int32(1).Int32(2).Name("top").Int32(0).Int32(1).Int32(1).Int32(1).Int32(-1)
               .m_Bytes
        << "negative child count" << "";
    QTest::newRow("signal index at the table's end")
        << WaveBytes().Int32(0).Int32(1).Int32(8).Int32(2).Composite("top", 0, {1}).Scalar("s", 1, 1)
               .Events({{0, 1}}).m_Bytes
        << "signal index 1 of node 1" << "";
    QTest::newRow("child index at the table's end")
        << WaveBytes().Int32(0).Int32(1).Int32(8).Int32(2).Composite("top", 0, {2}).Scalar("s", 1, 0)
               .Events({{0, 1}}).m_Bytes
        << "child index 2 of node 0 out of range" << "";
    // Padded so that the node count fits the bytes left.
    const QByteArray padding(64, '\0');
    QTest::newRow("negative name length")
        << WaveBytes().Int32(0).Int32(0).Int32(1).Int32(1).Int32(-7).Raw(padding).m_Bytes << "negative name length -7"
        << "";
    QTest::newRow("name longer than the file")
        << WaveBytes().Int32(0).Int32(0).Int32(1).Int32(1).Int32(0x7fffffff).Raw(padding).m_Bytes
        << "name length 2147483647" << "";
    QTest::newRow("name longer than any buffer") << OneSignal(8, QByteArray(100000, 'n')).Events({{0, 1}}).m_Bytes << ""
                                                 << QString(100000, 'n');
    QTest::newRow("10 MB name") << OneSignal(8, QByteArray(10 << 20, 'n')).Events({{0, 1}}).m_Bytes << ""
                                << QString(10 << 20, 'n');
    QTest::newRow("10 MB after the last block") << ok.m_Bytes + QByteArray(10 << 20, 'x') << "10485760 trailing bytes"
                                                << "";
    QTest::newRow("NUL byte in a name") << OneSignal(8, QByteArray("a\0b", 3)).Events({{0, 1}}).m_Bytes << "" << "a";
    QTest::newRow("invalid UTF-8 in a name") << OneSignal(8, "a\xff\xfe\xc3").Events({{0, 1}}).m_Bytes << ""
                                             << QString::fromLatin1("a\xff\xfe\xc3");
    QTest::newRow("unknown type code") << OneSignal(3).Events({{0, 1}}).m_Bytes << "unknown type code 3" << "";
    QTest::newRow("vector without bits")
        << WaveBytes().Int32(0).Int32(0).Int32(2).Composite("top", 0, {1}).Composite("v", 1, {}).m_Bytes << "" << "v";
    QTest::newRow("truncated event block") << ok.m_Bytes.left(ok.m_Bytes.size() - 100) << "truncated event block" << "";
    QTest::newRow("box count past the end") << OneSignal(8).Int32(0).Int32(3).Raw(QByteArray(512, '\0')).m_Bytes
                                            << "truncated event block" << "";
    QTest::newRow("zero ticks between changes") << OneSignal(1).Events({{0, 1}, {0, 2}, {0, 3}}).m_Bytes << "" << "s";
    QTest::newRow("time going backwards") << OneSignal(1).Events({{20, 1}, {10, 2}, {0, 3}}).m_Bytes << "" << "s";
    QTest::newRow("negative and extreme times")
        << OneSignal(2).Events({{std::numeric_limits<qint64>::min(), 1}, {-5, 2}, {std::numeric_limits<qint64>::max(), 3}})
               .m_Bytes
        << "" << "s";
    QTest::newRow("state codes outside the type")
        << OneSignal(16).Events({{0, 1000}, {5, -5}, {7, qint64(1) << 40}}).m_Bytes << "" << "s";
    {
        // A chain of 100 000 scopes, each the only child of the one before, with the levels
        // stored right, and with every level stored as 0: either way the links give the depth.
        const int levels = 100000;
        WaveBytes deep, flat;
        deep.Int32(0).Int32(0).Int32(levels);
        flat.Int32(0).Int32(0).Int32(levels);
        for (int i = 0; i < levels; ++i) {
            const QList<qint32> child = i + 1 < levels ? QList<qint32>{i + 1} : QList<qint32>{};
            deep.Composite("s", i, child);
            flat.Composite("s", 0, child);
        }
        QTest::newRow("100 000 nested scopes") << deep.m_Bytes << "deeper than 1024 levels" << "";
        QTest::newRow("100 000 nested scopes stored as level 0") << flat.m_Bytes << "deeper than 1024 levels" << "";
    }
}

void tst_Malformed::waveFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QFETCH(QString, name);

    // From a buffer, and from a file as a document opens it: the same verdict either way.
    QTemporaryDir dir;
    Dovlin_FileManager model, mapped;
    const bool loaded = LoadBytes(model, bytes);
    QCOMPARE(LoadFile(mapped, bytes, dir), loaded);
    QCOMPARE(mapped.ErrorString(), model.ErrorString());
    if (!reason.isEmpty()) {
        QVERIFY(!loaded);
        QVERIFY2(model.ErrorString().contains(reason), qPrintable(model.ErrorString()));
        return;
    }
    QVERIFY2(loaded, qPrintable(model.ErrorString()));
    QVERIFY(model.ErrorString().isEmpty());
    QCOMPARE(model.GetHierarchy(1)->GetName(), name);
    AskEveryValue(model);
    AskEveryValue(mapped);

    // What a document saves of it loads again and saves to the same bytes.
    const QByteArray saved = SaveBytes(model);
    QVERIFY(!saved.isEmpty());
    QVERIFY(SaveBytes(mapped) == saved);
    Dovlin_FileManager again;
    QVERIFY2(LoadBytes(again, saved), qPrintable(again.ErrorString()));
    QCOMPARE(SaveBytes(again), saved);
}

void tst_Malformed::waveDirectory()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("x.dvn")));
    Dovlin_FileManager model;
    QVERIFY(!model.Load(dir.filePath(QStringLiteral("x.dvn"))));
    QVERIFY(!model.ErrorString().isEmpty());
    QCOMPARE(model.GetnHierarchy(), 0);
}

void tst_Malformed::fuzzFindings_data()
{
    QTest::addColumn<QString>("path");
    const QDir findings(QStringLiteral(DOVLIN_TEST_DATA "/fuzz"));
    const QStringList files = findings.entryList({QStringLiteral("*.dump"), QStringLiteral("*.dvn")}, QDir::Files);
    QVERIFY(!files.isEmpty());
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << findings.filePath(file);
}

// What the fuzz targets check, on the inputs that once failed them: a dump is refused with a
// reason or imports to a wave file that reads back as written; a wave file is refused with a
// reason or loads, from a buffer and from a file alike, into a model that saves, loads and saves
// again to the same bytes.
void tst_Malformed::fuzzFindings()
{
    QFETCH(QString, path);
    QTemporaryDir dir;
    QByteArray wave = ReadAll(path);
    const bool dump = path.endsWith(QLatin1String(".dump"));
    if (dump) {
        const QString wavePath = dir.filePath(QStringLiteral("finding.dvn"));
        const ImportResult result = ImportInChild(path, wavePath);
        QVERIFY2(result.m_Fault.isEmpty(), qPrintable(result.m_Fault));
        if (!result.m_Converted) {
            QVERIFY(!result.m_Reason.isEmpty());
            return;
        }
        wave = ReadAll(wavePath);
    }
    Dovlin_FileManager model, mapped;
    const bool loaded = LoadBytes(model, wave);
    QCOMPARE(LoadFile(mapped, wave, dir), loaded);
    if (!loaded) {
        QVERIFY2(!dump, qPrintable(model.ErrorString()));
        QVERIFY(!model.ErrorString().isEmpty());
        return;
    }
    AskEveryValue(model);
    AskEveryValue(mapped);
    const QByteArray saved = SaveBytes(model);
    QVERIFY(SaveBytes(mapped) == saved);
    if (dump)
        QVERIFY2(saved == wave, "the imported wave file does not read back as it was written");
    Dovlin_FileManager again;
    QVERIFY2(LoadBytes(again, saved), qPrintable(again.ErrorString()));
    QCOMPARE(SaveBytes(again), saved);
}

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--import") == 0)
        return ImportChild(argv[2], argv[3]);
    QCoreApplication application(argc, argv);
    tst_Malformed test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_malformed.moc"
