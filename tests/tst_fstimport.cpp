// The FST import: files of Icarus, Verilator, GHDL and vcd2fst make the model that fst2vcd's VCD
// of them makes; damage is refused with the block and the reason.
#include "Dovlin_FastLz.h"
#include "Dovlin_VcdImport.h"
#include "tst_vcdimport_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <vector>

using namespace VcdTesting;

class TestFstImport : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_Dir;
    // Converts dump into a wave file of the temporary folder (on threads storing threads, 0 for the
    // default) and loads it; the model's text, or empty with the reporter's errors.
    QString convert(const QString &dump, RecordingReporter &reporter, const QString &wave, int threads = 0);
    static QString data(const QString &name) { return QStringLiteral(DOVLIN_TEST_DATA "/fst/") + name; }
private slots:
    void sameAsVcd_data();
    void sameAsVcd();
    void peerTools_data();
    void peerTools();
    void warningCitesBlock();
    void longRuns_data();
    void longRuns();
    void fastLz_data();
    void fastLz();
    void damaged_data();
    void damaged();
    void waveFileReusedAndProgress();
};

QString TestFstImport::convert(const QString &dump, RecordingReporter &reporter, const QString &wave, int threads)
{
    const QString path = m_Dir.filePath(wave);
    QFile::remove(path);
    Dovlin_VcdImport importer(&reporter);
    Dovlin_ImportLimits limits;
    limits.m_Threads = threads > 0 ? threads : limits.m_Threads;
    importer.SetLimits(limits);
    Dovlin_FileManager model;
    if (!importer.Convert(dump, path) || !model.Load(path))
        return QString();
    return QStringLiteral("%1 %2 %3").arg(model.GetTimeBase()).arg(model.GetEndTime()).arg(modelText(model));
}

void TestFstImport::sameAsVcd_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("warnings");
    // What fst2vcd leaves out and the FST holds: a value from the first frame at a time that
    // also has changes (its text in the VCD's model, then in the FST's).
    QTest::addColumn<QStringList>("frameOnly");
    // Zlib chains, three blocks and a blackout; FastLZ; the whole file in gzip; cut short after
    // two blocks, its hierarchy in the side file.
    QTest::newRow("icarus") << "icarus.fst" << 0 << QStringList();
    QTest::newRow("icarus FastLZ") << "icarus-fastlz.fst" << 0 << QStringList();
    QTest::newRow("icarus gzip wrapper") << "icarus-wrapped.fst" << 0 << QStringList();
    QTest::newRow("icarus cut short") << "icarus-killed.fst" << 1 << QStringList();
    // LZ4 chains and hierarchy, enumeration tables (as fst2vcd -e writes them); the hierarchy compressed twice.
    QTest::newRow("verilator") << "verilator.fst" << 0 << QStringList();
    QTest::newRow("verilator LZ4 twice") << "verilator-lz4twice.fst" << 0 << QStringList();
    QTest::newRow("verilator enumerations") << "verilator-enum.fst" << 0 << QStringList();
    QTest::newRow("ghdl") << "ghdl.fst" << 0 << QStringList();
    // Strings, and a real whose only value is the frame's NaN, at the first time.
    QTest::newRow("ghdl strings") << "ghdl-enums.fst" << 0 << QStringList{"r=r: ", "r=r:nan@0,nan@20000000 "};
    // Every variable type, strings, a 70-bit vector, several changes at one time.
    QTest::newRow("vcd2fst -Z") << "mixed-Z.fst" << 0 << QStringList();
    QTest::newRow("vcd2fst -F") << "mixed-F.fst" << 0 << QStringList();
    QTest::newRow("vcd2fst -4") << "mixed-4.fst" << 0 << QStringList();
    QTest::newRow("vcd2fst -c") << "mixed-wrapped.fst" << 0 << QStringList();
}

void TestFstImport::sameAsVcd()
{
    QFETCH(QString, file);
    QFETCH(int, warnings);
    QFETCH(QStringList, frameOnly);
    RecordingReporter fromFst, fromVcd;
    const QString fst = convert(data(file), fromFst, QStringLiteral("fst.dvn"));
    QVERIFY2(!fst.isEmpty(), qPrintable(fromFst.m_Errors.join('\n')));
    // The VCD that fst2vcd wrote of the same file.
    QString vcd = convert(data(file + ".vcd"), fromVcd, QStringLiteral("vcd.dvn"));
    QVERIFY2(!vcd.isEmpty(), qPrintable(fromVcd.m_Errors.join('\n')));
    if (!frameOnly.isEmpty()) {
        QVERIFY(vcd.contains(frameOnly[0]));
        vcd.replace(frameOnly[0], frameOnly[1]);
    }
    QCOMPARE(fst, vcd);
    // The FST's own warnings (cut short) come beside the VCD's.
    QCOMPARE(fromFst.m_Warnings.size(), fromVcd.m_Warnings.size() + warnings);
    for (const QString &warning : fromFst.m_Warnings)
        QVERIFY2(warning.contains(file), qPrintable(warning));
}

void TestFstImport::peerTools_data()
{
    QTest::addColumn<QString>("flag");
    QTest::newRow("zlib") << "-Z";
    QTest::newRow("FastLZ") << "-F";
    QTest::newRow("LZ4") << "-4";
    QTest::newRow("gzip wrapper") << "-c";
}

void TestFstImport::peerTools()
{
    QFETCH(QString, flag);
    const QString vcd2fst = QStandardPaths::findExecutable(QStringLiteral("vcd2fst"));
    const QString fst2vcd = QStandardPaths::findExecutable(QStringLiteral("fst2vcd"));
    if (vcd2fst.isEmpty() || fst2vcd.isEmpty())
        QSKIP("vcd2fst and fst2vcd (Debian package gtkwave) are not installed");
    const QString fst = m_Dir.filePath(QStringLiteral("peer.fst"));
    const QString back = m_Dir.filePath(QStringLiteral("peer.vcd"));
    QFile::remove(fst);
    QCOMPARE(QProcess::execute(vcd2fst, {flag, data(QStringLiteral("mixed.vcd")), fst}), 0);
    QProcess toVcd;
    toVcd.setStandardOutputFile(back);
    toVcd.start(fst2vcd, {fst});
    QVERIFY(toVcd.waitForFinished() && toVcd.exitCode() == 0);
    RecordingReporter fromFst, fromVcd;
    const QString model = convert(fst, fromFst, QStringLiteral("peer-fst.dvn"));
    QVERIFY2(!model.isEmpty(), qPrintable(fromFst.m_Errors.join('\n')));
    QCOMPARE(model, convert(back, fromVcd, QStringLiteral("peer-vcd.dvn")));
}

// A value the import leaves out is cited by the FST file's block and time, as there is no text.
void TestFstImport::warningCitesBlock()
{
    const QString vcd2fst = QStandardPaths::findExecutable(QStringLiteral("vcd2fst"));
    if (vcd2fst.isEmpty())
        QSKIP("vcd2fst (Debian package gtkwave) is not installed");
    const QString vcd = m_Dir.filePath(QStringLiteral("odd.vcd"));
    const QString fst = m_Dir.filePath(QStringLiteral("odd.fst"));
    QFile text(vcd);
    QVERIFY(text.open(QIODevice::WriteOnly | QIODevice::Truncate));
    text.write("$timescale 1ns $end\n$scope module top $end\n$var wire 4 ! bus [3:0] $end\n$upscope $end\n"
               "$enddefinitions $end\n#0\nb0000 !\n#10\nb01?1 !\n#20\nb0101 !\n");
    text.close();
    QFile::remove(fst);
    QCOMPARE(QProcess::execute(vcd2fst, {vcd, fst}), 0);
    RecordingReporter reporter;
    QVERIFY2(!convert(fst, reporter, QStringLiteral("odd.dvn")).isEmpty(), qPrintable(reporter.m_Errors.join('\n')));
    QCOMPARE(reporter.m_Warnings, QStringList{fst + ": value-change block 1, time 10: invalid value '01?1' for '!' left out"});
}

void TestFstImport::longRuns_data()
{
    QTest::addColumn<int>("steps");
    QTest::addColumn<bool>("odd");
    // A signal's changes of one block pass to its storing thread together: more of them than one
    // handover holds, and among them nine-state values (late, or from the first on) and an invalid one.
    QTest::newRow("across handovers") << 100000 << false;
    QTest::newRow("nine-state and invalid values") << 3000 << true;
}

void TestFstImport::longRuns()
{
    QFETCH(int, steps);
    QFETCH(bool, odd);
    const QString vcd2fst = QStandardPaths::findExecutable(QStringLiteral("vcd2fst"));
    if (vcd2fst.isEmpty())
        QSKIP("vcd2fst (Debian package gtkwave) is not installed");
    QByteArray text("$timescale 1ns $end\n$scope module top $end\n$var wire 1 a bit $end\n$var reg 12 b bus $end\n"
                    "$var integer 32 c count $end\n$var real 64 d level $end\n$var event 1 e tick $end\n$var reg 4 f nine $end\n"
                    "$upscope $end\n$enddefinitions $end\n");
    for (int t = 0; t < steps; ++t) {
        const QByteArray bus = QByteArray::number(t * 37 % 4096, 2).rightJustified(12, '0');
        const bool late = odd && t > steps / 2 && t % 97 == 0;
        text += "#" + QByteArray::number(t * 5) + "\n" + (late ? "u" : QByteArray::number(t / 3 % 2)) + "a\nb"
                + (late ? "w" + bus.mid(1) : odd && t == 1500 ? "01?1" : bus) + " b\nb" + QByteArray::number(t, 2)
                + " c\nr" + QByteArray::number(t % 7 * 0.5) + " d\n" + (t % 5 ? "" : "1e\n") + "b"
                + (t ? QByteArray::number(t % 16, 2) : "u1") + " f\n";
    }
    const QString vcd = m_Dir.filePath(QStringLiteral("runs.vcd"));
    const QString fst = m_Dir.filePath(QStringLiteral("runs.fst"));
    QFile file(vcd);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size());
    file.close();
    QFile::remove(fst);
    QCOMPARE(QProcess::execute(vcd2fst, {vcd, fst}), 0);
    RecordingReporter fromVcd;
    const QString expected = convert(vcd, fromVcd, QStringLiteral("runs-vcd.dvn"));
    QVERIFY(!expected.isEmpty());
    for (const int threads : {1, 2}) {
        RecordingReporter fromFst;
        QCOMPARE(convert(fst, fromFst, QStringLiteral("runs-fst.dvn"), threads), expected);
        QCOMPARE(fromFst.m_Warnings.size(), fromVcd.m_Warnings.size());
    }
}

void TestFstImport::fastLz_data()
{
    QTest::addColumn<QByteArray>("packed");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("size");
    QTest::newRow("level 1, long match") << QByteArray::fromHex("0668656c6c6f2c20e00106026c6f21")
                                         << QByteArray("hello, hello, hello!") << 20;
    QTest::newRow("level 1, repeats") << QByteArray::fromHex("02616263e0030208646566646566646566")
                                      << QByteArray("abcabcabcabcabcdefdefdef") << 24;
    QTest::newRow("level 2, extended length") << QByteArray::fromHex("216161e0ffff4c0002616161")
                                              << QByteArray(600, 'a') << 600;
    QTest::newRow("match before the start") << QByteArray::fromHex("0068e0ff07") << QByteArray() << 300;
    QTest::newRow("longer than told") << QByteArray::fromHex("0668656c6c6f2c20e00106026c6f21") << QByteArray() << 19;
    QTest::newRow("input cut in a match") << QByteArray::fromHex("0668656c6c6f2c20e001") << QByteArray() << 20;
    QTest::newRow("level 3") << QByteArray::fromHex("4061") << QByteArray() << 1;
}

void TestFstImport::fastLz()
{
    QFETCH(QByteArray, packed);
    QFETCH(QByteArray, expected);
    QFETCH(int, size);
    std::vector<unsigned char> out(size_t(size) + 16, 0xEE);
    const bool ok = Dovlin_FastLzDecode(reinterpret_cast<const unsigned char *>(packed.constData()), size_t(packed.size()),
                                        out.data(), size_t(size));
    QCOMPARE(ok, !expected.isEmpty());
    if (ok)
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(out.data()), size), expected);
    // Nothing is written past the size told.
    QCOMPARE(out[size_t(size)], 0xEE);
}

void TestFstImport::damaged_data()
{
    QTest::addColumn<QString>("file");
    // The block type whose payload is patched (-1: the file's own bytes), where, and with what;
    // the reason the import gives.
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QTest::newRow("byte order") << "icarus.fst" << -1 << 25 << QByteArray(8, 0) << "byte-order test";
    QTest::newRow("geometry count") << "icarus.fst" << 3 << 15 << QByteArray(1, 40) << "geometry block at offset";
    QTest::newRow("block length past the end of a frame") << "icarus.fst" << 8 << 24 << QByteArray(1, char(0x7f))
                                                          << "value-change block 1 at offset 330";
    QTest::newRow("chain index") << "mixed-Z.fst" << 8 << -33 << QByteArray(2, char(0x7f)) << "value-change block 1";
    QTest::newRow("time count") << "icarus.fst" << 8 << -1 << QByteArray(1, char(0xff)) << "value-change block 1";
    QTest::newRow("time table size") << "icarus.fst" << 8 << -9 << QByteArray(1, char(0x70)) << "block 1 at offset 330: its index";
    QTest::newRow("hierarchy size") << "icarus.fst" << 4 << 6 << QByteArray(1, char(0x7f)) << "hierarchy block";
    QTest::newRow("lz4 hierarchy") << "verilator.fst" << 6 << 12 << QByteArray(4, char(0xff)) << "hierarchy block";
    QTest::newRow("blackout count") << "icarus.fst" << 2 << 0 << QByteArray(1, 0x7f) << "blackout block";
    QTest::newRow("gzip wrapper") << "ghdl.fst" << -1 << 30 << QByteArray(4, 0) << "gzip wrapper";
    QTest::newRow("cut short without side file") << "icarus.fst" << -1 << 815 << QByteArray(9, char(0xff))
                                                 << "before its hierarchy was written";
}

void TestFstImport::damaged()
{
    QFETCH(QString, file);
    QFETCH(int, block);
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QFile original(data(file));
    QVERIFY(original.open(QIODevice::ReadOnly));
    QByteArray content = original.readAll();
    // The payload of the first block of the type; a negative offset counts from its end.
    qsizetype at = offset;
    for (qsizetype pos = 330; block >= 0 && pos + 9 <= content.size();) {
        qint64 length = 0;
        for (int i = 1; i <= 8; ++i)
            length = length << 8 | quint8(content[pos + i]);
        if (content[pos] == char(block)) {
            at = offset >= 0 ? pos + 9 + offset : pos + 1 + length + offset;
            break;
        }
        pos += 1 + length;
    }
    QVERIFY(at >= 0 && at + bytes.size() <= content.size());
    content.replace(at, bytes.size(), bytes);
    const QString damaged = m_Dir.filePath(QStringLiteral("damaged.fst"));
    QFile out(damaged);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(content) == content.size());
    out.close();
    RecordingReporter reporter;
    QVERIFY(convert(damaged, reporter, QStringLiteral("damaged.dvn")).isEmpty());
    QCOMPARE(reporter.m_Errors.size(), 1);
    QVERIFY2(reporter.m_Errors[0].contains(damaged) && reporter.m_Errors[0].contains(reason),
             qPrintable(reporter.m_Errors[0]));
    QVERIFY(!QFile::exists(m_Dir.filePath(QStringLiteral("damaged.dvn"))));
}

// The wave file goes beside the FST file and stands while the FST file is unchanged, beside that
// of the VCD file of the same name; progress runs once through the FST file.
void TestFstImport::waveFileReusedAndProgress()
{
    const QString fst = m_Dir.filePath(QStringLiteral("reused.fst"));
    const QString vcd = m_Dir.filePath(QStringLiteral("reused.vcd"));
    QFile::remove(fst);
    QFile::remove(vcd);
    QVERIFY(QFile::copy(data(QStringLiteral("icarus.fst")), fst));
    QVERIFY(QFile::copy(data(QStringLiteral("icarus.fst.vcd")), vcd));
    QVERIFY(Dovlin_VcdImport(nullptr).Convert(vcd));
    RecordingReporter reporter;
    Dovlin_VcdImport importer(&reporter);
    QVERIFY(importer.Convert(fst));
    QCOMPARE(importer.WaveFileName(), m_Dir.filePath(QStringLiteral("reused-fst.dvn")));
    QCOMPARE(Dovlin_VcdImport::UpToDateWaveFile(vcd), m_Dir.filePath(QStringLiteral("reused.dvn")));
    const qint64 size = QFileInfo(fst).size();
    QCOMPARE(reporter.m_Total, size);
    QVERIFY(std::is_sorted(reporter.m_Progress.begin(), reporter.m_Progress.end()));
    QCOMPARE(reporter.m_Progress.last(), size);
    QCOMPARE(Dovlin_VcdImport::UpToDateWaveFile(fst), importer.WaveFileName());
    QFile file(fst);
    QVERIFY(file.open(QIODevice::Append) && file.write(QByteArray(1, 0)) == 1);
    file.close();
    QVERIFY(Dovlin_VcdImport::UpToDateWaveFile(fst).isEmpty());
}

QTEST_GUILESS_MAIN(TestFstImport)
#include "tst_fstimport.moc"
