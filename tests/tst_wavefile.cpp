#include "Dovlin_Crc32c.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Format2.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Signals.h"
#include "testfiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QtEndian>

#include <algorithm>

using Builder = void (*)(Dovlin_FileManager &);
Q_DECLARE_METATYPE(Builder)

namespace {

// The four-state clk under top, changes 0 at 0 and 1 at 10, closed at 20.
const QByteArray ExampleBytes = QByteArray::fromHex(
    "f7ffffff0100000008000000020000000200000003000000746f70000000000100000001000000"
    "0100000001000000010000000100000003000000636c6b01000000010000000100000000000000"
    "0300000000000000ffffffffffffffff0000000000000000000000000000000000000000000000"
    "000a00000000000000010000000000000014000000000000000100000000000000")
    + QByteArray::fromHex("ffffffffffffffff0000000000000000").repeated(28);

void BuildExample(Dovlin_FileManager &fm)
{
    fm.SetTimeBase(-9);
    auto *clkSignal = &fm.AddSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>();
    auto *top = &fm.AddNode<Dovlin_CompositeHierarchy>();
    auto *clk = &fm.AddNode<Dovlin_ScalarHierarchy>();
    top->SetName("top");
    clk->SetName("clk");
    clk->SetSignal(clkSignal);
    top->AddHierarchy(clk);
    clkSignal->AddEvent(0, 0);
    clkSignal->AddEvent(10, 1);
}

void BuildEmpty(Dovlin_FileManager &) {}

// On the fixture: a table named by clk, which shows its names, and by the bus, which shows numbers.
void AddEnumTable(Dovlin_FileManager &fm)
{
    fm.GetHierarchy(1)->m_EnumTable = fm.GetHierarchy(2)->m_EnumTable = fm.AddEnumTable({"top.dir_t", {"RÜCK", "VOR"}, {"0", "1"}});
    fm.GetHierarchy(1)->m_Radix = Dovlin_Radix::Names;
}

// Every signal class, the last one without events, and every node state that is saved:
// 0 top{1 clk, 2 bus{3 b0}, 4 r}, 5 (hidden, analog, long name, no signal); bus collapsed.
void BuildFixture(Dovlin_FileManager &fm)
{
    const auto leaf = [&fm](const QString &name, Dovlin_Signal *signal) {
        auto *node = &fm.AddNode<Dovlin_ScalarHierarchy>(name);
        node->SetSignal(signal);
        return node;
    };
    fm.SetTimeBase(-12);
    auto *logic = &fm.AddSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>();
    auto *integer = &fm.AddSignal<Dovlin_IntSignal>();
    auto *real = &fm.AddSignal<Dovlin_RealSignal>();
    auto *nine = &fm.AddSignal<Dovlin_StateSignalT<Dovlin_StdLogicType>>();
    fm.AddSignal<Dovlin_StateSignalT<Dovlin_BitType>>();
    auto *top = &fm.AddNode<Dovlin_CompositeHierarchy>("top");
    top->AddHierarchy(leaf("clk", logic));
    auto *bus = &fm.AddNode<Dovlin_CompositeHierarchy>("bus");
    bus->m_Expanded = false;
    top->AddHierarchy(bus);
    bus->AddHierarchy(leaf("b0", integer));
    top->AddHierarchy(leaf("r", real));
    Dovlin_ScalarHierarchy *hidden = leaf(QString(3000, QLatin1Char('n')), nullptr);
    hidden->m_Shown = false;
    hidden->m_Digital = false;
    logic->AddEvent(0, 3);
    logic->AddEvent(5, 1);
    logic->AddEvent(5, 0);
    integer->AddEvent(2, qint64(-7));
    integer->AddEvent(9, qint64(1) << 40);
    nine->AddEvent(1, 8);
    real->AddEvent(3, 2.5);
}

// Signals of 31, 32, 33, 64 and 65 stored events, four changes per time step.
void BuildManyEvents(Dovlin_FileManager &fm)
{
    for (int events : {31, 32, 33, 64, 65}) {
        auto *signal = &fm.AddSignal<Dovlin_IntSignal>();
        for (int i = 1; i < events; ++i)
            signal->AddEvent(i / 4, qint64(i * 3));
    }
}

// An event signal that fires twice at 5: the closing copy is not written, so the file ends at 9.
void BuildEvents(Dovlin_FileManager &fm)
{
    auto *signal = &fm.AddSignal<Dovlin_EventSignal>();
    for (qint64 time : {0, 5, 5, 9})
        signal->AddEvent(time, 1);
}

qint32 Int32At(const QByteArray &bytes, qint64 offset)
{
    return qFromLittleEndian<qint32>(bytes.constData() + offset);
}

bool Serialize(Dovlin_FileManager &fm, QByteArray &bytes, qint64 lastTime = -1, int format = Dovlin_WaveFormat::Format1)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (format == Dovlin_WaveFormat::Format2) {
        fm.CloseSignals(lastTime);
        if (lastTime != -1)
            fm.SetEndTime(lastTime);
        return fm.SaveAll(&buffer, format);
    }
    return fm.SaveHeader(&buffer) && fm.SaveSignalEvents(&buffer, lastTime);
}

// The sections of a file of format 2, by kind in file order, and the file put together again
// with its table and checksums made right (but for the kind named stale, which keeps its old one).
struct Format2File
{
    QByteArray m_Start;
    QList<QPair<quint32, QByteArray>> m_Sections;
    QHash<quint32, quint32> m_Checksums;

    explicit Format2File(const QByteArray &bytes) : m_Start(bytes.left(8))
    {
        const quint32 count = qFromLittleEndian<quint32>(bytes.constData() + 12);
        for (quint32 i = 0; i < count; ++i) {
            const char *entry = bytes.constData() + 16 + 32 * i;
            const quint32 kind = qFromLittleEndian<quint32>(entry);
            m_Sections.append({kind, bytes.mid(qFromLittleEndian<qint64>(entry + 8), qFromLittleEndian<qint64>(entry + 16))});
            m_Checksums.insert(kind, qFromLittleEndian<quint32>(entry + 24));
        }
    }
    QByteArray &Section(const char (&kind)[5]) { return std::find_if(m_Sections.begin(), m_Sections.end(), [&](const auto &s) { return s.first == Dovlin_Format2::FourCc(kind); })->second; }
    QByteArray Join(quint32 stale = 0, quint32 version = 2) const
    {
        QByteArray table = m_Start;
        table.resize(16 + 32 * m_Sections.size());
        qToLittleEndian<quint32>(version, table.data() + 8);
        qToLittleEndian<quint32>(quint32(m_Sections.size()), table.data() + 12);
        qint64 offset = table.size() + 4;
        QByteArray body;
        for (int i = 0; i < m_Sections.size(); ++i) {
            const auto &[kind, bytes] = m_Sections.at(i);
            char *entry = table.data() + 16 + 32 * i;
            qToLittleEndian<quint32>(kind, entry);
            qToLittleEndian<quint32>(0, entry + 4);
            qToLittleEndian<qint64>(offset, entry + 8);
            qToLittleEndian<qint64>(bytes.size(), entry + 16);
            qToLittleEndian<quint32>(kind == stale ? m_Checksums.value(kind) : Dovlin_Crc32c(bytes.constData(), bytes.size()), entry + 24);
            qToLittleEndian<quint32>(0, entry + 28);
            offset += bytes.size();
            body += bytes;
        }
        char crc[4];
        qToLittleEndian<quint32>(Dovlin_Crc32c(table.constData(), table.size()), crc);
        return table + QByteArray(crc, 4) + body;
    }
};

using TestFiles::LoadBytes;

// Loads from a buffer and, as a document does, from a mapped file, with the same verdict; the
// reasons, one a line.
void LoadBothWays(const QByteArray &bytes, bool &loaded, QStringList &reasons)
{
    QTemporaryFile file;
    QVERIFY(file.open() && file.write(bytes) == bytes.size() && file.flush());
    Dovlin_FileManager buffered, mapped;
    loaded = LoadBytes(buffered, bytes);
    QCOMPARE(mapped.Load(file.fileName()), loaded);
    reasons = QStringList{buffered.ErrorString(), mapped.ErrorString()};
}

// Offsets of the int32 fields of a well-formed file, by name: "typeCode1", "node0" (its code),
// "nameLength0", "level3", "signalIndex1", "childCount2", "child2.0" (first child of node 2),
// "lastSlot0", "lastBox0".
QHash<QString, qint64> FieldOffsets(const QByteArray &file)
{
    QHash<QString, qint64> at{{"signalCount", 4}};
    qint64 pos = 8;
    const int nSignal = Int32At(file, 4);
    for (int i = 0; i < nSignal; ++i, pos += 4)
        at[QString("typeCode%1").arg(i)] = pos;
    at["hierarchyCount"] = pos;
    const int nHierarchy = Int32At(file, pos);
    pos += 4;
    for (int i = 0; i < nHierarchy; ++i) {
        const bool composite = Int32At(file, pos) == 2;
        at[QString("node%1").arg(i)] = pos;
        at[QString("nameLength%1").arg(i)] = pos + 4;
        pos += 8 + Int32At(file, pos + 4);
        at[QString("level%1").arg(i)] = pos;
        pos += 12;
        if (!composite) {
            at[QString("signalIndex%1").arg(i)] = pos;
            pos += 4;
            continue;
        }
        at[QString("childCount%1").arg(i)] = pos + 4;
        const int nChild = Int32At(file, pos + 4);
        pos += 8;
        for (int c = 0; c < nChild; ++c, pos += 4)
            at[QString("child%1.%2").arg(i).arg(c)] = pos;
    }
    for (int i = 0; i < nSignal; ++i) {
        at[QString("lastSlot%1").arg(i)] = pos;
        at[QString("lastBox%1").arg(i)] = pos + 4;
        pos += 8 + 512 * (qint64(Int32At(file, pos + 4)) + 1);
    }
    return at;
}

} // namespace

class tst_WaveFile : public QObject
{
    Q_OBJECT

private slots:
    void workedExample()
    {
        QTemporaryDir dir;
        Dovlin_FileManager fm;
        BuildExample(fm);
        QVERIFY2(fm.Save(dir.filePath("example.dvn"), 20, Dovlin_WaveFormat::Format1), qPrintable(fm.ErrorString()));
        QCOMPARE(fm.GetSignal(0)->GetLastTime(), 20);
        QCOMPARE(TestFiles::ReadAll(dir.filePath("example.dvn")).toHex(), ExampleBytes.toHex());
    }

    void roundTrip_data()
    {
        QTest::addColumn<Builder>("build");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("size");
        QTest::addColumn<qint64>("endTime");
        QTest::newRow("worked example") << &BuildExample << 1 << 598 << qint64(20);
        QTest::newRow("no signals, no nodes") << &BuildEmpty << 1 << 12 << qint64(-1);
        QTest::newRow("every class and flag, long name") << &BuildFixture << 1 << 5300 << qint64(20);
        QTest::newRow("31 to 65 events") << &BuildManyEvents << 1 << 5704 << qint64(20);
        QTest::newRow("event triggers") << &BuildEvents << 1 << 536 << qint64(9);
        // Format 2 keeps the end time, which the dump's last time stamp gives, not the last trigger.
        QTest::newRow("format 2, worked example") << &BuildExample << 2 << 270 << qint64(20);
        QTest::newRow("format 2, no signals, no nodes") << &BuildEmpty << 2 << 240 << qint64(20);
        QTest::newRow("format 2, every class and flag, long name") << &BuildFixture << 2 << 3373 << qint64(20);
        QTest::newRow("format 2, 31 to 65 events") << &BuildManyEvents << 2 << 589 << qint64(20);
        QTest::newRow("format 2, event triggers") << &BuildEvents << 2 << 256 << qint64(20);
    }

    // Writing, loading and writing again gives the same bytes: with the bytes of the worked example
    // known, every field reads back as saved.
    void roundTrip()
    {
        QFETCH(Builder, build);
        QFETCH(int, format);
        QFETCH(int, size);
        QFETCH(qint64, endTime);
        Dovlin_FileManager original;
        build(original);
        QByteArray first;
        QVERIFY(Serialize(original, first, 20, format));
        QCOMPARE(first.size(), size);

        Dovlin_FileManager loaded;
        QVERIFY2(LoadBytes(loaded, first), qPrintable(loaded.ErrorString()));
        QCOMPARE(loaded.GetEndTime(), endTime);
        QByteArray second;
        QVERIFY(Serialize(loaded, second, -1, format));
        QCOMPARE(second.toHex(), first.toHex());
    }

    void truncatedAtEveryOffset_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("format 1") << 1;
        QTest::newRow("format 2") << 2;
    }

    void truncatedAtEveryOffset()
    {
        QFETCH(int, format);
        Dovlin_FileManager original;
        BuildFixture(original);
        QByteArray bytes;
        QVERIFY(Serialize(original, bytes, 20, format));
        for (int length = 0; length < bytes.size(); ++length) {
            bool loaded = true;
            QStringList reasons;
            LoadBothWays(bytes.left(length), loaded, reasons);
            QVERIFY2(!loaded && !reasons.contains(QString()), qPrintable(QString::number(length)));
        }
    }

    void damaged_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<qint32>("value");
        QTest::addColumn<QString>("reason");
        // Counts whose product with a record size wraps 32 bits to zero or near it.
        QTest::newRow("huge signal count") << "signalCount" << qint32(0x40000000) << "signal count 1073741824 at offset 4 does not fit";
        QTest::newRow("negative signal count") << "signalCount" << qint32(-1) << "negative signal count -1";
        QTest::newRow("type code 7") << "typeCode1" << qint32(7) << "unknown type code 7 at offset 12";
        QTest::newRow("type code 64") << "typeCode3" << qint32(64) << "unknown type code 64 at offset 20";
        QTest::newRow("huge hierarchy count") << "hierarchyCount" << qint32(0x0AAAAAAB) << "hierarchy count 178956971";
        QTest::newRow("negative hierarchy count") << "hierarchyCount" << qint32(-5) << "negative hierarchy count -5";
        QTest::newRow("hierarchy code 3") << "node0" << qint32(3) << "unknown hierarchy code 3 at offset 32";
        QTest::newRow("huge name length") << "nameLength1" << qint32(0x7fffffff) << "name length 2147483647 of node 1";
        QTest::newRow("negative name length") << "nameLength1" << qint32(-1) << "negative name length -1 of node 1";
        QTest::newRow("negative level") << "level3" << qint32(-1) << "level -1 of node 3 out of range";
        QTest::newRow("level beyond the node count") << "level3" << qint32(6) << "level 6 of node 3 out of range";
        QTest::newRow("level not its parent's + 1") << "level3" << qint32(4) << "node 3 stores level 4 but lies at level 2";
        QTest::newRow("a child stored as a root") << "level3" << qint32(0) << "node 3 stores level 0 but lies at level 2";
        QTest::newRow("signal index past the table") << "signalIndex1" << qint32(5) << "signal index 5 of node 1";
        QTest::newRow("signal index -2") << "signalIndex3" << qint32(-2) << "signal index -2 of node 3";
        QTest::newRow("huge child count") << "childCount0" << qint32(0x40000000) << "child count 1073741824 of node 0";
        QTest::newRow("negative child count") << "childCount2" << qint32(-3) << "negative child count -3 of node 2";
        QTest::newRow("child index past the table") << "child0.0" << qint32(6) << "child index 6 of node 0 out of range";
        QTest::newRow("negative child index") << "child2.0" << qint32(-1) << "child index -1 of node 2 out of range";
        QTest::newRow("child is the node itself") << "child2.0" << qint32(2) << "child index 2 of node 2 points to the node itself";
        QTest::newRow("child is the parent") << "child2.0" << qint32(0) << "child index 0 of node 2 points to its own ancestor";
        QTest::newRow("child of two parents") << "child2.0" << qint32(1) << "node 1 is listed as a child of node 0 and of node 2";
        QTest::newRow("last slot 32") << "lastSlot0" << qint32(32) << "last slot 32 of signal 0";
        QTest::newRow("last box -2") << "lastBox0" << qint32(-2) << "last box -2 of signal 0";
        QTest::newRow("empty signal, slot 5") << "lastSlot4" << qint32(5) << "signal 4 without boxes has last slot 5";
        QTest::newRow("box count past the end") << "lastBox0" << qint32(5) << "truncated event block of signal 0";
        QTest::newRow("huge box count") << "lastBox1" << qint32(0x7ffffffe) << "truncated event block of signal 1";
        QTest::newRow("box count times 512 is 2^32") << "lastBox1" << qint32(0x007fffff) << "truncated event block of signal 1";
        QTest::newRow("empty signal claims a box") << "lastBox4" << qint32(0) << "truncated event block of signal 4";
        QTest::newRow("a trailing byte") << "trailing" << qint32(1) << "1 trailing bytes after the last event block";
        QTest::newRow("a trailing box") << "trailing" << qint32(512) << "512 trailing bytes after the last event block";
    }

    // The fixture with one field set to value ("trailing": value bytes appended).
    void damaged()
    {
        QFETCH(QString, field);
        QFETCH(qint32, value);
        QFETCH(QString, reason);
        Dovlin_FileManager original;
        BuildFixture(original);
        QByteArray bytes;
        QVERIFY(Serialize(original, bytes));
        if (field == "trailing") {
            bytes.append(value, '\0');
        } else {
            const qint64 offset = FieldOffsets(bytes).value(field);
            QVERIFY(offset > 0);
            QVERIFY(Int32At(bytes, offset) != value);
            qToLittleEndian(value, bytes.data() + offset);
        }
        bool loaded = true;
        QStringList reasons;
        LoadBothWays(bytes, loaded, reasons);
        QVERIFY(!loaded);
        QVERIFY2(reasons.filter(reason).size() == 2, qPrintable(reasons.join('\n')));
    }

    void damagedFormat2_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("loads");
        QTest::newRow("table checksum") << "table" << "the table of sections is damaged" << false;
        for (const char *kind : {"HEAD", "SGNL", "INDX", "TREE", "BCRC", "ENUM"}) {
            QTest::newRow(qPrintable(QString("%1 checksum").arg(kind))) << QString("flip %1").arg(kind)
                                                                        << QString("section %1: its checksum does not match").arg(kind) << false;
            QTest::newRow(qPrintable(QString("%1 cut").arg(kind))) << QString("cut %1").arg(kind)
                                                                   << QString("section %1 at offset").arg(kind) << false;
        }
        QTest::newRow("a newer version") << "version" << "written by a newer version of Dovlin (format 3)" << false;
        QTest::newRow("signal count overflows") << "signals" << "signal count 2147483647 does not fit" << false;
        QTest::newRow("node count overflows") << "nodes" << "node count 4294967295 does not fit" << false;
        QTest::newRow("offset past the end") << "offset" << "runs past the end of the file" << false;
        QTest::newRow("packed boxes cut") << "short boxes" << "section SGNL: signal 5:" << false;
        QTest::newRow("box index out of order") << "index" << "the box index is out of order" << false;
        QTest::newRow("a box damaged") << "flip BOXS" << "section BOXS: the checksum of bytes 0 to" << true;
        QTest::newRow("a box that does not unpack") << "garble BOXS" << "box 0 at byte" << true;
        QTest::newRow("an unknown section") << "unknown" << "" << true;
        QTest::newRow("enumeration table out of range") << "enum table" << "section ENUM: entry 1: node 2, table 5" << false;
    }

    // The fixture in format 2 with one part damaged: refused with the section and the reason, or
    // loaded, and then a damaged box hides its signal with the reason as soon as it is read.
    void damagedFormat2()
    {
        QFETCH(QString, damage);
        QFETCH(QString, reason);
        QFETCH(bool, loads);
        Dovlin_FileManager original;
        BuildFixture(original);
        auto &many = original.AddSignal<Dovlin_IntSignal>();
        for (int i = 1; i < 100; ++i)
            many.AddEvent(i, qint64(i * i));
        AddEnumTable(original);
        QByteArray bytes;
        QVERIFY(Serialize(original, bytes, 200, Dovlin_WaveFormat::Format2));
        Format2File file(bytes);
        const QString kind = damage.section(' ', 1);
        const quint32 code = kind.size() == 4 ? Dovlin_Format2::FourCc(reinterpret_cast<const char(&)[5]>(*kind.toLatin1().constData())) : 0;
        if (damage == "table") {
            bytes[20] = char(bytes[20] ^ 1);
        } else if (damage.startsWith("flip")) {
            QByteArray &section = file.m_Sections[int(std::find_if(file.m_Sections.begin(), file.m_Sections.end(), [&](const auto &s) { return s.first == code; }) - file.m_Sections.begin())].second;
            section[0] = char(section[0] ^ 0x10);
            bytes = file.Join(code);
        } else if (damage.startsWith("cut")) {
            const QByteArray whole = file.Join();
            const int at = int(std::find_if(file.m_Sections.begin(), file.m_Sections.end(), [&](const auto &s) { return s.first == code; }) - file.m_Sections.begin());
            const qint64 offset = qFromLittleEndian<qint64>(whole.constData() + 16 + 32 * at + 8);
            bytes = whole.left(offset + file.m_Sections.at(at).second.size() / 2);
        } else if (damage == "version") {
            bytes = file.Join(0, 3);
        } else if (damage == "signals") {
            qToLittleEndian<quint32>(0x7fffffff, file.Section("HEAD").data() + 16);
            bytes = file.Join();
        } else if (damage == "nodes") {
            qToLittleEndian<quint32>(0xffffffff, file.Section("HEAD").data() + 20);
            bytes = file.Join();
        } else if (damage == "offset") {
            bytes = file.Join();
            qToLittleEndian<qint64>(bytes.size() + 1, bytes.data() + 16 + 8);
            qToLittleEndian<quint32>(Dovlin_Crc32c(bytes.constData(), 16 + 32 * file.m_Sections.size()), bytes.data() + 16 + 32 * file.m_Sections.size());
        } else if (damage == "short boxes") {
            file.Section("BOXS").chop(1);
            bytes = file.Join();
        } else if (damage == "index") {
            // The last signal's four boxes: box 2 said to start before box 1.
            QByteArray &index = file.Section("INDX");
            std::swap(index[index.size() - 6], index[index.size() - 5]);
            bytes = file.Join();
        } else if (damage == "garble BOXS") {
            file.Section("BOXS")[0] = char(0x7f);
            QByteArray &crcs = file.Section("BCRC");
            const QByteArray &boxes = file.Section("BOXS");
            qToLittleEndian<quint32>(Dovlin_Crc32c(boxes.constData(), boxes.size()), crcs.data() + 4);
            bytes = file.Join();
        } else if (damage == "enum table") {
            // The last entry's table index, of the bus.
            QByteArray &enums = file.Section("ENUM");
            enums[enums.size() - 2] = char(5);
            bytes = file.Join();
        } else if (damage == "unknown") {
            file.m_Sections.insert(2, {Dovlin_Format2::FourCc("XTRA"), QByteArray("anything at all")});
            bytes = file.Join();
        }
        bool loaded = false;
        QStringList reasons;
        LoadBothWays(bytes, loaded, reasons);
        QCOMPARE(loaded, loads);
        if (!loads) {
            QVERIFY2(reasons.filter(reason).size() == 2, qPrintable(reasons.join('\n')));
            return;
        }
        Dovlin_FileManager fm;
        QVERIFY(LoadBytes(fm, bytes));
        for (int s = 0; s < fm.GetnSignal(); ++s)
            fm.GetSignal(s)->ReadEvents(0, fm.GetSignal(s)->GetnEvent(), std::vector<CSignalEvent>(size_t(fm.GetSignal(s)->GetnEvent())).data());
        const QList<QPair<int, QString>> damaged = fm.TakeDamageReports();
        if (reason.isEmpty()) {
            QVERIFY(damaged.isEmpty());
            QCOMPARE(fm.GetSignal(5)->GetEvent(99)->m_Value.m_IntValue, qint64(99 * 99));
            return;
        }
        QVERIFY(!damaged.isEmpty());
        QVERIFY2(damaged.first().second.contains(reason), qPrintable(damaged.first().second));
        QVERIFY(fm.GetSignal(damaged.first().first)->Damaged());
        QVERIFY(fm.TakeDamageReports().isEmpty());
    }

    // Decreasing times and junk in free slots harm nothing: such files load and save back unchanged.
    void acceptsHarmlessOddities()
    {
        Dovlin_FileManager original;
        BuildFixture(original);
        QByteArray bytes;
        QVERIFY(Serialize(original, bytes));
        const QHash<QString, qint64> at = FieldOffsets(bytes);
        const qint64 records = at.value("lastSlot0") + 8;
        qToLittleEndian<qint64>(100, bytes.data() + records + 16);
        qToLittleEndian<qint64>(42, bytes.data() + records + 16 * 20);

        Dovlin_FileManager fm;
        QVERIFY2(LoadBytes(fm, bytes), qPrintable(fm.ErrorString()));
        QCOMPARE(fm.GetSignal(0)->GetEvent(1)->m_Time, 100);
        QByteArray again;
        QVERIFY(Serialize(fm, again));
        QCOMPARE(again.toHex(), bytes.toHex());
    }

    // Format 2 keeps the wave list row by row, with or without the rest of the view.
    void waveListKept()
    {
        Dovlin_FileManager original;
        BuildExample(original);
        Dovlin_SavedView view;
        Dovlin_ListRow group;
        group.m_Kind = Dovlin_ListRow::Group;
        group.m_Label = QStringLiteral("Ausgänge 出力");
        group.m_Rows = {Dovlin_ListRow::OfNode("top.gone", Dovlin_Radix::Signed, false), Dovlin_ListRow::OfDivider("bus")};
        view.m_List = {Dovlin_ListRow::OfNode("top.a", Dovlin_Radix::Binary, true), group};
        view.m_List[0].m_Open = true;
        view.m_List[0].m_Label = QStringLiteral("clock");
        original.SetSavedView(view);
        QByteArray bytes;
        QVERIFY(Serialize(original, bytes, 20, Dovlin_WaveFormat::Format2));
        Dovlin_FileManager loaded;
        QVERIFY2(LoadBytes(loaded, bytes), qPrintable(loaded.ErrorString()));
        QVERIFY(!loaded.SavedView().m_Present);
        QVERIFY(loaded.SavedView().m_List == view.m_List);
        // Format 1 has no place for it, and says so.
        QVERIFY(Serialize(original, bytes, 20, Dovlin_WaveFormat::Format1));
        QCOMPARE(original.SaveWarnings(), QStringList{"format 1 cannot hold the wave list: its 2 rows are not kept"});
    }

    // Format 2 keeps the tables, which node has which and whether it shows names; format 1 drops them.
    void enumTablesKept()
    {
        Dovlin_FileManager original, loaded;
        BuildFixture(original);
        AddEnumTable(original);
        QByteArray bytes;
        QVERIFY(Serialize(original, bytes, 20, Dovlin_WaveFormat::Format2) && LoadBytes(loaded, bytes));
        QVERIFY(loaded.EnumTables() == original.EnumTables());
        const auto named = [](const Dovlin_FileManager &fm) {
            QList<QPair<int, int>> nodes;
            for (int i = 0; i < fm.GetnHierarchy(); ++i)
                nodes << qMakePair(fm.GetHierarchy(i)->m_EnumTable, fm.GetHierarchy(i)->m_Radix);
            return nodes;
        };
        QCOMPARE(named(loaded), named(original));
        QCOMPARE(loaded.GetHierarchy(1)->ValueText(5), QStringLiteral(" RÜCK "));
        QVERIFY(Serialize(original, bytes, 20, Dovlin_WaveFormat::Format1));
        QCOMPARE(original.SaveWarnings(), QStringList{"format 1 cannot hold enumeration tables: 1 left out, their nodes show numbers"});
    }

    void missingPaths()
    {
        QTemporaryDir dir;
        Dovlin_FileManager loaded;
        QVERIFY(!loaded.Load(dir.filePath("missing.dvn")));
        QVERIFY2(loaded.ErrorString().startsWith("cannot open: "), qPrintable(loaded.ErrorString()));
        QVERIFY(loaded.ErrorString().size() > int(qstrlen("cannot open: ")));
        Dovlin_FileManager folder;
        QVERIFY(!folder.Load(dir.path()));
        QVERIFY(!folder.ErrorString().isEmpty());
        QCOMPARE(folder.GetnHierarchy(), 0);

        Dovlin_FileManager saved;
        BuildExample(saved);
        QVERIFY(!saved.Save(dir.filePath("missing/wave.dvn")));
        QVERIFY2(saved.ErrorString().startsWith(QStringLiteral("cannot create a temporary file in %1: ").arg(dir.filePath("missing"))),
                 qPrintable(saved.ErrorString()));
        QVERIFY(QDir(dir.path()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_WaveFile)
#include "tst_wavefile.moc"
