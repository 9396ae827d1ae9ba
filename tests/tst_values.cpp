// dovlin-values, run as a separate process, against texts built from the dump itself: what the
// name tree shows must be what the dump says, at every change, between changes, at 0 and past
// the end.
#include "testfiles.h"

#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <set>
#include <utility>

namespace {

// One declared variable and its value changes, read from the VCD text.
struct Variable
{
    QString m_Type;
    int m_Width = 1;
    QStringList m_Paths;
    // The bits' paths of each declaration (aliases declare a variable again).
    QList<QStringList> m_BitNames;
    QMap<qint64, QString> m_Values;
    // Its enumeration table as fst2vcd -e writes it: type, count, literals, values.
    QStringList m_Enum;
};

struct Dump
{
    // Times in the wave file's unit: the timescale's multiplier (1, 10 or 100) times the dump's.
    qint64 m_Multiplier = 1;
    QHash<QString, Variable> m_Variables;
    std::set<qint64> m_Times;
    qint64 m_End = 0;
};

const QStringList integerTypes = {"integer", "int", "shortint", "longint", "byte", "time", "parameter"};
// Before the dump's text of a real: the line shown must read back as the same double.
const QString RealMark = QStringLiteral("real ");

bool isInteger(const Variable &v)
{
    return integerTypes.contains(v.m_Type) && v.m_Width <= 64;
}

// An integer that ever holds a state other than 0 and 1 is shown as a vector of its bits.
void integersWithUnknownBits(Dump &dump)
{
    static const QRegularExpression unknown("^[bB].*[^01]");
    for (Variable &v : dump.m_Variables) {
        if (!isInteger(v) || std::none_of(v.m_Values.begin(), v.m_Values.end(),
                                          [](const QString &value) { return unknown.match(value).hasMatch(); }))
            continue;
        v.m_Type = "wire";
        for (int p = 0; p < v.m_Paths.size(); ++p)
            for (int b = v.m_Width - 1; b >= 0; --b)
                v.m_BitNames[p] << v.m_Paths[p] + "." + v.m_Paths[p].section('.', -1) + QString("[%1]").arg(b);
    }
}

Dump readDump(const QString &path)
{
    const QByteArray bytes = TestFiles::ReadAll(path);
    // As the import reads names: UTF-8 where they are, else Latin-1.
    const QString text = bytes.isValidUtf8() ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
    const QStringList tokens = text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    Dump dump;
    QStringList scopes;
    QHash<QString, QStringList> tables;
    QStringList nextEnum;
    qint64 time = 0;
    const auto change = [&](const QString &code, const QString &value) {
        if (dump.m_Variables.contains(code))
            dump.m_Variables[code].m_Values[time] = value;
    };
    for (int i = 0; i < tokens.size(); ++i) {
        const QString &t = tokens[i];
        if (t == "$scope") {
            scopes << tokens[i + 2];
            i += 3;
        } else if (t == "$upscope") {
            scopes.removeLast();
            ++i;
        } else if (t == "$var") {
            const QString type = tokens[i + 1], code = tokens[i + 3];
            const int width = tokens[i + 2].toInt();
            QStringList reference;
            for (i += 4; tokens[i] != "$end"; ++i)
                reference << tokens[i];
            if (width == 0 && type != "string")
                continue;
            const auto match = QRegularExpression("^(.*?) ?\\[(-?\\d+)(?::(-?\\d+))?\\]$").match(reference.join(' '));
            QString name = match.hasMatch() ? match.captured(1) : reference.join(' ');
            Variable &v = dump.m_Variables[code];
            v.m_Enum = std::exchange(nextEnum, {});
            v.m_Type = type;
            v.m_Width = width;
            const bool logic = !integerTypes.contains(type) && !type.contains("real") && type != "string";
            const bool ranged = match.hasMatch() && !match.captured(3).isEmpty();
            if (logic && match.hasMatch() && !ranged)
                name += "[" + match.captured(2) + "]";
            const QString nodePath = (scopes + QStringList{name}).join('.');
            v.m_Paths << nodePath;
            v.m_BitNames << QStringList();
            if (logic && width > 1) {
                int left = width - 1, step = -1;
                if (ranged) {
                    left = match.captured(2).toInt();
                    step = match.captured(3).toInt() >= left ? 1 : -1;
                }
                for (int b = 0; b < width; ++b)
                    v.m_BitNames.last() << nodePath + "." + name + QString("[%1]").arg(left + b * step);
            }
        } else if (t == "$timescale") {
            dump.m_Multiplier = QRegularExpression("^\\d+").match(tokens[i + 1]).captured(0).toLongLong();
        } else if (t == "$dumpvars" || t == "$dumpall" || t == "$dumpon" || t == "$dumpoff" || t == "$end") {
        } else if (t == "$attrbegin" && tokens[i + 1] == "misc" && tokens[i + 2] == "07") {
            QStringList words;
            for (i += 3; tokens[i] != "$end"; ++i)
                words << tokens[i];
            if (words.first() == "\"\"")
                nextEnum = tables.value(words.last());
            else
                tables.insert(words.last(), words.mid(0, words.size() - 1));
        } else if (t.startsWith('$')) {
            while (tokens[i] != "$end")
                ++i;
        } else if (t.startsWith('#')) {
            time = t.mid(1).toLongLong() * dump.m_Multiplier;
            dump.m_Times.insert(time);
            dump.m_End = qMax(dump.m_End, time);
        } else if (t[0] == 'b' || t[0] == 'B' || t[0] == 'r' || t[0] == 'R') {
            change(tokens[i + 1], t);
            ++i;
        } else if (t[0] == 's' || t[0] == 'S') {
            change(tokens[i + 1], t.mid(1));
            ++i;
        } else {
            change(t.mid(1), t.left(1));
        }
    }
    integersWithUnknownBits(dump);
    return dump;
}

// The bits of a logic value, extended to the width as the dump format says: 0 and 1 by 0,
// any other state by itself.
QString bitsOf(const QString &value, int width)
{
    QString bits = (value.startsWith('b') || value.startsWith('B') ? value.mid(1) : value).toUpper();
    const QChar fill = bits[0] == '1' ? QChar('0') : bits[0];
    return QString(qMax(0, width - int(bits.size())), fill) + bits.right(width);
}

// Decimal digits of a 0/1 text of any width, by doubling a decimal text once per bit.
QString decimal(const QString &ones)
{
    QString digits = "0";
    for (QChar bit : ones) {
        int carry = bit == '1';
        for (int i = int(digits.size()) - 1; i >= 0; --i) {
            const int d = digits[i].digitValue() * 2 + carry;
            digits[i] = QChar('0' + d % 10);
            carry = d / 10;
        }
        if (carry)
            digits.prepend('1');
    }
    return digits;
}

QString busText(const QString &bits, const QString &radix)
{
    const QString binary = bits + "b";
    QString ones = bits;
    ones.replace('L', '0').replace('H', '1');
    const bool known = !ones.contains(QRegularExpression("[^01]"));
    if (radix == "binary" || (!known && radix != "hex"))
        return binary;
    if (radix == "hex") {
        QString hex;
        for (int end = int(bits.size()); end > 0; end -= 4) {
            const QString group = ones.mid(qMax(0, end - 4), end - qMax(0, end - 4));
            if (!group.contains(QRegularExpression("[^01]")))
                hex.prepend(QString::number(group.toInt(nullptr, 2), 16).toUpper());
            else
                hex.prepend(group.count(group[0]) == group.size() ? group[0] : QChar('X'));
        }
        return hex.replace(QRegularExpression("^0+(?=.)"), "") + "h";
    }
    if (radix == "unsigned")
        return decimal(ones) + "u";
    if (ones[0] == '0')
        return decimal(ones) + "d";
    // Negative: the magnitude is the bits inverted plus one; the inverted sign bit is 0, so the
    // carry stops inside.
    QString magnitude;
    for (QChar c : ones)
        magnitude += c == '0' ? '1' : '0';
    int i = int(magnitude.size()) - 1;
    for (; magnitude[i] == '1'; --i)
        magnitude[i] = '0';
    magnitude[i] = '1';
    return "-" + decimal(magnitude) + "d";
}

// What each node of a variable shows at a time: path and text.
// The literal of an enumeration whose value is bits; empty for none.
QString literalOf(const QStringList &table, const QString &bits)
{
    const int count = table.value(1).toInt(), at = int(table.indexOf(bits, 2 + count));
    return at < 0 ? QString() : table.value(at - count);
}

QList<QPair<QString, QString>> expected(const Dump &dump, const Variable &v, qint64 time, const QString &radix)
{
    QList<QPair<QString, QString>> lines;
    auto at = v.m_Values.upperBound(time);
    const bool valued = time <= dump.m_End && at != v.m_Values.begin();
    const QString value = valued ? std::prev(at).value() : QString();
    const bool triggered = v.m_Values.contains(time) && time <= dump.m_End;
    for (int p = 0; p < v.m_Paths.size(); ++p) {
        QString text;
        if (v.m_Type == "event")
            text = triggered ? "1" : "";
        else if (!valued)
            text = "";
        else if (v.m_Type == "string") // these dumps escape only blanks
            text = QString(value).replace("\\040", " ").trimmed();
        else if (v.m_Type.contains("real"))
            text = RealMark + value.mid(1);
        else if (radix == "names" && !literalOf(v.m_Enum, bitsOf(value, v.m_Width)).isEmpty())
            text = literalOf(v.m_Enum, bitsOf(value, v.m_Width));
        else if (v.m_Width == 1 && !isInteger(v))
            text = bitsOf(value, 1);
        else // an integer shows its declared width's bits as a bus of that width would
            text = busText(bitsOf(value, v.m_Width), radix == "names" ? "binary" : radix);
        lines << qMakePair(v.m_Paths[p], text);
        for (int b = 0; b < v.m_BitNames[p].size(); ++b)
            lines << qMakePair(v.m_BitNames[p][b], valued ? bitsOf(value, v.m_Width).mid(b, 1) : QString());
    }
    return lines;
}

struct Run
{
    int m_ExitCode = -1;
    QByteArray m_Out;
    QByteArray m_Err;
};

Run runValues(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(DOVLIN_BIN_DIR "/dovlin-values"), arguments);
    Run run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit) {
        run.m_ExitCode = process.exitCode();
        run.m_Out = process.readAllStandardOutput();
        run.m_Err = process.readAllStandardError();
    }
    return run;
}

} // namespace

class TestValues : public QObject
{
    Q_OBJECT

private slots:
    void matchesTheDump_data()
    {
        QTest::addColumn<QString>("dump");
        QTest::addColumn<QString>("radix");
        const QStringList dumps = {"vcd/ghdl/ghdl.vcd", "vcd/icarus/icarus.vcd", "vcd/verilator/verilator.vcd",
                                   "values/states.vcd", "values/numbers.vcd", "values/names.vcd", "values/wide-names.vcd", "corpus/icarus/counter_tb.vcd",
                                   "corpus/ghdl/oscar/vhdl3.vcd", "corpus/wikipedia/example.vcd",
                                   "corpus/quartus/wave_registradores.vcd",
                                   "corpus/icarus/pull_67_event_example.vcd", "corpus/gtkwave-analyzer/vcd_extensions.vcd",
                                   "corpus/amaranth/up_counter.vcd"};
        for (const QString &dump : dumps)
            for (const QString radix : {"binary", "hex", "unsigned", "signed"})
                QTest::newRow(qPrintable(dump + " " + radix)) << dump << radix;
        // Checked against fst2vcd -e's text of it, whose tables name the values.
        for (const QString radix : {"names", "hex"})
            QTest::newRow(qPrintable("fst/verilator-enum.fst " + radix)) << "fst/verilator-enum.fst" << radix;
    }

    void matchesTheDump()
    {
        QFETCH(QString, dump);
        QFETCH(QString, radix);
        // Converted in a folder of its own: the wave file goes beside the dump.
        QTemporaryDir dir;
        const bool fst = dump.endsWith(".fst");
        const QString vcd = dir.filePath(fst ? "dump.fst" : "dump.vcd");
        QVERIFY(QFile::copy(QStringLiteral(DOVLIN_TEST_DATA "/") + dump, vcd));
        const Dump reference = readDump(fst ? QStringLiteral(DOVLIN_TEST_DATA "/") + dump + ".vcd" : vcd);
        QVERIFY(!reference.m_Variables.isEmpty());

        std::set<qint64> times = {0, reference.m_End + 1};
        for (qint64 t : reference.m_Times)
            times.insert({t, t + 1});
        QStringList arguments{vcd, "--radix", radix};
        for (qint64 t : times)
            arguments << QString::number(t);
        const Run run = runValues(arguments);
        QCOMPARE(run.m_ExitCode, 0);

        QHash<QString, QString> shown;
        int lines = 0;
        for (const QByteArray &line : run.m_Out.split('\n')) {
            if (line.isEmpty())
                continue;
            const QList<QByteArray> fields = line.split('\t');
            QCOMPARE(fields.size(), 3);
            shown.insert(fields[0] + "\t" + fields[1], QString::fromUtf8(fields[2]));
            ++lines;
        }
        int wanted = 0;
        for (qint64 t : times) {
            for (const Variable &v : reference.m_Variables) {
                for (const auto &[path, text] : expected(reference, v, t, radix)) {
                    const QString key = QString::number(t) + "\t" + path;
                    QVERIFY2(shown.contains(key), qPrintable("no line for " + key));
                    const QString real = text.startsWith(RealMark) ? text.mid(RealMark.size()) : QString();
                    const QString value = shown.value(key);
                    const bool sameReal = !real.isEmpty() && value.endsWith('r') && value.chopped(1).toDouble() == real.toDouble()
                                          && value.size() <= real.size() + 1;
                    QVERIFY2(sameReal || value == text, qPrintable(QString("%1: shown '%2', the dump says '%3'").arg(key, value, text)));
                    ++wanted;
                }
            }
        }
        QCOMPARE(lines, wanted);
    }

    void bothFormats_data()
    {
        QTest::addColumn<QString>("dump");
        QDirIterator files(QStringLiteral(DOVLIN_TEST_DATA), {"*.vcd"}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString dump = files.next();
            if (!dump.contains("with_errors"))
                QTest::newRow(qPrintable(dump.mid(int(strlen(DOVLIN_TEST_DATA)) + 1))) << dump;
        }
    }

    // Converted to either format, a dump shows the same values at its times and between them, but for
    // what format 1 cannot hold: names beyond Latin-1, string variables, which it leaves out, and the
    // declared widths of integers, which it guesses.
    void bothFormats()
    {
        QFETCH(QString, dump);
        QTemporaryDir dir;
        // The dump's time stamps, and the times just after them.
        const QString text = QString::fromLatin1(TestFiles::ReadAll(dump));
        QVERIFY(!text.isEmpty());
        QStringList times{"0"};
        static const QRegularExpression stamp(QStringLiteral("(?:^|\\s)#([0-9]+)(?=\\s|$)"));
        for (auto match = stamp.globalMatch(text); match.hasNext() && times.size() < 200;) {
            const qint64 t = match.next().captured(1).toLongLong();
            times << QString::number(t) << QString::number(t + 1);
        }
        QByteArray shown[2];
        for (int format : {1, 2}) {
            const QString wave = dir.filePath(QString("%1.dvn").arg(format));
            QProcess converter;
            converter.start(QStringLiteral(DOVLIN_BIN_DIR "/dovlin-convert"), {dump, "-o", wave, "--format", QString::number(format)});
            QVERIFY(converter.waitForFinished(60000) && converter.exitCode() == 0);
            const Run run = runValues(QStringList{wave, "--radix", "hex"} + times);
            QCOMPARE(run.m_ExitCode, 0);
            shown[format - 1] = run.m_Out;
        }
        if (dump.endsWith("wide-names.vcd")) {
            QVERIFY(shown[0] != shown[1] && shown[1].contains("日本.tëst_日本") && shown[1].contains("日本.😀"));
            return;
        }
        const auto pathOf = [](const QByteArray &line) { return line.split('\t').value(1); };
        QSet<QByteArray> paths;
        for (const QByteArray &line : shown[0].split('\n'))
            paths.insert(pathOf(line));
        QSet<QByteArray> integers;
        static const QRegularExpression integer(QStringLiteral("\\$var\\s+(?:%1)\\s+\\S+\\s+\\S+\\s+(\\S+)").arg(integerTypes.join('|')));
        for (auto match = integer.globalMatch(text); match.hasNext();)
            integers.insert(match.next().captured(1).toUtf8());
        const auto compared = [&](const QByteArray &out) {
            QList<QByteArray> lines = out.split('\n');
            lines.removeIf([&](const QByteArray &line) { return !paths.contains(pathOf(line)) || integers.contains(pathOf(line).split('.').last()); });
            return lines;
        };
        QCOMPARE(compared(shown[1]), compared(shown[0]));
        const QList<QByteArray> second = shown[1].split('\n');
        const bool more = std::any_of(second.cbegin(), second.cend(), [&](const QByteArray &line) { return !paths.contains(pathOf(line)); });
        QCOMPARE(more, text.contains(QRegularExpression(QStringLiteral("\\$var\\s+string"))));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        QTest::newRow("time not a number") << QStringList{"DATA/vcd/ghdl/ghdl.vcd", "12ns"} << 2
                                           << "the time '12ns' is not a whole number";
        QTest::newRow("time past the largest") << QStringList{"DATA/vcd/ghdl/ghdl.vcd", "9223372036854775808"} << 2
                                               << "the time '9223372036854775808' is out of range";
        QTest::newRow("no time") << QStringList{"DATA/vcd/ghdl/ghdl.vcd"} << 2 << "a file and at least one time";
        QTest::newRow("unknown radix") << QStringList{"DATA/vcd/ghdl/ghdl.vcd", "0", "--radix", "ternary"} << 2
                                       << "unknown radix 'ternary'";
        QTest::newRow("missing wave file") << QStringList{"DIR/none.dvn", "0"} << 1 << "cannot read DIR/none.dvn: ";
        QTest::newRow("not a wave file") << QStringList{"DATA/corpus/README.md", "0"} << 1 << "cannot read DATA/corpus/README.md: ";
        QTest::newRow("broken dump") << QStringList{"DIR/broken.vcd", "0"} << 1 << "error: Cannot import DIR/broken.vcd";
    }

    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QVERIFY(TestFiles::WriteFile(dir.filePath("broken.vcd"), "$var wire 1 ! a $end\n#1\nfoo\n"));
        const auto place = [&](QString text) {
            return text.replace("DATA", DOVLIN_TEST_DATA).replace("DIR", dir.path());
        };
        for (QString &argument : arguments)
            argument = place(argument);
        const Run run = runValues(arguments);
        QCOMPARE(run.m_ExitCode, exitCode);
        QVERIFY(run.m_Out.isEmpty());
        QVERIFY2(QString::fromUtf8(run.m_Err).contains(place(error)), run.m_Err.constData());
    }

    // As the viewer: the wave file is read as it is while its dump is the one it was converted from;
    // a dump replaced by another of the same size, its time set back, or written on, is converted again.
    void convertsAChangedDump()
    {
        QTemporaryDir dir;
        const QString vcd = dir.filePath("dump.vcd"), wave = dir.filePath("dump.dvn");
        const auto write = [](const QString &path, const QByteArray &text, const QDateTime &time) {
            QFile file(path);
            return file.open(text.isEmpty() ? QIODevice::ReadWrite : QIODevice::WriteOnly) && file.write(text) == text.size()
                   && file.setFileTime(time, QFileDevice::FileModificationTime);
        };
        const QDateTime earlier = QDateTime::currentDateTime().addSecs(-3600), later = earlier.addSecs(7200);
        QVERIFY(write(vcd, "$var wire 1 ! a $end #0 0! #10 1!\n", earlier));
        QCOMPARE(runValues({vcd, "0"}).m_Out, QByteArray("0\ta\t0\n"));
        QVERIFY(write(wave, QByteArray(), later));
        QCOMPARE(runValues({vcd, "0"}).m_Out, QByteArray("0\ta\t0\n"));
        QCOMPARE(QFileInfo(wave).lastModified(), later);
        QVERIFY(write(vcd, "$var wire 1 ! a $end #0 1! #10 0!\n", earlier.addSecs(-60)));
        QCOMPARE(runValues({vcd, "0"}).m_Out, QByteArray("0\ta\t1\n"));
        QVERIFY(write(vcd, "$var wire 1 ! a $end #0 1! #10 0! #20 1!\n", earlier.addSecs(-60)));
        QCOMPARE(runValues({vcd, "20"}).m_Out, QByteArray("20\ta\t1\n"));
    }
};

QTEST_GUILESS_MAIN(TestValues)
#include "tst_values.moc"
