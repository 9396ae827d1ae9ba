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
    QString wavePath(const QString &file) const { return m_Dir.filePath(QString(file).replace('/', '_') + ".dvn"); }

    QTemporaryDir m_Dir;

private slots:
    void converts_data();
    void converts();
    void values_data();
    void values();
};

void TestCorpus::converts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QByteArray>("digest");

    // Every dump but these converts without a word.
    const QHash<QString, QString> problems{
        {"corpus/VCD_file_with_errors.vcd", "line 92: syntax error: unexpected end of file inside scope 'SPI_i'"},
        {"corpus/github_issues/issue40.vcd", "line 4: unknown command '$crash' skipped"},
        {"corpus/migen/fractional_time_stamp.vcd", "line 13: time stamp #3.2 has a fraction: the time unit is refined to 1 ms"},
        {"corpus/wellen/issue_5.vcd", "line 10: time stamp #1 goes back before 4; value changes are kept at 4 "
                                      "until the time passes it (and 1 more like it)"}};
    // Each wave file byte for byte as a reference conversion wrote it: speed work must not change a byte.
    QHash<QString, QByteArray> digests;
    QFile list(dataDir + "/wave-digests.txt");
    QVERIFY(list.open(QIODevice::ReadOnly | QIODevice::Text));
    while (!list.atEnd()) {
        const QList<QByteArray> fields = list.readLine().trimmed().split(' ');
        if (fields.size() == 2)
            digests.insert(QString::fromUtf8(fields.at(1)), fields.at(0));
    }
    QDirIterator files(dataDir, {"*.vcd"}, QDir::Files, QDirIterator::Subdirectories);
    QStringList names;
    while (files.hasNext())
        names << files.next().mid(dataDir.size() + 1);
    names.sort();
    QVERIFY(names.size() >= 20);
    for (const QString &name : std::as_const(names))
        QTest::newRow(qPrintable(name)) << name << problems.value(name) << digests.value(name);
}

void TestCorpus::converts()
{
    QFETCH(QString, file);
    QFETCH(QString, problem);
    QFETCH(QByteArray, digest);

    RecordingReporter reporter;
    Dovlin_VcdImport importer(&reporter);
    const bool converted = importer.Convert(dataDir + "/" + file, wavePath(file));
    const QString prefix = dataDir + "/" + file + ": ";
    if (file.contains("with_errors")) {
        QVERIFY(!converted);
        QCOMPARE(reporter.m_Errors, QStringList{"Cannot import " + prefix + problem});
        return;
    }
    QVERIFY2(converted, qPrintable(reporter.m_Errors.join('\n')));
    QCOMPARE(reporter.m_Errors, QStringList());
    QCOMPARE(reporter.m_Warnings, problem.isEmpty() ? QStringList() : QStringList{prefix + problem});
    QFile written(wavePath(file));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(QCryptographicHash::hash(written.readAll(), QCryptographicHash::Sha256).toHex(), digest);
    Dovlin_FileManager model;
    QVERIFY(model.Load(wavePath(file)));
    QVERIFY(model.GetnHierarchy() > 0);
}

void TestCorpus::values_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("checks");

    // "path@time=value", space separated.
    const auto row = [](const char *file, const char *checks) { QTest::newRow(file) << file << checks; };
    // Our own designs, dumped by the simulators; the values follow from the sources.
    // Icarus writes the precision, 100 ps, as the timescale: time stamps count in its units.
    row("vcd/icarus/icarus.vcd", "tb/count@14900=0000 tb/count@15000=0001 tb/dut/count@25000=0010 "
                                 "tb/mixed@0=X1Z010X1 tb/up@0=001 tb/up/up[0]@14500=1 tb/cycles@15000=-2 "
                                 "tb/ratio@15000=-0.5 tb/wrap@0=X");
    row("vcd/verilator/verilator.vcd",
        "TOP/top/chain[1]/chain[1][0]@5=1 TOP/top/gen[0]/u/out@15=0010 TOP/top/gen[1]/u/out@15=0011 "
        "TOP/top/signed_value@0=11111111111111111111111111111011 TOP/top/state@5=01");
    row("vcd/ghdl/ghdl.vcd", "tb/line@0=U tb/line@12000000=H tb/line@22000000=L tb/bus4@12000000=01ZX "
                             "tb/bus4@22000000=WLH- tb/up/up[0]@22000000=1 tb/count@15000000=0010 "
                             "tb/steps@15000000=-6 tb/flag@22000000=1");
    // Copies of the corpus; the values are those the dumps write.
    row("corpus/icarus/counter_tb.vcd", "counter_tb/out@10=11 counter_tb/top/out/out[0]@14=1");
    row("corpus/icarus/surfer_issue_256.vcd", "tb/d/c/g/a1b/b@0=00000010");
    row("corpus/icarus/pull_67_event_example.vcd", "event_example/event1@10=1");
    row("corpus/ghdl/oscar/vhdl3.vcd", "test/rr/a@0=U test/rr/b@50000000=HLZ- test/rr/c/c[1]@50000000=W "
                                       "test/rr/c@100000000=0101");
    row("corpus/github_issues/issue18.vcd", "logic/data@30=00111100");
    row("corpus/github_issues/issue40.vcd", "proj::pipeline_ready_valid::ready_valid_pipeline/\\#s1_enable@0=-none-");
    row("corpus/github_issues/issue42.vcd",
        "delay_tb/dut/delays[1]/delays[1][1]@200000000=0 delay_tb/output/output[0]@0=U");
    row("corpus/migen/fractional_time_stamp.vcd", "sys_clk@3199=0 sys_clk@3200=1");
    row("corpus/migen/migen_original.vcd", "orgate1@9=1");
    row("corpus/wellen/issue_5.vcd", "logic/data@4=0 logic/data@5=1");
    row("corpus/surfer/issue_145.vcd", "logic/data@2=0");
    row("corpus/nvc/shortstring.vcd", "string_test/str_length@10000000=29");
    row("corpus/gtkwave-analyzer/vcd_extensions.vcd", "main/INT32_OUT@0=42 main/REAL_BUF@10=-1 main/SV_BYTE8_var@0=8 "
                                                      "main/BLOCK0/dummy@0=-none-");
    row("corpus/amaranth/array-names_wellen_issue_36.vcd", "bench/top/clk@500000000=1");
    row("corpus/scope_with_comment.vcd",
        "clkdiv2n_tb/t1/r_reg@30=001 clkdiv2n_tb/t1/r_nxt[2]@70=1 clkdiv2n_tb/t1/WIDTH@0=3");
    row("corpus/wikipedia/example.vcd", "logic/data@0=10000001 logic/data@2296=00000000");
    row("corpus/quartus/wave_registradores.vcd", "SystemC/i_WriteData/i_WriteData[1]@50000=1");
    row("corpus/ieee-example/tracefile.vcd", "SystemC/reltol@0=0.0001");
}

void TestCorpus::values()
{
    QFETCH(QString, file);
    QFETCH(QString, checks);

    RecordingReporter reporter;
    Dovlin_VcdImport importer(&reporter);
    Dovlin_FileManager model;
    QVERIFY(importer.Convert(dataDir + "/" + file, wavePath(file)) && model.Load(wavePath(file)));
    QStringList actual;
    for (const QString &check : checks.split(' ')) {
        const QString path = check.section('@', 0, 0), time = check.section('@', 1).section('=', 0, 0);
        const Dovlin_Hierarchy *node = findNode(model, path);
        actual << path + "@" + time + "=" + (node ? valueAt(node, time.toLongLong()) : QStringLiteral("no such node"));
    }
    QCOMPARE(actual.join(' '), checks);
}

QTEST_GUILESS_MAIN(TestCorpus)
#include "tst_corpus.moc"
