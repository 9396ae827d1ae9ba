// Dumps written by real simulators: copies of a public corpus (tests/data/corpus) and dumps of
// small designs of our own (tests/data/vcd, with their sources).
#include "Dovlin_VcdImport.h"
#include "tst_vcdimport_support.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

using namespace VcdTesting;

namespace {
const QString dataDir = QStringLiteral(DOVLIN_TEST_DATA);
}

class TestCorpus : public QObject
{
    Q_OBJECT

private:
    bool import(const QString &file, RecordingReporter &reporter, Dovlin_FileManager &model);

    QTemporaryDir m_Dir;

private slots:
    void converts_data();
    void converts();
    void values_data();
    void values();
    void waveFilesUnchanged_data();
    void waveFilesUnchanged();
};

bool TestCorpus::import(const QString &file, RecordingReporter &reporter, Dovlin_FileManager &model)
{
    Dovlin_VcdImport importer(&reporter);
    const QString wave = m_Dir.filePath(QString(file).replace('/', '_') + ".dvn");
    return importer.Convert(dataDir + "/" + file, wave) && model.Load(wave);
}

void TestCorpus::converts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("timeBase");
    QTest::addColumn<QString>("problem");

    // Every dump but these converts without a word.
    const QHash<QString, QString> problems{
        {"corpus/VCD_file_with_errors.vcd", "line 92: syntax error: unexpected end of file inside scope 'SPI_i'"},
        {"corpus/github_issues/issue40.vcd", "line 4: unknown command '$crash' skipped"},
        {"corpus/migen/fractional_time_stamp.vcd", "line 13: time stamp #3.2 has a fraction: the time unit is refined to 1 ms"},
        {"corpus/wellen/issue_5.vcd", "line 10: time stamp #1 goes back before 4; value changes are kept at 4 "
                                      "until the time passes it (and 1 more like it)"}};
    QDirIterator files(dataDir, {"*.vcd"}, QDir::Files, QDirIterator::Subdirectories);
    QStringList names;
    while (files.hasNext())
        names << files.next().mid(dataDir.size() + 1);
    names.sort();
    QVERIFY(names.size() >= 20);
    for (const QString &name : std::as_const(names)) {
        QFile file(dataDir + "/" + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        const qsizetype timescale = text.indexOf("$timescale");
        const QByteArray unit = timescale < 0 ? QByteArray("s") : text.mid(timescale + 10, 20).simplified();
        const int timeBase = name.contains("fractional") ? -3
                             : unit.contains("fs")       ? -15
                             : unit.contains("ps")       ? -12
                             : unit.contains("ns")       ? -9
                                                         : 0;
        QTest::newRow(qPrintable(name)) << name << timeBase << problems.value(name);
    }
}

void TestCorpus::converts()
{
    QFETCH(QString, file);
    QFETCH(int, timeBase);
    QFETCH(QString, problem);

    RecordingReporter reporter;
    Dovlin_FileManager model;
    const bool converted = import(file, reporter, model);
    const QString prefix = dataDir + "/" + file + ": ";
    if (file.contains("with_errors")) {
        QVERIFY(!converted);
        QCOMPARE(reporter.m_Errors, QStringList{"Cannot import " + prefix + problem});
        return;
    }
    QVERIFY2(converted, qPrintable(reporter.m_Errors.join('\n')));
    QCOMPARE(reporter.m_Errors, QStringList());
    QCOMPARE(reporter.m_Warnings, problem.isEmpty() ? QStringList() : QStringList{prefix + problem});
    QCOMPARE(model.GetTimeBase(), timeBase);
    QVERIFY(model.GetnHierarchy() > 0);
}

void TestCorpus::values_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("time");
    QTest::addColumn<QString>("value");

    const auto row = [](const char *file, const char *path, qint64 time, const char *value) {
        QTest::addRow("%s %s @%lld", file, path, time) << QString::fromLatin1(file) << QString::fromLatin1(path) << time
                                                      << QString::fromLatin1(value);
    };
    // Our own designs, dumped by the simulators; the values follow from the sources.
    // Icarus writes the precision, 100 ps, as the timescale: time stamps count in its units.
    row("vcd/icarus/icarus.vcd", "tb/count", 14900, "0000");
    row("vcd/icarus/icarus.vcd", "tb/count", 15000, "0001");
    row("vcd/icarus/icarus.vcd", "tb/dut/count", 25000, "0010");
    row("vcd/icarus/icarus.vcd", "tb/dut/clk", 5000, "1");
    row("vcd/icarus/icarus.vcd", "tb/mixed", 0, "X1Z010X1");
    row("vcd/icarus/icarus.vcd", "tb/mixed", 14500, "10100101");
    row("vcd/icarus/icarus.vcd", "tb/up", 0, "001");
    row("vcd/icarus/icarus.vcd", "tb/up/up[0]", 14500, "1");
    row("vcd/icarus/icarus.vcd", "tb/cycles", 15000, "-2");
    row("vcd/icarus/icarus.vcd", "tb/ratio", 15000, "-0.5");
    row("vcd/icarus/icarus.vcd", "tb/wrap", 0, "X");
    row("vcd/verilator/verilator.vcd", "TOP/top/chain[1]/chain[1][0]", 5, "1");
    row("vcd/verilator/verilator.vcd", "TOP/top/gen[0]/u/out", 15, "0010");
    row("vcd/verilator/verilator.vcd", "TOP/top/gen[1]/u/out", 15, "0011");
    row("vcd/verilator/verilator.vcd", "TOP/top/gen[1]/u/in", 15, "0010");
    row("vcd/verilator/verilator.vcd", "TOP/top/gen[1]/u/ID", 0, "00000000000000000000000000000010");
    row("vcd/verilator/verilator.vcd", "TOP/top/signed_value", 0, "11111111111111111111111111111011");
    row("vcd/verilator/verilator.vcd", "TOP/top/state", 5, "01");
    row("vcd/ghdl/ghdl.vcd", "tb/line", 0, "U");
    row("vcd/ghdl/ghdl.vcd", "tb/line", 12000000, "H");
    row("vcd/ghdl/ghdl.vcd", "tb/line", 22000000, "L");
    row("vcd/ghdl/ghdl.vcd", "tb/line", 32000000, "1");
    row("vcd/ghdl/ghdl.vcd", "tb/bus4", 12000000, "01ZX");
    row("vcd/ghdl/ghdl.vcd", "tb/bus4", 22000000, "WLH-");
    row("vcd/ghdl/ghdl.vcd", "tb/bus4/bus4[0]", 32000000, "0");
    row("vcd/ghdl/ghdl.vcd", "tb/up/up[0]", 22000000, "1");
    row("vcd/ghdl/ghdl.vcd", "tb/count", 15000000, "0010");
    row("vcd/ghdl/ghdl.vcd", "tb/steps", 0, "0");
    row("vcd/ghdl/ghdl.vcd", "tb/steps", 15000000, "-6");
    row("vcd/ghdl/ghdl.vcd", "tb/flag", 22000000, "1");
    // Copies of the corpus; the values are those the dumps write.
    row("corpus/icarus/counter_tb.vcd", "counter_tb/out", 10, "11");
    row("corpus/icarus/counter_tb.vcd", "counter_tb/top/out/out[0]", 14, "1");
    row("corpus/icarus/counter_tb.vcd", "counter_tb/top/clock", 1, "0");
    row("corpus/icarus/surfer_issue_256.vcd", "tb/d/c/g/a1b/b", 0, "00000010");
    row("corpus/icarus/surfer_issue_256.vcd", "tb/b", 0, "00000010");
    row("corpus/icarus/pull_67_event_example.vcd", "event_example/event1", 10, "1");
    row("corpus/ghdl/oscar/vhdl3.vcd", "test/rr/a", 0, "U");
    row("corpus/ghdl/oscar/vhdl3.vcd", "test/rr/a", 100000000, "1");
    row("corpus/ghdl/oscar/vhdl3.vcd", "test/rr/b", 50000000, "HLZ-");
    row("corpus/ghdl/oscar/vhdl3.vcd", "test/rr/c/c[1]", 50000000, "W");
    row("corpus/ghdl/oscar/vhdl3.vcd", "test/rr/c", 100000000, "0101");
    row("corpus/github_issues/issue18.vcd", "logic/data_valid", 20, "0");
    row("corpus/github_issues/issue18.vcd", "logic/data", 30, "00111100");
    row("corpus/github_issues/issue40.vcd", "proj::pipeline_ready_valid::ready_valid_pipeline/\\#s1_enable", 0,
        "-none-");
    row("corpus/github_issues/issue42.vcd", "delay_tb/dut/delays[1]/delays[1][1]", 200000000, "0");
    row("corpus/github_issues/issue42.vcd", "delay_tb/output/output[0]", 0, "U");
    row("corpus/migen/fractional_time_stamp.vcd", "sys_clk", 3199, "0");
    row("corpus/migen/fractional_time_stamp.vcd", "sys_clk", 3200, "1");
    row("corpus/migen/migen_original.vcd", "orgate1", 9, "1");
    row("corpus/wellen/issue_5.vcd", "logic/data", 4, "0");
    row("corpus/wellen/issue_5.vcd", "logic/data", 5, "1");
    row("corpus/surfer/issue_145.vcd", "logic/data", 2, "0");
    row("corpus/nvc/shortstring.vcd", "string_test/str_length", 10000000, "29");
    row("corpus/gtkwave-analyzer/vcd_extensions.vcd", "main/INT32_OUT", 0, "42");
    row("corpus/gtkwave-analyzer/vcd_extensions.vcd", "main/REAL_BUF", 10, "-1");
    row("corpus/gtkwave-analyzer/vcd_extensions.vcd", "main/ENUM2_IN", 20, "10");
    row("corpus/gtkwave-analyzer/vcd_extensions.vcd", "main/SV_BYTE8_var", 0, "8");
    row("corpus/gtkwave-analyzer/vcd_extensions.vcd", "main/BLOCK0/dummy", 0, "-none-");
    row("corpus/amaranth/array-names_wellen_issue_36.vcd", "bench/top/clk", 500000000, "1");
    row("corpus/scope_with_comment.vcd", "clkdiv2n_tb/t1/r_reg", 30, "001");
    row("corpus/scope_with_comment.vcd", "clkdiv2n_tb/t1/r_nxt[2]", 70, "1");
    row("corpus/scope_with_comment.vcd", "clkdiv2n_tb/t1/WIDTH", 0, "3");
    row("corpus/wikipedia/example.vcd", "logic/data", 0, "10000001");
    row("corpus/wikipedia/example.vcd", "logic/data", 2296, "00000000");
    row("corpus/quartus/wave_registradores.vcd", "SystemC/i_WriteData/i_WriteData[1]", 50000, "1");
    row("corpus/ieee-example/tracefile.vcd", "SystemC/reltol", 0, "0.0001");
}

void TestCorpus::values()
{
    QFETCH(QString, file);
    QFETCH(QString, path);
    QFETCH(qint64, time);
    QFETCH(QString, value);

    RecordingReporter reporter;
    Dovlin_FileManager model;
    QVERIFY(import(file, reporter, model));
    const Dovlin_Hierarchy *node = findNode(model, path);
    QVERIFY2(node, qPrintable(path));
    QCOMPARE(valueAt(node, time), value);
}

// The wave file of every dump, byte for byte as a reference conversion wrote it
// (tests/data/wave-digests.txt): speed work must not change a single byte.
void TestCorpus::waveFilesUnchanged_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("digest");
    QFile list(dataDir + "/wave-digests.txt");
    QVERIFY(list.open(QIODevice::ReadOnly | QIODevice::Text));
    while (!list.atEnd()) {
        const QList<QByteArray> fields = list.readLine().trimmed().split(' ');
        if (fields.size() == 2)
            QTest::newRow(fields.at(1).constData()) << QString::fromUtf8(fields.at(1)) << fields.at(0);
    }
}

void TestCorpus::waveFilesUnchanged()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, digest);
    RecordingReporter reporter;
    Dovlin_VcdImport importer(&reporter);
    const QString wave = m_Dir.filePath(QString(file).replace('/', '_') + ".digest.dvn");
    QVERIFY(importer.Convert(dataDir + "/" + file, wave));
    QFile written(wave);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(QCryptographicHash::hash(written.readAll(), QCryptographicHash::Sha256).toHex(), digest);
}

QTEST_GUILESS_MAIN(TestCorpus)
#include "tst_corpus.moc"
