#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Signals.h"

#include <QBuffer>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

// An integer signal whose value at each change is its index among the changes.
Dovlin_IntSignal *MakeSignal(Dovlin_FileManager &fm, const QList<qint64> &times)
{
    auto *signal = new Dovlin_IntSignal(&fm);
    for (int i = 0; i < times.size(); ++i)
        signal->AddEvent(times.at(i), qint64(i));
    return signal;
}

Dovlin_ScalarHierarchy *MakeLeaf(Dovlin_FileManager &fm, const QList<qint64> &times)
{
    auto *leaf = new Dovlin_ScalarHierarchy(&fm);
    leaf->SetSignal(MakeSignal(fm, times));
    return leaf;
}

qint64 IndexOf(const Dovlin_Signal *signal, const CSignalEvent *event)
{
    for (qint64 i = 0; i < signal->GetnEvent(); ++i) {
        if (signal->GetEvent(i) == event)
            return i;
    }
    return -1;
}

qint64 IndexAt(const __EVENTPOS *pos)
{
    return pos ? qint64(pos->boxIndex) * Dovlin_Signal::m_BoxSize + pos->eventIndex : -1;
}

// "A50" for the change at 50 of the signal below leaf A; "-" for null.
QString Describe(const CSignalEvent *event, const QList<Dovlin_ScalarHierarchy *> &leaves)
{
    if (!event)
        return QStringLiteral("-");
    for (int i = 0; i < leaves.size(); ++i) {
        if (IndexOf(leaves.at(i)->GetSignal(), event) >= 0)
            return QChar(QLatin1Char('A' + i)) + QString::number(event->m_Time);
    }
    return QStringLiteral("?");
}

bool SaveAndLoad(Dovlin_FileManager &from, Dovlin_FileManager &to)
{
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    if (!from.SaveAll(&out))
        return false;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    return to.LoadAll(&in);
}

} // namespace

class tst_Model : public QObject
{
    Q_OBJECT

private slots:
    void emptyAndFirstEvent();
    void findEventPos_data();
    void findEventPos();
    void walkAcrossBoxes_data();
    void walkAcrossBoxes();
    void eventsNeverMove();
    void addLastEvent_data();
    void addLastEvent();
    void minMaxAfterLoad_data();
    void minMaxAfterLoad();
    void scalarNavigation();
    void compositeNavigation_data();
    void compositeNavigation();
    void changeTimes_data();
    void changeTimes();
    void linking();
    void linkingStopsAtMaxDepth();
    void outOfRange();
};

void tst_Model::emptyAndFirstEvent()
{
    Dovlin_FileManager fm;
    auto *signal = new Dovlin_StateSignalT<Dovlin_VerilogType>(&fm);
    QVERIFY(!signal->HasEvent());
    QCOMPARE(signal->GetLastTime(), -1);
    QVERIFY(!signal->GetFirstEventPos());
    QVERIFY(!signal->FindEventPos(0));
    QVERIFY(!signal->GetEvent(0));

    signal->AddEvent(0, 1);
    QCOMPARE(signal->GetnEvent(), 2);
    QCOMPARE(signal->GetFirstEvent()->m_Time, -1);
    QCOMPARE(signal->GetFirstEvent()->m_Value.m_IntValue, 0);
    QCOMPARE(signal->GetLastEvent()->m_Time, 0);
    // A state fills the low four bytes only.
    signal->AddEvent(5, -1);
    QCOMPARE(signal->GetLastEvent()->m_Value.m_State, -1);
    QCOMPARE(signal->GetLastEvent()->m_Value.m_IntValue, 0xFFFFFFFFLL);
}

void tst_Model::findEventPos_data()
{
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<qint64>("time");
    QTest::addColumn<qint64>("found");
    QTest::addColumn<qint64>("inForce");
    // The event whose value holds at the time: changes at the time count; none before the first
    // change or past the last event.
    QTest::addColumn<qint64>("at");

    const QList<qint64> three = {0, 10, 20};
    QTest::newRow("at a change") << three << qint64(10) << qint64(2) << qint64(1) << qint64(2);
    QTest::newRow("between changes") << three << qint64(11) << qint64(3) << qint64(2) << qint64(2);
    QTest::newRow("at the last event") << three << qint64(20) << qint64(3) << qint64(2) << qint64(3);
    QTest::newRow("past the end") << three << qint64(21) << qint64(-1) << qint64(-1) << qint64(-1);
    QTest::newRow("at zero") << three << qint64(0) << qint64(1) << qint64(0) << qint64(1);
    QTest::newRow("before the first change") << QList<qint64>{5, 10} << qint64(4) << qint64(1) << qint64(0)
                                             << qint64(-1);
    QTest::newRow("before zero finds the sentinel") << three << qint64(-5) << qint64(0) << qint64(-1) << qint64(-1);
    QTest::newRow("equal times, the first") << QList<qint64>{10, 10, 20} << qint64(10) << qint64(1) << qint64(0)
                                            << qint64(2);
    QList<qint64> many;
    for (int i = 0; i < 100; ++i)
        many.append(10 * i);
    QTest::newRow("several boxes") << many << qint64(505) << qint64(52) << qint64(51) << qint64(51);
    QTest::newRow("box boundary") << many << qint64(310) << qint64(32) << qint64(31) << qint64(32);
    QTest::newRow("largest time") << QList<qint64>{0, std::numeric_limits<qint64>::max()}
                                  << std::numeric_limits<qint64>::max() << qint64(2) << qint64(1) << qint64(2);
}

void tst_Model::findEventPos()
{
    QFETCH(QList<qint64>, times);
    QFETCH(qint64, time);
    QFETCH(qint64, found);
    QFETCH(qint64, inForce);
    QFETCH(qint64, at);
    Dovlin_FileManager fm;
    Dovlin_Signal *signal = MakeSignal(fm, times);
    __EVENTPOS *pos = signal->FindEventPos(time);
    QCOMPARE(IndexAt(pos), found);
    QCOMPARE(IndexOf(signal, signal->GetPrevEventPos(pos)), inForce);
    QCOMPARE(IndexOf(signal, signal->GetEventAt(time)), at);
}

void tst_Model::walkAcrossBoxes_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("lastSlot");
    QTest::addColumn<int>("lastBox");
    QTest::newRow("32") << 32 << 31 << 0;
    QTest::newRow("33") << 33 << 0 << 1;
    QTest::newRow("65") << 65 << 0 << 2;
}

void tst_Model::walkAcrossBoxes()
{
    QFETCH(int, stored);
    QFETCH(int, lastSlot);
    QFETCH(int, lastBox);
    Dovlin_FileManager fm;
    QList<qint64> times;
    for (int i = 1; i < stored; ++i)
        times.append(i);
    Dovlin_Signal *signal = MakeSignal(fm, times);
    QCOMPARE(signal->GetLastSlot(), lastSlot);
    QCOMPARE(signal->GetLastBox(), lastBox);
    QCOMPARE(signal->GetnEvent(), stored);

    // Stored event i has time i, the sentinel -1.
    const auto timeOf = [](int i) { return i == 0 ? qint64(-1) : qint64(i); };
    __EVENTPOS *pos = signal->GetFirstEventPos();
    int visited = 0;
    for (; pos; ++visited) {
        const CSignalEvent *before = signal->GetPrevEventPos(pos);
        QCOMPARE(before ? before->m_Time : qint64(-2), visited == 0 ? qint64(-2) : timeOf(visited - 1));
        const CSignalEvent *event = signal->GetNextEventPos(pos);
        QVERIFY(event);
        QCOMPARE(event->m_Time, timeOf(visited));
    }
    QCOMPARE(visited, stored);
    QVERIFY(!signal->GetNextEventPos(pos));
}

void tst_Model::eventsNeverMove()
{
    Dovlin_FileManager fm;
    Dovlin_Signal *signal = MakeSignal(fm, {1, 2, 3, 4, 5});
    CSignalEvent *fifth = signal->GetEvent(5);
    for (int i = 6; i < 10000; ++i)
        signal->AddEvent(i, qint64(-i));
    QCOMPARE(signal->GetEvent(5), fifth);
    QCOMPARE(fifth->m_Time, 5);
    QCOMPARE(fifth->m_Value.m_IntValue, 4);
}

void tst_Model::addLastEvent_data()
{
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<qint64>("lastTime");
    QTest::addColumn<int>("stored");
    QTest::newRow("repeats the last value") << QList<qint64>{10, 20} << qint64(50) << 4;
    QTest::newRow("at the same time again") << QList<qint64>{10, 20} << qint64(20) << 4;
    QTest::newRow("nothing without events") << QList<qint64>{} << qint64(50) << 0;
    QTest::newRow("opens a box") << QList<qint64>(31, 1) << qint64(50) << 33;
}

void tst_Model::addLastEvent()
{
    QFETCH(QList<qint64>, times);
    QFETCH(qint64, lastTime);
    QFETCH(int, stored);
    Dovlin_FileManager fm;
    Dovlin_Signal *signal = MakeSignal(fm, times);
    const CSignalEvent *previous = signal->GetLastEvent();
    signal->AddLastEvent(lastTime);
    QCOMPARE(signal->GetnEvent(), stored);
    if (!previous)
        return;
    QCOMPARE(signal->GetLastTime(), lastTime);
    QCOMPARE(signal->GetLastEvent()->m_Value.m_IntValue, previous->m_Value.m_IntValue);
    QCOMPARE(signal->GetEvent(stored - 2), previous);
}

void tst_Model::minMaxAfterLoad_data()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::addColumn<int>("typeCode");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<int>("minIndex");
    QTest::addColumn<int>("maxIndex");
    QTest::newRow("integers") << 1 << QList<double>{5, -3, 7} << 2 << 3;
    QTest::newRow("sentinel's zero excluded") << 1 << QList<double>{4, 9} << 1 << 2;
    QTest::newRow("ties keep the earliest") << 1 << QList<double>{7, 3, 7, 3} << 2 << 1;
    QTest::newRow("reals") << 2 << QList<double>{0.5, -2.25, 1e300} << 2 << 3;
    QTest::newRow("NaN first is kept") << 2 << QList<double>{nan, 1, 2} << 1 << 1;
    QTest::newRow("NaN later is ignored") << 2 << QList<double>{1, nan, 2} << 1 << 3;
    QTest::newRow("states") << 8 << QList<double>{1, 3, 0, 2} << 3 << 2;
    QTest::newRow("no events") << 16 << QList<double>{} << -1 << -1;
}

void tst_Model::minMaxAfterLoad()
{
    QFETCH(int, typeCode);
    QFETCH(QList<double>, values);
    QFETCH(int, minIndex);
    QFETCH(int, maxIndex);
    Dovlin_FileManager fm;
    Dovlin_Signal *signal = typeCode == 1 ? static_cast<Dovlin_Signal *>(new Dovlin_IntSignal(&fm))
                          : typeCode == 2 ? static_cast<Dovlin_Signal *>(new Dovlin_RealSignal(&fm))
                          : typeCode == 8 ? static_cast<Dovlin_Signal *>(new Dovlin_StateSignalT<Dovlin_VerilogType>(&fm))
                                          : static_cast<Dovlin_Signal *>(new Dovlin_StateSignalT<Dovlin_StdLogicType>(&fm));
    for (int i = 0; i < values.size(); ++i) {
        if (typeCode == 1)
            signal->AddEvent(i, qint64(values.at(i)));
        else if (typeCode == 2)
            signal->AddEvent(i, values.at(i));
        else
            signal->AddEvent(i, int(values.at(i)));
    }
    Dovlin_FileManager loaded;
    QVERIFY2(SaveAndLoad(fm, loaded), qPrintable(loaded.ErrorString()));
    Dovlin_Signal *back = loaded.GetSignal(0);
    QCOMPARE(IndexOf(back, back->GetMinEvent()), qint64(minIndex));
    QCOMPARE(IndexOf(back, back->GetMaxEvent()), qint64(maxIndex));
}

void tst_Model::scalarNavigation()
{
    Dovlin_FileManager fm;
    Dovlin_ScalarHierarchy *leaf = MakeLeaf(fm, {10, 50, 90});
    const QList<Dovlin_ScalarHierarchy *> leaves = {leaf};
    QCOMPARE(Describe(leaf->FindEvent(50), leaves), QStringLiteral("A10"));
    QCOMPARE(Describe(leaf->GetPrevEvent(), leaves), QStringLiteral("A10"));
    QCOMPARE(Describe(leaf->GetNextEvent(10), leaves), QStringLiteral("A50"));
    // A head later than the time asked for is returned again without moving.
    QCOMPARE(Describe(leaf->GetNextEvent(20), leaves), QStringLiteral("A50"));
    QCOMPARE(Describe(leaf->GetNextEvent(50), leaves), QStringLiteral("A90"));
    QVERIFY(!leaf->GetNextEvent(90));

    QVERIFY(!leaf->FindEvent(91));
    QVERIFY(!leaf->m_EventPos);
    QVERIFY(!leaf->GetPrevEvent());
    // On the sentinel there is no head: the walk starts with the sentinel itself.
    QVERIFY(!leaf->FindEvent(-5));
    QCOMPARE(leaf->GetNextEvent(-5)->m_Time, -1);
    QCOMPARE(leaf->GetNextEvent(-1)->m_Time, 10);

    auto *detached = new Dovlin_ScalarHierarchy(&fm);
    QVERIFY(!detached->FindEvent(10));
    QVERIFY(!detached->GetNextEvent(10));
    detached->m_SignalIndex = 7;
    QVERIFY(!detached->FindEvent(10));
}

void tst_Model::compositeNavigation_data()
{
    QTest::addColumn<QList<qint64>>("a");
    QTest::addColumn<QList<qint64>>("b");
    QTest::addColumn<bool>("nested");
    QTest::addColumn<qint64>("time");
    QTest::addColumn<QStringList>("walk");
    const QList<qint64> a = {10, 100, 200};
    const QList<qint64> b = {50, 100, 200};
    const QStringList walk = {"A10", "B50", "A100", "A200", "-"};
    QTest::newRow("merge") << a << b << false << qint64(60) << walk;
    QTest::newRow("merge through a nested composite") << a << b << true << qint64(60) << walk;
    QTest::newRow("a child runs out") << QList<qint64>{10, 100} << QList<qint64>{50, 100} << false << qint64(60)
                                      << QStringList{"A10", "B50", "B100", "-"};
    QTest::newRow("identical times") << QList<qint64>{10, 20, 30} << QList<qint64>{10, 20, 30} << false << qint64(15)
                                     << QStringList{"A10", "A20", "A30", "-"};
    QTest::newRow("past the end") << a << b << false << qint64(300) << QStringList{"-"};
}

// FindEvent(T), then GetNextEvent with the time of each previous result.
void tst_Model::compositeNavigation()
{
    QFETCH(QList<qint64>, a);
    QFETCH(QList<qint64>, b);
    QFETCH(bool, nested);
    QFETCH(qint64, time);
    QFETCH(QStringList, walk);
    Dovlin_FileManager fm;
    auto *top = new Dovlin_CompositeHierarchy(&fm);
    Dovlin_ScalarHierarchy *leafA = MakeLeaf(fm, a);
    Dovlin_ScalarHierarchy *leafB = MakeLeaf(fm, b);
    QVERIFY(top->AddHierarchy(leafA));
    if (nested) {
        auto *inner = new Dovlin_CompositeHierarchy(&fm);
        QVERIFY(inner->AddHierarchy(leafB));
        QVERIFY(top->AddHierarchy(inner));
    } else {
        QVERIFY(top->AddHierarchy(leafB));
    }
    const QList<Dovlin_ScalarHierarchy *> leaves = {leafA, leafB};

    QStringList seen;
    const CSignalEvent *event = top->FindEvent(time);
    seen << Describe(event, leaves);
    qint64 last = time;
    while (event && seen.size() < 10) {
        last = event->m_Time;
        event = top->GetNextEvent(last);
        seen << Describe(event, leaves);
    }
    QCOMPARE(seen, walk);
}

void tst_Model::changeTimes_data()
{
    QTest::addColumn<bool>("composite");
    QTest::addColumn<qint64>("time");
    QTest::addColumn<qint64>("next");
    QTest::addColumn<qint64>("previous");
    QTest::newRow("bus between changes") << true << qint64(60) << qint64(100) << qint64(50);
    QTest::newRow("bus at a change") << true << qint64(100) << qint64(200) << qint64(50);
    QTest::newRow("bus before everything") << true << qint64(0) << qint64(10) << qint64(-1);
    QTest::newRow("bus at the last change") << true << qint64(200) << qint64(-1) << qint64(100);
    QTest::newRow("leaf between changes") << false << qint64(60) << qint64(100) << qint64(10);
    QTest::newRow("leaf at its first change") << false << qint64(10) << qint64(100) << qint64(-1);
    QTest::newRow("leaf past the end") << false << qint64(500) << qint64(-1) << qint64(200);
}

// Leaves A (changes at 10, 100, 200) and B (50, 100, 200) under one composite.
void tst_Model::changeTimes()
{
    QFETCH(bool, composite);
    QFETCH(qint64, time);
    QFETCH(qint64, next);
    QFETCH(qint64, previous);
    Dovlin_FileManager fm;
    auto *bus = new Dovlin_CompositeHierarchy(&fm);
    Dovlin_ScalarHierarchy *a = MakeLeaf(fm, {10, 100, 200});
    QVERIFY(bus->AddHierarchy(a));
    QVERIFY(bus->AddHierarchy(MakeLeaf(fm, {50, 100, 200})));
    const Dovlin_Hierarchy *node = composite ? static_cast<Dovlin_Hierarchy *>(bus) : a;
    a->FindEvent(150);
    QCOMPARE(node->GetNextChangeTime(time), next);
    QCOMPARE(node->GetPrevChangeTime(time), previous);
    QCOMPARE(a->GetPrevEvent()->m_Time, 100);
}

void tst_Model::linking()
{
    Dovlin_FileManager fm;
    Dovlin_FileManager other;
    auto *root = new Dovlin_CompositeHierarchy(&fm);
    auto *middle = new Dovlin_CompositeHierarchy(&fm);
    auto *parent = new Dovlin_CompositeHierarchy(&fm);
    QVERIFY(root->AddHierarchy(middle));
    QVERIFY(middle->AddHierarchy(parent));
    QCOMPARE(parent->m_Level, 2);
    QCOMPARE(parent->GetMaxLevel(), 2);
    QVERIFY(!parent->FindEvent(10) && !parent->GetNextEvent(10) && !parent->GetPrevEvent());

    // A subtree built first is renumbered as a whole when linked.
    auto *bus = new Dovlin_CompositeHierarchy(&fm);
    auto *bit0 = new Dovlin_ScalarHierarchy(&fm);
    auto *bit1 = new Dovlin_ScalarHierarchy(&fm);
    QVERIFY(bus->AddHierarchy(bit0));
    QVERIFY(bus->AddHierarchy(bit1));
    QVERIFY(parent->AddHierarchy(bus));
    QCOMPARE(bus->m_Level, 3);
    QCOMPARE(bit0->m_Level, 4);
    QCOMPARE(bit1->m_Level, 4);
    QCOMPARE(root->GetMaxLevel(), 4);
    QCOMPARE(bus->m_Children, (QList<int>{bit0->m_Index, bit1->m_Index}));
    QCOMPARE(bus->GetHierarchy(1), bit1);
    QCOMPARE(bit1->GetParentIndex(), bus->m_Index);

    QVERIFY(!root->AddHierarchy(nullptr));
    QVERIFY(!root->AddHierarchy(root));
    QVERIFY(!bus->AddHierarchy(middle));
    QVERIFY(!root->AddHierarchy(bit0));
    QVERIFY(!root->AddHierarchy(new Dovlin_ScalarHierarchy(&other)));
    QCOMPARE(root->m_Children, QList<int>{middle->m_Index});
    QCOMPARE(bit0->m_Level, 4);
}

// A model built by linking always loads again, so linking refuses what loading would refuse.
void tst_Model::linkingStopsAtMaxDepth()
{
    Dovlin_FileManager fm;
    Dovlin_CompositeHierarchy *last = new Dovlin_CompositeHierarchy(&fm);
    for (int depth = 1; depth < Dovlin_Hierarchy::m_MaxDepth; ++depth) {
        auto *next = new Dovlin_CompositeHierarchy(&fm);
        QVERIFY(last->AddHierarchy(next));
        last = next;
    }
    auto *tooDeep = new Dovlin_ScalarHierarchy(&fm);
    QVERIFY(!last->AddHierarchy(tooDeep));
    QCOMPARE(tooDeep->GetParentIndex(), -1);
    QCOMPARE(tooDeep->m_Level, 0);

    auto *subtree = new Dovlin_CompositeHierarchy(&fm);
    QVERIFY(subtree->AddHierarchy(new Dovlin_ScalarHierarchy(&fm)));
    // Node i of the chain lies at depth i; the subtree adds two levels below its parent.
    const auto chainNode = [&fm](int depth) { return static_cast<Dovlin_CompositeHierarchy *>(fm.GetHierarchy(depth)); };
    QVERIFY(!chainNode(Dovlin_Hierarchy::m_MaxDepth - 2)->AddHierarchy(subtree));
    QVERIFY(chainNode(Dovlin_Hierarchy::m_MaxDepth - 3)->AddHierarchy(subtree));
    QCOMPARE(subtree->GetMaxLevel(), Dovlin_Hierarchy::m_MaxDepth - 1);

    Dovlin_FileManager loaded;
    QVERIFY2(SaveAndLoad(fm, loaded), qPrintable(loaded.ErrorString()));
}

void tst_Model::outOfRange()
{
    Dovlin_FileManager fm;
    auto *s0 = new Dovlin_IntSignal(&fm);
    new Dovlin_RealSignal(&fm);
    new Dovlin_ScalarHierarchy(&fm);
    auto *h1 = new Dovlin_CompositeHierarchy(&fm);
    QVERIFY(!fm.GetSignal(-1) && !fm.GetSignal(2) && !fm.GetHierarchy(-1) && !fm.GetHierarchy(2));
    s0->AddEvent(3, qint64(9));
    QVERIFY(!s0->GetEvent(2) && !s0->GetEvent(-2));
    h1->m_Children.append(42);
    QVERIFY(!h1->GetHierarchy(0) && !h1->GetHierarchy(1));
    QVERIFY(!h1->FindEvent(0));
}

QTEST_GUILESS_MAIN(tst_Model)
#include "tst_model.moc"
