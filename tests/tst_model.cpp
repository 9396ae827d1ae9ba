#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_NameFilter.h"
#include "Dovlin_Signals.h"
#include "Dovlin_ViewFile.h"
#include "Dovlin_WaveList.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <limits>

namespace {

// An integer signal whose value at each change is its index among the changes.
Dovlin_IntSignal *MakeSignal(Dovlin_FileManager &fm, const QList<qint64> &times)
{
    auto *signal = &fm.AddSignal<Dovlin_IntSignal>();
    for (int i = 0; i < times.size(); ++i)
        signal->AddEvent(times.at(i), qint64(i));
    return signal;
}

// The stored event the signal handed out a copy of: the first with its time and value.
qint64 IndexOf(const Dovlin_Signal *signal, const std::optional<CSignalEvent> &event)
{
    for (qint64 i = 0; event && i < signal->GetnEvent(); ++i) {
        const std::optional<CSignalEvent> stored = signal->GetEvent(i);
        if (stored->m_Time == event->m_Time && stored->m_Value.m_IntValue == event->m_Value.m_IntValue)
            return i;
    }
    return -1;
}

bool SaveAndLoad(Dovlin_FileManager &from, Dovlin_FileManager &to)
{
    const QByteArray bytes = TestFiles::SaveBytes(from);
    return !bytes.isEmpty() && TestFiles::LoadBytes(to, bytes);
}

// A wave list as text: a node's path (with "=name" when it has one), "-label" for a divider,
// "[label: rows]" for a group.
QString ListText(const Dovlin_ListRows &rows)
{
    QStringList parts;
    for (const Dovlin_ListRow &row : rows) {
        if (row.m_Kind == Dovlin_ListRow::Divider)
            parts << "-" + row.m_Label;
        else if (row.m_Kind == Dovlin_ListRow::Group)
            parts << "[" + row.m_Label + ": " + ListText(row.m_Rows) + "]";
        else
            parts << row.m_Path + (row.m_Label.isEmpty() ? QString() : "=" + row.m_Label);
    }
    return parts.join(' ');
}

Dovlin_ListRow Node(const QString &path)
{
    return Dovlin_ListRow::OfNode(path, Dovlin_Radix::Hexadecimal, true);
}

using ListEdit = void (*)(Dovlin_WaveList &);

} // namespace

Q_DECLARE_METATYPE(ListEdit)

class tst_Model : public QObject
{
    Q_OBJECT

private slots:
    void emptySignal();
    void eventAt_data();
    void eventAt();
    void eventsNeverMove();
    void addLastEvent_data();
    void addLastEvent();
    void minMaxAfterLoad_data();
    void minMaxAfterLoad();
    void linking();
    void linkingStopsAtMaxDepth();
    void nameFilterBeyondLatin1_data();
    void nameFilterBeyondLatin1();
    void nameFilterBounded_data();
    void nameFilterBounded();
    void outOfRange();
    void listEdits_data();
    void listEdits();
    void viewFile();
};

void tst_Model::emptySignal()
{
    Dovlin_FileManager fm;
    auto *signal = &fm.AddSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>();
    QVERIFY(!signal->HasEvent());
    QCOMPARE(signal->GetLastTime(), -1);
    QVERIFY(!signal->GetEvent(0) && !signal->GetEvent(-1));
    QVERIFY(!signal->GetEventAt(0));
}

void tst_Model::eventAt_data()
{
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<qint64>("time");
    // The index of the event whose value holds at the time: changes at the time count; none
    // before the first change or past the last event.
    QTest::addColumn<qint64>("at");

    const QList<qint64> three = {0, 10, 20};
    QTest::newRow("at a change") << three << qint64(10) << qint64(2);
    QTest::newRow("past the end") << three << qint64(21) << qint64(-1);
    QTest::newRow("before the first change") << QList<qint64>{5, 10} << qint64(4) << qint64(-1);
    QTest::newRow("before zero") << three << qint64(-5) << qint64(-1);
    QTest::newRow("equal times, the last") << QList<qint64>{10, 10, 20} << qint64(10) << qint64(2);
    QList<qint64> many;
    for (int i = 0; i < 100; ++i)
        many.append(10 * i);
    QTest::newRow("several boxes") << many << qint64(505) << qint64(51);
    QTest::newRow("box boundary") << many << qint64(310) << qint64(32);
    QTest::newRow("largest time") << QList<qint64>{0, std::numeric_limits<qint64>::max()}
                                  << std::numeric_limits<qint64>::max() << qint64(2);
}

void tst_Model::eventAt()
{
    QFETCH(QList<qint64>, times);
    QFETCH(qint64, time);
    QFETCH(qint64, at);
    Dovlin_FileManager fm;
    Dovlin_Signal *signal = MakeSignal(fm, times);
    QCOMPARE(IndexOf(signal, signal->GetEventAt(time)), at);
}

void tst_Model::eventsNeverMove()
{
    Dovlin_FileManager fm;
    Dovlin_Signal *signal = MakeSignal(fm, {1, 2, 3, 4, 5});
    for (int i = 6; i < 10000; ++i)
        signal->AddEvent(i, qint64(-i));
    QCOMPARE(signal->GetEvent(5)->m_Time, 5);
    QCOMPARE(signal->GetEvent(5)->m_Value.m_IntValue, 4);
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
    const std::optional<CSignalEvent> previous = signal->GetLastEvent();
    signal->AddLastEvent(lastTime);
    QCOMPARE(signal->GetnEvent(), stored);
    if (!previous)
        return;
    QCOMPARE(signal->GetLastTime(), lastTime);
    QCOMPARE(signal->GetLastEvent()->m_Value.m_IntValue, previous->m_Value.m_IntValue);
    QCOMPARE(signal->GetEvent(stored - 2)->m_Time, previous->m_Time);
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
    Dovlin_Signal *signal = fm.AddSignalOfType(typeCode);
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

void tst_Model::linking()
{
    Dovlin_FileManager fm;
    Dovlin_FileManager other;
    auto *root = &fm.AddNode<Dovlin_CompositeHierarchy>();
    auto *middle = &fm.AddNode<Dovlin_CompositeHierarchy>();
    auto *parent = &fm.AddNode<Dovlin_CompositeHierarchy>();
    QVERIFY(root->AddHierarchy(middle));
    QVERIFY(middle->AddHierarchy(parent));
    QCOMPARE(parent->m_Level, 2);
    QCOMPARE(parent->GetMaxLevel(), 2);

    // A subtree built first is renumbered as a whole when linked.
    auto *bus = &fm.AddNode<Dovlin_CompositeHierarchy>();
    auto *bit0 = &fm.AddNode<Dovlin_ScalarHierarchy>();
    auto *bit1 = &fm.AddNode<Dovlin_ScalarHierarchy>();
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
    QVERIFY(!root->AddHierarchy(&other.AddNode<Dovlin_ScalarHierarchy>()));
    QCOMPARE(root->m_Children, QList<int>{middle->m_Index});
    QCOMPARE(bit0->m_Level, 4);
}

// A model built by linking always loads again, so linking refuses what loading would refuse.
void tst_Model::linkingStopsAtMaxDepth()
{
    Dovlin_FileManager fm;
    Dovlin_CompositeHierarchy *last = &fm.AddNode<Dovlin_CompositeHierarchy>();
    for (int depth = 1; depth < Dovlin_Hierarchy::m_MaxDepth; ++depth) {
        auto *next = &fm.AddNode<Dovlin_CompositeHierarchy>();
        QVERIFY(last->AddHierarchy(next));
        last = next;
    }
    auto *tooDeep = &fm.AddNode<Dovlin_ScalarHierarchy>();
    QVERIFY(!last->AddHierarchy(tooDeep));
    QCOMPARE(tooDeep->GetParentIndex(), -1);
    QCOMPARE(tooDeep->m_Level, 0);

    auto *subtree = &fm.AddNode<Dovlin_CompositeHierarchy>();
    QVERIFY(subtree->AddHierarchy(&fm.AddNode<Dovlin_ScalarHierarchy>()));
    // Node i of the chain lies at depth i; the subtree adds two levels below its parent.
    const auto chainNode = [&fm](int depth) { return static_cast<Dovlin_CompositeHierarchy *>(fm.GetHierarchy(depth)); };
    QVERIFY(!chainNode(Dovlin_Hierarchy::m_MaxDepth - 2)->AddHierarchy(subtree));
    QVERIFY(chainNode(Dovlin_Hierarchy::m_MaxDepth - 3)->AddHierarchy(subtree));
    QCOMPARE(subtree->GetMaxLevel(), Dovlin_Hierarchy::m_MaxDepth - 1);

    Dovlin_FileManager loaded;
    QVERIFY2(SaveAndLoad(fm, loaded), qPrintable(loaded.ErrorString()));
}

void tst_Model::nameFilterBeyondLatin1_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("matches");
    QTest::newRow("text, any case") << "ÄB" << QStringList{"äbc"};
    QTest::newRow("wildcard with a character beyond U+FFFF") << "*😀" << QStringList{"sig_😀"};
    QTest::newRow("? is one character, whatever its size") << "sig_?" << QStringList{"sig_😀", "sig_é"};
}

// Names of any script, as a dump's UTF-8 gives them, in the model itself.
void tst_Model::nameFilterBeyondLatin1()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, matches);
    Dovlin_FileManager fm;
    auto *top = &fm.AddNode<Dovlin_CompositeHierarchy>(QStringLiteral("tëst_日本"));
    for (const QString &name : {QStringLiteral("sig_😀"), QStringLiteral("sig_é"), QStringLiteral("äbc")})
        QVERIFY(top->AddHierarchy(&fm.AddNode<Dovlin_ScalarHierarchy>(name)));
    Dovlin_NameFilter filter;
    QVERIFY2(filter.SetPattern(pattern), qPrintable(filter.ErrorString()));
    std::vector<unsigned char> marks;
    QCOMPARE(filter.Apply(fm, marks), int(matches.size()));
    QStringList found;
    for (int i = 0; i < fm.GetnHierarchy(); ++i)
        if (marks[size_t(i)] == Dovlin_NameFilter::Match)
            found << fm.GetHierarchy(i)->GetName();
    QCOMPARE(found, matches);
}

void tst_Model::nameFilterBounded_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("matches"); // -1: the filter stops and says where
    // Patterns that a matcher going back over every star or group would take minutes on: 5 000
    // names of 200 letters.
    QTest::newRow("many stars, no match") << "*a*a*a*a*a*a*a*a*b" << 0;
    QTest::newRow("many stars, every name") << "*a*a*a*a*a*a*a*a*a" << 5000;
    QTest::newRow("star and one character") << "top_?*" << 0;
    QTest::newRow("nested repeats stop") << "/\\.(a|aa)+[^a]" << -1;
    QTest::newRow("a plain expression") << "/a{200}$" << 5000;
}

void tst_Model::nameFilterBounded()
{
    QFETCH(QString, pattern);
    QFETCH(int, matches);
    Dovlin_FileManager fm;
    auto *top = &fm.AddNode<Dovlin_CompositeHierarchy>(QStringLiteral("top"));
    for (int i = 0; i < 5000; ++i)
        QVERIFY(top->AddHierarchy(&fm.AddNode<Dovlin_ScalarHierarchy>(QString(200, QLatin1Char('a')))));
    Dovlin_NameFilter filter;
    QVERIFY2(filter.SetPattern(pattern), qPrintable(filter.ErrorString()));
    std::vector<unsigned char> marks;
    QCOMPARE(filter.Apply(fm, marks), matches);
    QCOMPARE(filter.LimitString().isEmpty(), matches >= 0);
    if (matches < 0)
        QVERIFY2(filter.LimitString().contains("top." + QString(200, QLatin1Char('a'))), qPrintable(filter.LimitString()));
}

void tst_Model::outOfRange()
{
    Dovlin_FileManager fm;
    auto *s0 = &fm.AddSignal<Dovlin_IntSignal>();
    fm.AddSignal<Dovlin_RealSignal>();
    fm.AddNode<Dovlin_ScalarHierarchy>();
    auto *h1 = &fm.AddNode<Dovlin_CompositeHierarchy>();
    QVERIFY(!fm.GetSignal(-1) && !fm.GetSignal(2) && !fm.GetHierarchy(-1) && !fm.GetHierarchy(2));
    s0->AddEvent(3, qint64(9));
    QVERIFY(!s0->GetEvent(2) && !s0->GetEvent(-2));
    h1->m_Children.append(42);
    QVERIFY(!h1->GetHierarchy(0) && !h1->GetHierarchy(1));
}

void tst_Model::listEdits_data()
{
    using Pos = Dovlin_WaveList::Pos;
    QTest::addColumn<ListEdit>("edit");
    QTest::addColumn<QString>("after");
    QTest::newRow("insert two") << ListEdit([](Dovlin_WaveList &l) { l.Insert(Pos{1}, {Node("x"), Dovlin_ListRow::OfDivider("bus")}); })
                                << "a x -bus b c d";
    QTest::newRow("append") << ListEdit([](Dovlin_WaveList &l) { l.Insert(Pos{4}, {Node("x")}); }) << "a b c d x";
    QTest::newRow("down one") << ListEdit([](Dovlin_WaveList &l) { l.Move({Pos{0}}, Pos{2}); }) << "b a c d";
    QTest::newRow("up one") << ListEdit([](Dovlin_WaveList &l) { l.Move({Pos{3}}, Pos{2}); }) << "a b d c";
    QTest::newRow("two apart to the end") << ListEdit([](Dovlin_WaveList &l) { l.Move({Pos{2}, Pos{0}}, Pos{4}); }) << "b d a c";
    QTest::newRow("remove two") << ListEdit([](Dovlin_WaveList &l) { l.Remove({Pos{1}, Pos{2}}); }) << "a d";
    QTest::newRow("group two") << ListEdit([](Dovlin_WaveList &l) { l.MakeGroup({Pos{2}, Pos{1}}, "g"); }) << "a [g: b c] d";
    QTest::newRow("into a group") << ListEdit([](Dovlin_WaveList &l) {
        l.MakeGroup({Pos{1}, Pos{2}}, "g");
        l.Insert(Pos{1, 0}, {Node("x")});
    }) << "a [g: x b c] d";
    QTest::newRow("out of a group") << ListEdit([](Dovlin_WaveList &l) {
        l.MakeGroup({Pos{1}, Pos{2}}, "g");
        l.Move({Pos{1, 1}}, Pos{0});
    }) << "c a [g: b] d";
    QTest::newRow("a group with a member asked too") << ListEdit([](Dovlin_WaveList &l) {
        l.MakeGroup({Pos{1}, Pos{2}}, "g");
        l.Remove({Pos{1, 0}, Pos{1}});
    }) << "a d";
    QTest::newRow("rename") << ListEdit([](Dovlin_WaveList &l) { l.Rename(Pos{0}, "clock"); }) << "a=clock b c d";
}

// Each edit, then Undo until there is none, which brings back the list it started from.
void tst_Model::listEdits()
{
    QFETCH(ListEdit, edit);
    QFETCH(QString, after);
    Dovlin_WaveList list;
    list.Insert(Dovlin_WaveList::Pos{0}, {Node("a"), Node("b"), Node("c"), Node("d")});
    list.ClearUndo();
    edit(list);
    QCOMPARE(ListText(list.Rows()), after);
    while (list.Undo())
        ;
    QCOMPARE(ListText(list.Rows()), QStringLiteral("a b c d"));
}

// A view file reads back as written; applied to a dump, the paths it does not have are named;
// its times follow another time base, or stay as they were when they would not fit.
void tst_Model::viewFile()
{
    QTemporaryDir dir;
    Dovlin_ViewFile written;
    Dovlin_ListRow group;
    group.m_Kind = Dovlin_ListRow::Group;
    group.m_Label = "Bus ü";
    group.m_Rows = {Dovlin_ListRow::OfNode("top.gone", Dovlin_Radix::Signed, false), Dovlin_ListRow::OfDivider("—")};
    written.m_List = {Node("top.clk"), group};
    written.m_List[0].m_Label = "clock";
    written.m_Cursors = {5, qint64(1) << 62};
    written.m_DefaultCursor = 1;
    written.m_Start = 10;
    written.m_End = 2000;
    QString error;
    QVERIFY2(written.Write(dir.filePath("v.json"), error), qPrintable(error));
    Dovlin_ViewFile read;
    QVERIFY2(read.Read(dir.filePath("v.json"), error), qPrintable(error));
    QVERIFY(read.m_List == written.m_List);
    QCOMPARE(read.m_Cursors, written.m_Cursors);
    QCOMPARE(read.m_DefaultCursor, 1);
    QCOMPARE(read.m_End, qint64(2000));

    Dovlin_FileManager fm;
    auto *top = &fm.AddNode<Dovlin_CompositeHierarchy>(QStringLiteral("top"));
    QVERIFY(top->AddHierarchy(&fm.AddNode<Dovlin_ScalarHierarchy>(QStringLiteral("clk"))));
    Dovlin_WaveList list;
    list.Replace(read.m_List);
    QCOMPARE(list.MissingPaths(fm), QStringList{"top.gone"});

    QVERIFY(!read.Rebase(-15));
    QCOMPARE(read.m_Cursors.front(), qint64(5));
    read.m_Cursors.back() = 7;
    QVERIFY(read.Rebase(-12));
    QCOMPARE(read.m_Cursors, (std::vector<qint64>{5000, 7000}));
    QVERIFY(read.Rebase(-6) && read.m_Start == 0 && read.m_End == 2);

    QFile other(dir.filePath("other.json"));
    QVERIFY(other.open(QIODevice::WriteOnly) && other.write("{\"format\": \"something\"}") > 0);
    other.close();
    QVERIFY(!read.Read(other.fileName(), error) && error == "not a view file of Dovlin");
}

QTEST_GUILESS_MAIN(tst_Model)
#include "tst_model.moc"
