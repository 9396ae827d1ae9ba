// The batch converter dovlin-convert, run as a separate process.
#include "testfiles.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

class TestConvert : public QObject
{
    Q_OBJECT

private slots:
    void run_data()
    {
        QTest::addColumn<QByteArray>("vcd");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("errors");

        const QByteArray good("$timescale 1ns $end $scope module top $end $var wire 2 ! v [1:0] $end $upscope $end\n"
                              "#0 b01 !\n#10 b10 !\n");
        QTest::newRow("converted beside the dump")
            << good << QStringList{"IN"} << 0
            << "IN -> DIR/in.dvn: 2 signals, 4 nodes, 4 events, time unit 1 ns, [0-9.]+ s, [0-9.]+ MB/s\n" << "";
        QTest::newRow("relative name, converted in the working folder")
            << good << QStringList{"in.vcd"} << 0 << "in.vcd -> DIR/in.dvn: 2 signals, .*\n" << "";
        QTest::newRow("output named") << good << QStringList{"IN", "-o", "DIR/other.dvn"} << 0
                                      << "IN -> DIR/other.dvn: 2 signals, .*\n" << "";
        QTest::newRow("warnings on standard error")
            << QByteArray("$var wire 1 ! a $end\n$crash $end\n#1 1!\n") << QStringList{"IN"} << 0 << "IN -> .*\n"
            << "warning: IN: line 2: unknown command '\\$crash' skipped\n";
        QTest::newRow("format 1 leaves string variables out, and says how many")
            << QByteArray("$var string 0 ! s $end $var string 0 \" t $end $var wire 1 # w $end #0 sfoo ! sbar \" 1#\n")
            << QStringList{"IN", "--format", "1"} << 0 << "IN -> DIR/in.dvn: 3 signals, .*\n"
            << "warning: DIR/in.dvn: format 1 cannot hold string variables: 2 left out\n";
        QTest::newRow("zero-width variables left out, in one warning")
            << QByteArray("$var wire 0 ! z1 $end\n$var wire 0 \" z2 $end\n$var wire 0 # z3 $end\n$var wire 1 $ a $end\n#0 1$\n")
            << QStringList{"IN"} << 0 << "IN -> DIR/in.dvn: 1 signals, .*\n"
            << "warning: IN: line 1: variable 'z1' of width 0 left out \\(and 2 more like it\\)\n";
        QTest::newRow("syntax error with its line")
            << QByteArray("$var wire 1 ! a $end\n#1\nfoo\n") << QStringList{"IN"} << 1 << ""
            << "error: Cannot import IN: line 3: syntax error: unexpected 'foo'\n";
        // Two bits declared: a limit of one signal refuses the dump, set on the command line or in the environment.
        QTest::newRow("signal limit") << good << QStringList{"IN", "--max-signals", "1"} << 1 << ""
                                      << "error: Cannot import IN: line 1: more than 1 signals declared .*--max-signals.*\n";
        QTest::newRow("signal limit from the environment")
            << good << QStringList{"IN", "DOVLIN_MAX_SIGNALS=1"} << 1 << "" << "error: Cannot import IN: line 1: more than 1 signals .*\n";
        QTest::newRow("signal limit raised") << good << QStringList{"IN", "--max-signals", "2", "DOVLIN_MAX_SIGNALS=1"} << 0
                                             << "IN -> .*\n" << "";
        QTest::newRow("no signals") << QByteArray("$scope module top $end $upscope $end #0\n") << QStringList{"IN"} << 1
                                    << "" << "error: Cannot import IN: it holds no signals\n";
        QTest::newRow("no arguments") << good << QStringList() << 2 << "" << "dovlin-convert: no dump named\nusage: .*\n";
        QTest::newRow("unknown option") << good << QStringList{"IN", "-x"} << 2 << "" << "dovlin-convert: Unknown option 'x'.\nusage: .*\n";
        QTest::newRow("memory budget without a size") << good << QStringList{"IN", "--memory-budget", "12Q"} << 2 << ""
                                                      << "dovlin-convert: --memory-budget takes a size such as 512M or 2G\nusage: .*\n";
        QTest::newRow("threads on the command line") << good << QStringList{"IN", "--threads", "3"} << 0 << "IN -> .*\n" << "";
        QTest::newRow("no threads") << good << QStringList{"IN", "--threads", "0"} << 2 << ""
                                    << "dovlin-convert: --threads takes a positive number\nusage: .*\n";
    }

    void run()
    {
        QFETCH(QByteArray, vcd);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(QString, errors);

        QTemporaryDir dir;
        const QString input = dir.filePath(QStringLiteral("in.vcd"));
        QVERIFY(TestFiles::WriteFile(input, vcd));
        // Settings for the environment stand among the arguments as NAME=VALUE.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &setting : arguments.filter(QRegularExpression("^DOVLIN_\\w+=")))
            environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
        arguments.removeIf([](const QString &argument) { return argument.startsWith("DOVLIN_"); });
        for (QString &argument : arguments)
            argument.replace(QLatin1String("IN"), input).replace(QLatin1String("DIR"), dir.path());
        const auto matches = [&](QString pattern, const QByteArray &text) {
            pattern.replace(QLatin1String("IN"), QRegularExpression::escape(input))
                .replace(QLatin1String("DIR"), QRegularExpression::escape(dir.path()));
            return QRegularExpression("^" + pattern + "$").match(QString::fromUtf8(text)).hasMatch();
        };

        QProcess converter;
        converter.setProcessEnvironment(environment);
        converter.setWorkingDirectory(dir.path());
        converter.start(QStringLiteral(DOVLIN_BIN_DIR "/dovlin-convert"), arguments);
        QVERIFY(converter.waitForFinished(30000));
        QCOMPARE(converter.exitStatus(), QProcess::NormalExit);
        QCOMPARE(converter.exitCode(), exitCode);
        const QByteArray out = converter.readAllStandardOutput(), err = converter.readAllStandardError();
        QVERIFY2(matches(output, out), out.constData());
        QVERIFY2(matches(errors, err), err.constData());
        // A failed run leaves no wave file; a good one writes exactly the one named.
        const QString wave = arguments.contains("-o") ? "other.dvn" : "in.dvn";
        QCOMPARE(QDir(dir.path()).entryList({"*.dvn"}, QDir::Files), exitCode ? QStringList() : QStringList{wave});
    }

    // An output that is the input, by its name or another, is refused and the dump stays as it was.
    void sameFileRefused_data()
    {
        QTest::addColumn<QString>("dumpName");
        QTest::addColumn<QString>("link"); // "hard", "symbolic" or none: how OUT leads to the dump
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("same path") << "in.vcd" << "" << QStringList{"IN", "-o", "IN"};
        QTest::newRow("hard link") << "in.vcd" << "hard" << QStringList{"IN", "-o", "OUT"};
        QTest::newRow("symbolic link") << "in.vcd" << "symbolic" << QStringList{"IN", "-o", "OUT"};
        QTest::newRow("dump named .dvn") << "in.dvn" << "" << QStringList{"IN"};
    }

    void sameFileRefused()
    {
        QFETCH(QString, dumpName);
        QFETCH(QString, link);
        QFETCH(QStringList, arguments);
        const QByteArray vcd("$scope module top $end $var wire 1 ! a $end $upscope $end\n#0 1!\n");
        QTemporaryDir dir;
        const QString input = dir.filePath(dumpName), output = dir.filePath("out.dvn");
        QVERIFY(TestFiles::WriteFile(input, vcd));
        if (link == "hard")
            QCOMPARE(::link(QFile::encodeName(input).constData(), QFile::encodeName(output).constData()), 0);
        else if (link == "symbolic")
            QVERIFY(QFile::link(input, output));
        for (QString &argument : arguments)
            argument.replace("IN", input).replace("OUT", output).replace("DIR", dir.path());
        const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

        QProcess converter;
        converter.start(QStringLiteral(DOVLIN_BIN_DIR "/dovlin-convert"), arguments);
        QVERIFY(converter.waitForFinished(30000));
        QCOMPARE(converter.exitCode(), 1);
        const QString errors = QString::fromUtf8(converter.readAllStandardError());
        QVERIFY2(errors.contains(" is the dump itself, which is never overwritten"), qPrintable(errors));
        QCOMPARE(TestFiles::ReadAll(input), vcd);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    }

    // A dump whose packed events are twice the budget converts within the budget and 100 MB, into the
    // same file as with all its events in memory.
    void memoryBudget()
    {
        // 32 buses of 32 bits whose every bit flips at each of 15000 time stamps: 15 million events,
        // about 5 MB packed.
        QByteArray vcd("$timescale 1ns $end $scope module top $end\n");
        for (char code = '!'; code < '!' + 32; ++code)
            vcd += QByteArray("$var wire 32 ") + code + " v" + QByteArray::number(code) + " [31:0] $end\n";
        vcd += "$upscope $end $enddefinitions $end\n";
        const QByteArray values[2] = {"b" + QByteArray(16, '0').replace("0", "01"), "b" + QByteArray(16, '0').replace("0", "10")};
        for (int t = 0; t < 15000; ++t) {
            vcd += '#' + QByteArray::number(t) + '\n';
            for (char code = '!'; code < '!' + 32; ++code)
                vcd += values[(t + code) & 1] + ' ' + code + '\n';
        }
        QTemporaryDir dir;
        const QString input = dir.filePath(QStringLiteral("in.vcd"));
        QVERIFY(TestFiles::WriteFile(input, vcd));

        const auto convert = [&](const QString &output, const QStringList &options) {
            QProcess converter;
            converter.start(QStringLiteral(DOVLIN_BIN_DIR "/dovlin-convert"), QStringList{input, "-o", output} + options);
            return converter.waitForFinished(300000) && converter.exitStatus() == QProcess::NormalExit && converter.exitCode() == 0;
        };
        const QString kept = dir.filePath(QStringLiteral("kept.dvn")), spilled = dir.filePath(QStringLiteral("spilled.dvn"));
        QVERIFY(convert(spilled, {"--memory-budget", "1M"}));
        rusage usage = {};
        QCOMPARE(getrusage(RUSAGE_CHILDREN, &usage), 0);
        const qint64 peak = qint64(usage.ru_maxrss) << 10;
        QVERIFY(convert(kept, {"--memory-budget", "1G"}));
        const QByteArray keptBytes = TestFiles::ReadAll(kept);
        QVERIFY(keptBytes.size() > qint64(2) << 20);
        QVERIFY(keptBytes == TestFiles::ReadAll(spilled));
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizers' own memory hides the converter's peak");
#endif
        QVERIFY2(peak < (qint64(1 + 100) << 20), qPrintable(QString::number(peak >> 20) + " MB"));
    }
};

QTEST_GUILESS_MAIN(TestConvert)
#include "tst_convert.moc"
