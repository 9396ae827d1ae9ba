#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Signals.h"
#include "Dovlin_Utilities.h"

#include <QTest>

#include <limits>

namespace {

const qint64 Int64Min = std::numeric_limits<qint64>::min();

Dovlin_Signal *MakeSignal(Dovlin_FileManager &fm, int typeCode)
{
    switch (typeCode) {
    case 1:
        return new Dovlin_IntSignal(&fm);
    case 2:
        return new Dovlin_RealSignal(&fm);
    case 4:
        return new Dovlin_StateSignalT<Dovlin_BitType>(&fm);
    case 8:
        return new Dovlin_StateSignalT<Dovlin_VerilogType>(&fm);
    default:
        return new Dovlin_StateSignalT<Dovlin_StdLogicType>(&fm);
    }
}

Dovlin_ScalarHierarchy *MakeLeaf(Dovlin_FileManager &fm, Dovlin_Signal *signal)
{
    auto *leaf = new Dovlin_ScalarHierarchy(&fm);
    leaf->SetSignal(signal);
    return leaf;
}

// A bus of four-state bits, first child leftmost, each set at time 0 to its state and closed
// at 50.
Dovlin_CompositeHierarchy *MakeBus(Dovlin_FileManager &fm, const QList<int> &states)
{
    auto *bus = new Dovlin_CompositeHierarchy(&fm);
    for (int state : states) {
        Dovlin_Signal *bit = MakeSignal(fm, 8);
        bit->AddEvent(0, state);
        bit->AddLastEvent(50);
        bus->AddHierarchy(MakeLeaf(fm, bit));
    }
    return bus;
}

} // namespace

class tst_ValueText : public QObject
{
    Q_OBJECT

private slots:
    void binToNumber_data()
    {
        QTest::addColumn<QString>("bits");
        QTest::addColumn<qint64>("asUnsigned");
        QTest::addColumn<qint64>("asSigned");
        QTest::newRow("empty") << "" << qint64(0) << qint64(0);
        QTest::newRow("011") << "011" << qint64(3) << qint64(3);
        QTest::newRow("X1") << "X1" << qint64(1) << qint64(-1);
        QTest::newRow("1011") << "1011" << qint64(11) << qint64(-5);
        QTest::newRow("only 1 counts") << "01X0Z1U 1" << qint64(0b10001001) << qint64(0b10001001);
        QTest::newRow("64 bits, most negative") << "1" + QString(63, '0') << Int64Min << Int64Min;
        QTest::newRow("65 bits wrap") << "1" + QString(63, '0') + "1" << qint64(1) << qint64(1);
        QTest::newRow("70 ones") << QString(70, '1') << qint64(-1) << qint64(-1);
    }

    void binToNumber()
    {
        QFETCH(QString, bits);
        QFETCH(qint64, asUnsigned);
        QFETCH(qint64, asSigned);
        QCOMPARE(BinToUnsigned(bits), asUnsigned);
        QCOMPARE(BinToSigned(bits), asSigned);
    }

    void decToText_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("bin");
        QTest::newRow("0") << qint64(0) << "0h" << "0b";
        QTest::newRow("5") << qint64(5) << "5h" << "101b";
        QTest::newRow("255") << qint64(255) << "FFh" << "11111111b";
        QTest::newRow("-1") << qint64(-1) << QString(16, 'F') + "h" << QString(64, '1') + "b";
    }

    void decToText()
    {
        QFETCH(qint64, value);
        QFETCH(QString, hex);
        QFETCH(QString, bin);
        QCOMPARE(DecToHex(value), hex);
        QCOMPARE(DecToBin(value), bin);
    }

    void integerText_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<int>("radix");
        QTest::addColumn<QString>("text");
        QTest::newRow("binary 5") << qint64(5) << 1 << " 101b";
        QTest::newRow("binary 0") << qint64(0) << 1 << " 0b";
        QTest::newRow("binary -2") << qint64(-2) << 1 << " " + QString(63, '1') + "0b";
        QTest::newRow("hexadecimal -255") << qint64(-255) << 2 << " -ffh ";
        QTest::newRow("unsigned -1") << qint64(-1) << 4 << " 4294967295u ";
        QTest::newRow("unsigned -2") << qint64(-2) << 4 << " 4294967294u ";
        QTest::newRow("signed -2") << qint64(-2) << 8 << " -2d ";
        QTest::newRow("unsigned keeps 32 bits") << (qint64(3) << 40) + 7 << 4 << " 7u ";
        QTest::newRow("signed most negative") << Int64Min << 8 << " -9223372036854775808d ";
        QTest::newRow("radix 3") << qint64(5) << 3 << " ";
    }

    void integerText()
    {
        QFETCH(qint64, value);
        QFETCH(int, radix);
        QFETCH(QString, text);
        CSignalEvent event;
        event.m_Time = 0;
        event.m_Value.m_IntValue = value;
        QCOMPARE(Dovlin_IntType().GetSignalState(&event, radix), text);
    }

    void realText()
    {
        CSignalEvent event;
        for (int radix : {1, 2, 4, 8}) {
            event.m_Value.m_RealValue = 2.5;
            QCOMPARE(Dovlin_RealType().GetSignalState(&event, radix), QStringLiteral(" 2.5r "));
            event.m_Value.m_RealValue = -1234567.0;
            QCOMPARE(Dovlin_RealType().GetSignalState(&event, radix), QStringLiteral(" -1.23457e+06r "));
        }
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
        QTest::newRow("four-state X") << 8 << 3 << "X" << 0xFF0000u << 0.5;
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
        Dovlin_Signal *signal = MakeSignal(fm, typeCode);
        signal->AddEvent(10, state);
        signal->AddLastEvent(20);
        auto *type = dynamic_cast<Dovlin_StateType *>(signal);
        QVERIFY(type);
        QCOMPARE(type->StateColor(state), color);
        QCOMPARE(type->StateHeight(state), height);
        for (int radix : {1, 2, 4, 8})
            QCOMPARE(signal->GetSignalState(11, radix), text);
    }

    void valueAtTime_data()
    {
        QTest::addColumn<int>("typeCode");
        QTest::addColumn<int>("radix");
        QTest::addColumn<qint64>("time");
        QTest::addColumn<QString>("text");
        QTest::newRow("two-state at the change") << 4 << 4 << qint64(10) << "0";
        QTest::newRow("two-state after the change") << 4 << 4 << qint64(11) << "1";
        QTest::newRow("two-state past the end") << 4 << 4 << qint64(31) << " ";
        QTest::newRow("two-state before the sentinel") << 4 << 4 << qint64(-1) << " ";
        QTest::newRow("nine-state before") << 16 << 4 << qint64(5) << "U";
        QTest::newRow("nine-state after") << 16 << 4 << qint64(15) << "X";
        QTest::newRow("integer before, unsigned") << 1 << 4 << qint64(10) << " 0u ";
        QTest::newRow("integer after") << 1 << 8 << qint64(20) << " 1d ";
        QTest::newRow("integer past the end") << 1 << 8 << qint64(40) << " ";
        QTest::newRow("real before") << 2 << 4 << qint64(3) << " 0r ";
        QTest::newRow("real past the end") << 2 << 4 << qint64(40) << " ";
    }

    // One change to value 1 at time 10, closed at 30.
    void valueAtTime()
    {
        QFETCH(int, typeCode);
        QFETCH(int, radix);
        QFETCH(qint64, time);
        QFETCH(QString, text);
        Dovlin_FileManager fm;
        Dovlin_Signal *signal = MakeSignal(fm, typeCode);
        if (typeCode == 2)
            signal->AddEvent(10, 1.0);
        else if (typeCode == 1)
            signal->AddEvent(10, qint64(1));
        else
            signal->AddEvent(10, 1);
        signal->AddLastEvent(30);
        QCOMPARE(signal->GetSignalState(time, radix), text);
        Dovlin_ScalarHierarchy *leaf = MakeLeaf(fm, signal);
        leaf->m_Radix = radix;
        QCOMPARE(leaf->GetSignalState(time), text);
    }

    void busText_data()
    {
        QTest::addColumn<QList<int>>("states");
        QTest::addColumn<int>("radix");
        QTest::addColumn<qint64>("time");
        QTest::addColumn<QString>("text");
        const QList<int> b1011 = {1, 0, 1, 1};
        const QList<int> b1x0z = {1, 3, 0, 2};
        QTest::newRow("1011 binary") << b1011 << 1 << qint64(5) << " 1011b";
        QTest::newRow("1011 hexadecimal") << b1011 << 2 << qint64(5) << " Bh";
        QTest::newRow("1011 unsigned") << b1011 << 4 << qint64(5) << " 11u ";
        QTest::newRow("1011 signed") << b1011 << 8 << qint64(5) << " -5d ";
        QTest::newRow("1X0Z binary") << b1x0z << 1 << qint64(5) << " 1X0Zb";
        QTest::newRow("1X0Z hexadecimal") << b1x0z << 2 << qint64(5) << " 8h";
        QTest::newRow("1X0Z unsigned") << b1x0z << 4 << qint64(5) << " 8u ";
        QTest::newRow("1X0Z signed") << b1x0z << 8 << qint64(5) << " -8d ";
        QTest::newRow("at time 0, all sentinels") << b1011 << 1 << qint64(0) << " 0000b";
        QTest::newRow("unknown radix") << b1011 << 3 << qint64(5) << "1011";
        QTest::newRow("past the end") << b1011 << 1 << qint64(100) << "     b";
        QTest::newRow("past the end, unsigned") << b1011 << 4 << qint64(100) << " 0u ";
        QTest::newRow("64 bits, unsigned") << QList<int>(64, 1) << 4 << qint64(5) << " 18446744073709551615u ";
        QTest::newRow("64 bits, signed") << QList<int>(64, 1) << 8 << qint64(5) << " -1d ";
        QTest::newRow("64 bits, hexadecimal") << QList<int>(64, 1) << 2 << qint64(5) << " " + QString(16, 'F') + "h";
        QTest::newRow("most negative, hexadecimal") << QList<int>{1} + QList<int>(63, 0) << 2 << qint64(5)
                                                    << " 8" + QString(15, '0') + "h";
        QTest::newRow("zero, hexadecimal") << QList<int>{0, 0} << 2 << qint64(5) << " 0h";
    }

    void busText()
    {
        QFETCH(QList<int>, states);
        QFETCH(int, radix);
        QFETCH(qint64, time);
        QFETCH(QString, text);
        Dovlin_FileManager fm;
        Dovlin_CompositeHierarchy *bus = MakeBus(fm, states);
        bus->m_Radix = radix;
        QCOMPARE(bus->GetSignalState(time), text);
    }

    void scopeConcatenates()
    {
        Dovlin_FileManager fm;
        auto *scope = new Dovlin_CompositeHierarchy(&fm);
        Dovlin_Signal *clk = MakeSignal(fm, 4);
        clk->AddEvent(0, 1);
        clk->AddLastEvent(50);
        Dovlin_Signal *count = MakeSignal(fm, 1);
        count->AddEvent(0, qint64(7));
        count->AddLastEvent(50);
        QVERIFY(scope->AddHierarchy(MakeLeaf(fm, clk)));
        QVERIFY(scope->AddHierarchy(MakeBus(fm, {1, 0})));
        QVERIFY(scope->AddHierarchy(MakeLeaf(fm, count)));
        QVERIFY(scope->AddHierarchy(new Dovlin_CompositeHierarchy(&fm)));
        scope->m_Radix = 1;
        QCOMPARE(scope->GetSignalState(5), QStringLiteral("1 2u  7u "));
    }

    // The text is computed once per time; a radix change shows only after m_StateTime is reset.
    void cacheKeyedByTime()
    {
        Dovlin_FileManager fm;
        Dovlin_Signal *count = MakeSignal(fm, 1);
        count->AddEvent(0, qint64(-2));
        count->AddEvent(20, qint64(3));
        count->AddLastEvent(50);
        Dovlin_ScalarHierarchy *leaf = MakeLeaf(fm, count);
        QCOMPARE(leaf->GetSignalState(5), QStringLiteral(" 4294967294u "));
        leaf->m_Radix = 8;
        QCOMPARE(leaf->GetSignalState(5), QStringLiteral(" 4294967294u "));
        QCOMPARE(leaf->GetSignalState(25), QStringLiteral(" 3d "));
        QCOMPARE(leaf->m_StateTime, 25);
        leaf->m_StateTime = -1;
        QCOMPARE(leaf->GetSignalState(5), QStringLiteral(" -2d "));
        // -1 is never a cached time: the value before the sentinel is missing.
        leaf->m_StateTime = -1;
        leaf->m_StateText.clear();
        QCOMPARE(leaf->GetSignalState(-1), QStringLiteral(" "));

        Dovlin_CompositeHierarchy *bus = MakeBus(fm, {1, 1});
        QCOMPARE(bus->GetSignalState(5), QStringLiteral(" 3u "));
        bus->m_Radix = 1;
        QCOMPARE(bus->GetSignalState(5), QStringLiteral(" 3u "));
        bus->m_StateTime = -1;
        QCOMPARE(bus->GetSignalState(5), QStringLiteral(" 11b"));
        QCOMPARE(bus->GetHierarchy(0)->m_StateTime, 5);
        QCOMPARE(bus->GetHierarchy(0)->m_StateText, QStringLiteral("1"));
    }
};

QTEST_GUILESS_MAIN(tst_ValueText)
#include "tst_valuetext.moc"
