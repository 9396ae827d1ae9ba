// The batch converter dovlin-convert, run as a separate process.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TestConvert : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

void TestConvert::run_data()
{
    QTest::addColumn<QByteArray>("vcd");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("errors");
    QTest::addColumn<QString>("wave");

    const QByteArray good("$timescale 1ns $end\n$scope module top $end\n$var wire 2 ! v [1:0] $end\n$upscope $end\n"
                          "#0 b01 !\n#10 b10 !\n");
    QTest::newRow("converted beside the dump")
        << good << QStringList{"IN"} << 0
        << "IN -> DIR/in.dvn: 2 signals, 4 nodes, 4 events, time unit 1 ns, [0-9.]+ s, [0-9.]+ MB/s\n"
        << "" << "in.dvn";
    QTest::newRow("output named")
        << good << QStringList{"IN", "-o", "DIR/other.dvn"} << 0 << "IN -> DIR/other.dvn: 2 signals, .*\n" << ""
        << "other.dvn";
    QTest::newRow("warnings on standard error")
        << QByteArray("$var wire 1 ! a $end\n$crash $end\n#1 1!\n") << QStringList{"IN"} << 0 << "IN -> .*\n"
        << "warning: IN: line 2: unknown command '\\$crash' skipped\n" << "in.dvn";
    QTest::newRow("syntax error with its line")
        << QByteArray("$var wire 1 ! a $end\n#1\nfoo\n") << QStringList{"IN"} << 1 << ""
        << "syntax error\nerror: Cannot import IN: line 3: syntax error: unexpected 'foo'\n" << "";
    QTest::newRow("missing dump") << QByteArray() << QStringList{"DIR/none.vcd"} << 1 << ""
                                  << "error: Cannot import DIR/none.vcd: No such file or directory\n" << "";
    QTest::newRow("no arguments") << good << QStringList() << 2 << "" << "usage: .*\n" << "";
    QTest::newRow("unknown option") << good << QStringList{"IN", "-x"} << 2 << "" << "usage: .*\n" << "";
}

void TestConvert::run()
{
    QFETCH(QByteArray, vcd);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QString, errors);
    QFETCH(QString, wave);

    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("in.vcd"));
    QFile file(input);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(vcd);
    file.close();
    const auto expand = [&](QString text, bool pattern) {
        const QString in = pattern ? QRegularExpression::escape(input) : input;
        const QString folder = pattern ? QRegularExpression::escape(dir.path()) : dir.path();
        return text.replace(QLatin1String("IN"), in).replace(QLatin1String("DIR"), folder);
    };
    for (QString &argument : arguments)
        argument = expand(argument, false);

    QProcess converter;
    converter.start(QStringLiteral(DOVLIN_BIN_DIR "/dovlin-convert"), arguments);
    QVERIFY(converter.waitForFinished(30000));
    QCOMPARE(converter.exitStatus(), QProcess::NormalExit);
    QCOMPARE(converter.exitCode(), exitCode);
    const QString out = QString::fromUtf8(converter.readAllStandardOutput());
    const QString err = QString::fromUtf8(converter.readAllStandardError());
    QVERIFY2(QRegularExpression("^" + expand(output, true) + "$").match(out).hasMatch(), qPrintable(out));
    QVERIFY2(QRegularExpression("^" + expand(errors, true) + "$").match(err).hasMatch(), qPrintable(err));
    const QStringList written = QDir(dir.path()).entryList({"*.dvn"}, QDir::Files);
    QCOMPARE(written, wave.isEmpty() ? QStringList() : QStringList{wave});
}

QTEST_GUILESS_MAIN(TestConvert)
#include "tst_convert.moc"
