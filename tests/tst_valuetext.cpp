#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Signals.h"
#include "Dovlin_Utilities.h"

#include <QTest>

namespace {

Dovlin_ScalarHierarchy *MakeLeaf(Dovlin_FileManager &fm, Dovlin_Signal *signal)
{
    auto *leaf = &fm.AddNode<Dovlin_ScalarHierarchy>();
    leaf->SetSignal(signal);
    return leaf;
}

// A bus "bus" of four-state bits "bus[i]", first child leftmost, each set at time 10 to its
// state and closed at 50.
Dovlin_CompositeHierarchy *MakeBus(Dovlin_FileManager &fm, const QList<int> &states)
{
    auto *bus = &fm.AddNode<Dovlin_CompositeHierarchy>(QStringLiteral("bus"));
    for (int state : states) {
        Dovlin_Signal *bit = fm.AddSignalOfType(8);
        bit->AddEvent(10, state);
        bit->AddLastEvent(50);
        Dovlin_ScalarHierarchy *leaf = MakeLeaf(fm, bit);
        leaf->SetName(QStringLiteral("bus[%1]").arg(bus->GetnChild()));
        bus->AddHierarchy(leaf);
    }
    return bus;
}

} // namespace

class tst_ValueText : public QObject
{
    Q_OBJECT

private slots:
    // tst_values reads integers of every declared width off a dump; a width the file did not
    // record (0) is guessed from the values: 32 bits when they all fit.
    void integerText_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("radix");
        QTest::addColumn<QString>("text");
        QTest::newRow("unsigned 8-bit parameter, signed") << qint64(200) << 8 << 8 << " -56d ";
        QTest::newRow("unrecorded, needs 64 bits") << (qint64(1) << 40) << 0 << 2 << " 10000000000h";
    }

    void integerText()
    {
        QFETCH(qint64, value);
        QFETCH(int, width);
        QFETCH(int, radix);
        QFETCH(QString, text);
        Dovlin_FileManager fm;
        auto *signal = static_cast<Dovlin_IntSignal *>(fm.AddSignalOfType(1));
        if (width)
            signal->SetDeclaredWidth(width);
        signal->AddEvent(10, value);
        signal->AddLastEvent(20);
        QCOMPARE(signal->GetSignalState(11, radix), text);
    }

    void logicStates_data()
    {
        QTest::addColumn<int>("typeCode");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("color");
        QTest::addColumn<double>("height");
        QTest::newRow("two-state 1") << 4 << 1 << "1" << 0x00FF00u << 1.0;
        QTest::newRow("two-state 2 is outside") << 4 << 2 << "?" << 0xFF0000u << 0.5;
        QTest::newRow("four-state Z") << 8 << 2 << "Z" << 0x0000FFu << 0.5;
        QTest::newRow("nine-state U") << 16 << 0 << "U" << 0xFFFFFFu << 0.5;
        QTest::newRow("nine-state 9 is outside") << 16 << 9 << "?" << 0xFF0000u << 0.5;
        QTest::newRow("huge state") << 16 << 0x7fffffff << "?" << 0xFF0000u << 0.5;
    }

    void logicStates()
    {
        QFETCH(int, typeCode);
        QFETCH(int, state);
        QFETCH(QString, text);
        QFETCH(uint, color);
        QFETCH(double, height);
        Dovlin_FileManager fm;
        Dovlin_Signal *signal = fm.AddSignalOfType(typeCode);
        signal->AddEvent(10, state);
        signal->AddLastEvent(20);
        auto *type = dynamic_cast<Dovlin_StateType *>(signal);
        QVERIFY(type);
        QCOMPARE(type->StateColor(state), color);
        QCOMPARE(type->StateHeight(state), height);
        for (int radix : {1, 2, 4, 8})
            QCOMPARE(signal->GetSignalState(11, radix), text);
    }

    // Bit letters, most significant first, in every radix: octal and the values wider than 64 bits
    // are not in tst_values's dumps.
    void busText_data()
    {
        QTest::addColumn<QString>("bits");
        QTest::addColumn<QString>("binary");
        QTest::addColumn<QString>("hexadecimal");
        QTest::addColumn<QString>("octal");
        QTest::addColumn<QString>("asUnsigned");
        QTest::addColumn<QString>("asSigned");
        QTest::newRow("x01z") << "X01Z" << " X01Zb" << " Xh" << " XXo" << " X01Zb" << " X01Zb";
        QTest::newRow("Z group and digit") << "ZZZZ0001" << " ZZZZ0001b" << " Z1h" << " ZX1o" << " ZZZZ0001b" << " ZZZZ0001b";
        QTest::newRow("short group of Z on the left") << "ZZ1111" << " ZZ1111b" << " ZFh" << " X7o" << " ZZ1111b" << " ZZ1111b";
        QTest::newRow("U") << "UUUU" << " UUUUb" << " Uh" << " UUo" << " UUUUb" << " UUUUb";
        QTest::newRow("dash") << "----" << " ----b" << " -h" << " --o" << " ----b" << " ----b";
        QTest::newRow("L and H are 0 and 1") << "HLHH" << " HLHHb" << " Bh" << " 13o" << " 11u " << " -5d ";
        QTest::newRow("no value beside values") << "?1" << " ?1b" << " Xh" << " Xo" << " ?1b" << " ?1b";
        QTest::newRow("64 ones") << QString(64, '1') << " " + QString(64, '1') + "b" << " " + QString(16, 'F') + "h"
                                 << " 1" + QString(21, '7') + "o" << " 18446744073709551615u " << " -1d ";
        QTest::newRow("most negative of 64") << "1" + QString(63, '0') << " 1" + QString(63, '0') + "b"
                                             << " 8" + QString(15, '0') + "h" << " 1" + QString(21, '0') + "o" << " 9223372036854775808u "
                                             << " -9223372036854775808d ";
        QTest::newRow("2^64, 65 bits") << "1" + QString(64, '0') << " 1" + QString(64, '0') + "b"
                                       << " 1" + QString(16, '0') + "h" << " 2" + QString(21, '0') + "o" << " 18446744073709551616u "
                                       << " -18446744073709551616d ";
        QTest::newRow("128 ones") << QString(128, '1') << " " + QString(128, '1') + "b" << " " + QString(32, 'F') + "h"
                                  << " 3" + QString(42, '7') + "o" << " 340282366920938463463374607431768211455u " << " -1d ";
        const QString e20 = QStringLiteral("000001010110101111000111010111100010110101100011000100000000000000000000");
        QTest::newRow("10^20, 72 bits") << e20 << " " + e20 + "b" << " 56BC75E2D63100000h" << " 12657072742654304000000o" << " 100000000000000000000u " << " 100000000000000000000d ";
    }

    void busText()
    {
        QFETCH(QString, bits);
        QFETCH(QString, binary);
        QFETCH(QString, hexadecimal);
        QFETCH(QString, octal);
        QFETCH(QString, asUnsigned);
        QFETCH(QString, asSigned);
        QCOMPARE(BusText(bits, Dovlin_Radix::Binary), binary);
        QCOMPARE(BusText(bits, Dovlin_Radix::Hexadecimal), hexadecimal);
        QCOMPARE(BusText(bits, Dovlin_Radix::Octal), octal);
        QCOMPARE(BusText(bits, Dovlin_Radix::Unsigned), asUnsigned);
        QCOMPARE(BusText(bits, Dovlin_Radix::Signed), asSigned);
    }

    // A vector shows its bits in its radix; before its first change and past the end it has no
    // value; a scope, even of one-bit leaves only, runs its members' texts together.
    void busAndScope()
    {
        Dovlin_FileManager fm;
        Dovlin_CompositeHierarchy *bus = MakeBus(fm, {1, 3, 0, 2});
        QVERIFY(bus->IsBus());
        QCOMPARE(bus->GetSignalState(10), QStringLiteral(" 1X0Zb"));
        QCOMPARE(bus->GetSignalState(9), QString());
        QCOMPARE(bus->GetSignalState(51), QString());

        auto *scope = &fm.AddNode<Dovlin_CompositeHierarchy>(QStringLiteral("top"));
        Dovlin_Signal *clk = fm.AddSignalOfType(4);
        clk->AddEvent(0, 1);
        clk->AddLastEvent(50);
        Dovlin_Signal *rst = fm.AddSignalOfType(8);
        rst->AddEvent(20, 0);
        rst->AddLastEvent(50);
        QVERIFY(scope->AddHierarchy(MakeLeaf(fm, clk)));
        QVERIFY(scope->AddHierarchy(MakeLeaf(fm, rst)));
        QVERIFY(!scope->IsBus());
        QCOMPARE(scope->GetSignalState(10), QStringLiteral("1"));
        Dovlin_Signal *count = fm.AddSignalOfType(1);
        count->AddEvent(0, qint64(7));
        count->AddLastEvent(50);
        QVERIFY(scope->AddHierarchy(MakeBus(fm, {1, 0})));
        QVERIFY(scope->AddHierarchy(MakeLeaf(fm, count)));
        scope->m_Radix = 1;
        QCOMPARE(scope->GetSignalState(25), QStringLiteral("10 2u  7u "));
    }

    // The text is computed afresh each time: a radix change shows at once. The file records no
    // width: values that fit 32 bits read in 32.
    void radixReadEachTime()
    {
        Dovlin_FileManager fm;
        Dovlin_Signal *count = fm.AddSignalOfType(1);
        count->AddEvent(0, qint64(-2));
        count->AddEvent(20, qint64(3));
        count->AddLastEvent(50);
        Dovlin_ScalarHierarchy *leaf = MakeLeaf(fm, count);
        QCOMPARE(leaf->GetSignalState(5), QStringLiteral(" 4294967294u "));
        leaf->m_Radix = 8;
        QCOMPARE(leaf->GetSignalState(5), QStringLiteral(" -2d "));
        QCOMPARE(leaf->GetSignalState(25), QStringLiteral(" 3d "));
        QCOMPARE(leaf->GetSignalState(-1), QString());
    }

    void timeText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("timeBase");
        QTest::addColumn<qint64>("time"); // -1: refused with the error
        QTest::addColumn<QString>("error");
        QTest::newRow("decimal with unit") << " 1.5 us " << -9 << qint64(1500) << "";
        QTest::newRow("file's unit") << "200" << -9 << qint64(200) << "";
        QTest::newRow("micro sign, capital S") << QString("0.25\u00b5S") << -9 << qint64(250) << "";
        QTest::newRow("zeros of a finer unit") << "3000ps" << -9 << qint64(3) << "";
        QTest::newRow("unit with no name") << "3ns" << -10 << qint64(30) << "";
        QTest::newRow("not a number") << "soon" << -9 << qint64(-1) << "\"soon\" is not a time: give a number with a unit "
                                                                   "(s, ms, us, ns, ps or fs), or a number of the file's unit (1 ns)";
        QTest::newRow("unknown unit") << "5 min" << -9 << qint64(-1) << "\"min\" is not a time unit: use s, ms, us, ns, ps or fs";
        QTest::newRow("finer than the unit") << "1.5ps" << -9 << qint64(-1) << "1.5ps is not a whole number of the file's unit (1 ns)";
        QTest::newRow("past the end") << "5001ns" << -9 << qint64(-1) << "5001ns lies past the end of the file (5000 ns)";
        QTest::newRow("odd unit, past the end") << "1ms" << -10 << qint64(-1) << "1ms lies past the end of the file (5000 x 1e-10 s)";
        QTest::newRow("negative") << "-3ns" << -9 << qint64(-1) << "-3ns lies before the start of the file (0)";
    }

    // Times typed for Go To Time, in a file whose last time is 5000 of its unit.
    void timeText()
    {
        QFETCH(QString, text);
        QFETCH(int, timeBase);
        QFETCH(qint64, time);
        QFETCH(QString, error);
        qint64 parsed = -1;
        QString reason;
        QCOMPARE(ParseTimeText(text, timeBase, 5000, parsed, reason), time >= 0);
        QCOMPARE(reason, error);
        QVERIFY(time < 0 || parsed == time);
    }
};

QTEST_GUILESS_MAIN(tst_ValueText)
#include "tst_valuetext.moc"
