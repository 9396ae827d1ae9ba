#include "testwaves.h"

#include "Dovlin_Columns.h"
#include "scopedseams.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <set>

// The questions the canvas asks the model: which events fall into a pixel column, what values
// they span, which columns of a bus or scope hold changes or unknown bits. Every answer is
// checked against a plain walk over all events.
class tst_Columns : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The map the other checks lean on, against columns worked out by hand: 3 pixels per 7 time
    // units from 100, so column x starts at 100 + ceil(7x / 3).
    void columnMap_data()
    {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("time");
        QTest::addColumn<int>("column");
        QTest::addColumn<qint64>("firstTime");
        QTest::newRow("at the start") << qint64(100) << qint64(100) << 0 << qint64(100);
        QTest::newRow("last time of column 0") << qint64(100) << qint64(102) << 0 << qint64(100);
        QTest::newRow("column 1") << qint64(100) << qint64(103) << 1 << qint64(103);
        QTest::newRow("column 2 starts at 105") << qint64(100) << qint64(105) << 2 << qint64(105);
        QTest::newRow("column 3") << qint64(100) << qint64(107) << 3 << qint64(107);
        QTest::newRow("left of the window") << qint64(100) << qint64(97) << -1 << qint64(100);
        QTest::newRow("last column, 999") << qint64(100) << qint64(2433) << 999 << qint64(2431);
        QTest::newRow("right of the window") << qint64(100) << qint64(2434) << 1000 << qint64(2434);
        QTest::newRow("far right, near 2^63") << qint64(100) << LLONG_MAX << 1000 << qint64(2434);
        QTest::newRow("far left, near -2^63") << qint64(100) << LLONG_MIN << -1 << qint64(100);
        QTest::newRow("window at the largest times") << LLONG_MAX - 2334 << LLONG_MAX << 1000 << LLONG_MAX;
    }

    void columnMap()
    {
        QFETCH(qint64, start);
        QFETCH(qint64, time);
        QFETCH(int, column);
        QFETCH(qint64, firstTime);
        const Dovlin_ColumnMap map{start, 7, 3, 1000};
        QCOMPARE(map.ColumnOf(time), column);
        QCOMPARE(map.FirstTimeOf(qMax(column, 0)), firstTime);
    }

    void findFrom_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<bool>("packed");
        for (const char *shape : {"even", "bursts", "equal"}) {
            QTest::newRow(shape) << QString(shape) << false;
            QTest::newRow(qPrintable(QString("%1, kept packed").arg(shape))) << QString(shape) << true;
        }
    }

    void findFrom()
    {
        QFETCH(QString, shape);
        QFETCH(bool, packed);
        Dovlin_FileManager built, loaded;
        auto *signal = &built.AddSignal<Dovlin_IntSignal>();
        const QList<qint64> eventTimes = times(shape, 5000, 7);
        for (qint64 t : eventTimes)
            signal->AddEvent(t, t);
        // A file of format 2 keeps the events packed, searched through its box index.
        QTemporaryDir dir;
        if (packed) {
            const QString path = dir.filePath("packed.dvn");
            QVERIFY(built.Save(path, eventTimes.last()) && loaded.Load(path));
            signal = static_cast<Dovlin_IntSignal *>(loaded.GetSignal(0));
        }
        QList<qint64> stored;
        for (qint64 i = 0; i < signal->GetnEvent(); ++i)
            stored << signal->GetEvent(i)->m_Time;
        QRandomGenerator random(11);
        for (int query = 0; query < 3000; ++query) {
            const qint64 time = random.bounded(int(eventTimes.last() + 20)) - 5;
            const qint64 from = random.bounded(int(stored.size() + 2));
            // The first stored event at or after from whose time is >= time.
            qint64 expected = from;
            while (expected < stored.size() && stored.at(expected) < time)
                ++expected;
            if (from >= stored.size())
                expected = stored.size();
            QCOMPARE(signal->FindEventIndex(time, from), expected);
            QCOMPARE(signal->FindEventIndex(time), qint64(std::lower_bound(stored.begin(), stored.end(), time) - stored.begin()));
        }
    }

    // Columns from a share of a box to many runs of 32 boxes, over even events (event i at time 10 i),
    // bursts and sparse events; the signal then grows, and its columns with it.
    void columns_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("shape");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("timePerTick");
        QTest::addColumn<int>("pixelsPerTick");
        QTest::addColumn<int>("width"); // 0: up to the last event
        const struct
        {
            const char *name, *shape;
            qint64 first, timePerTick;
            int pixelsPerTick, width;
        } columns[] = {{"inside a box", "even", 5, 200, 1, 0},
                       {"boxes of one run", "even", 37, 7000, 1, 0},
                       {"one run, on its bounds", "even", 1024, 10240, 1, 0},
                       {"one run's length, across two", "even", 1500, 10240, 1, 0},
                       {"many runs, parts at both ends", "even", 777, 50000, 1, 0},
                       {"sparse events", "even", 37, 3, 2, 300},
                       {"bursts, narrow window", "bursts", 37, 3, 2, 7},
                       {"bursts, wide window", "bursts", 37, 3, 2, 300}};
        for (int type : {1, 2, 8})
            for (const auto &column : columns)
                QTest::newRow(qPrintable(QString("type %1, %2").arg(type).arg(column.name)))
                    << type << QString(column.shape) << column.first << column.timePerTick << column.pixelsPerTick
                    << column.width;
    }

    void columns()
    {
        QFETCH(int, type);
        QFETCH(QString, shape);
        QFETCH(qint64, first);
        QFETCH(qint64, timePerTick);
        QFETCH(int, pixelsPerTick);
        QFETCH(int, width);
        Dovlin_FileManager model;
        Dovlin_Signal *signal = model.AddSignalOfType(type);
        const QList<qint64> eventTimes = times(shape, 43333, 3);
        QRandomGenerator random(9);
        const auto append = [&](qsizetype from, qsizetype to) {
            for (qsizetype i = from; i < to; ++i) {
                const qint64 t = eventTimes.at(i);
                // Values that fall or rise with time, so that an event missed or folded twice at a
                // column's ends changes its range, and rare spikes, NaNs and Xs anywhere.
                const int r = random.bounded(100000);
                if (type == 1)
                    signal->AddEvent(t, r % 1499 == 0 ? qint64(r) << 32 : -1000 * t);
                else if (type == 2)
                    signal->AddEvent(t, r % 4999 == 0 ? std::nan("") : t / 7.0);
                else
                    signal->AddEvent(t, r % 997 == 0 ? 3 : r % 3);
            }
        };
        append(0, 40000);
        for (int round = 0; round < 2; ++round) {
            const qint64 start = signal->GetEvent(first)->m_Time;
            const qint64 last = signal->GetEvent(signal->GetnEvent() - 1)->m_Time;
            const Dovlin_ColumnMap map{start, timePerTick, pixelsPerTick,
                                       width ? width : int((last - start) / timePerTick) + 1};
            const qint64 beyond = map.FirstTimeOf(map.m_Width);
            QVERIFY(map.ColumnOf(beyond) == map.m_Width && map.ColumnOf(beyond - 1) == map.m_Width - 1);
            const qint64 from = signal->FindEventIndex(start);
            qint64 index = from;
            int lastColumn = -1;
            Dovlin_Column column;
            while (signal->NextColumn(map, index, column) && column.m_X < map.m_Width) {
                QVERIFY(column.m_X > lastColumn);
                QCOMPARE(column.m_First, index);
                QVERIFY(column.m_End > column.m_First);
                for (qint64 i = column.m_First; i < column.m_End; ++i)
                    QCOMPARE(map.ColumnOf(signal->GetEvent(i)->m_Time), column.m_X);
                // The event after the column lies in a later column.
                if (const std::optional<CSignalEvent> after = signal->GetEvent(column.m_End))
                    QVERIFY(map.ColumnOf(after->m_Time) > column.m_X);
                compareRanges(column.m_Values, walk(*signal, type, column.m_First, column.m_End));
                lastColumn = column.m_X;
                index = column.m_End;
            }
            // Every event inside the window was in exactly one column.
            qint64 inside = from;
            while (inside < signal->GetnEvent() && signal->GetEvent(inside)->m_Time < beyond)
                ++inside;
            QCOMPARE(index, inside);
            append(40000, eventTimes.size());
        }
    }

    void changeColumns_data()
    {
        QTest::addColumn<bool>("merged");
        QTest::addColumn<int>("width");
        QTest::newRow("merged times, narrow") << true << 13;
        QTest::newRow("merged times, wide") << true << 700;
        QTest::newRow("leaf by leaf, narrow") << false << 13;
        QTest::newRow("leaf by leaf, wide") << false << 700;
    }

    void changeColumns()
    {
        QFETCH(bool, merged);
        QFETCH(int, width);
        // A scope of buses and bits: some share their clock's times, one is an alias of another.
        TestWave wave;
        auto *top = wave.Scope("top");
        QRandomGenerator random(9);
        std::vector<Dovlin_ScalarHierarchy *> leaves;
        for (int leaf = 0; leaf < 12; ++leaf) {
            QList<QPair<qint64, int>> changes;
            qint64 t = 0;
            for (int i = 0; i < 400; ++i) {
                t += leaf % 3 == 0 ? 50 : 1 + random.bounded(leaf * 40 + 5);
                changes.append({t, i % 2});
            }
            leaves.push_back(wave.Logic(QString("s%1").arg(leaf), top, changes));
        }
        wave.Leaf("alias", top, leaves.front()->GetSignal());
        wave.Logic("quiet", top, {});

        const ScopedMaxMergedEvents limit(merged ? qint64(1) << 25 : 0);
        for (qint64 start : {qint64(0), qint64(777), qint64(5000)}) {
            const Dovlin_ColumnMap map{start, 7, 3, width};
            Dovlin_ChangeColumns columns;
            top->GetChangeColumns(map, columns);
            QCOMPARE(top->ChangeTimes() != nullptr, merged);

            // Distinct change times per column, sentinels left out.
            std::vector<std::set<qint64>> distinct(static_cast<size_t>(width));
            bool after = false;
            for (const Dovlin_ScalarHierarchy *leaf : leaves) {
                const Dovlin_Signal *signal = leaf->GetSignal();
                for (qint64 i = 1; i < signal->GetnEvent(); ++i) {
                    const int x = map.ColumnOf(signal->GetEvent(i)->m_Time);
                    if (x >= 0 && x < width)
                        distinct[size_t(x)].insert(signal->GetEvent(i)->m_Time);
                    after = after || x >= width;
                }
            }
            for (int x = 0; x < width; ++x)
                QCOMPARE(int(columns.m_Changes[size_t(x)]), int(qMin<size_t>(2, distinct[size_t(x)].size())));
            QCOMPARE(columns.m_After, after);
            QVERIFY(columns.m_Before);
        }
    }

    void unknownColumns_data()
    {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("timePerTick");
        QTest::addColumn<int>("pixelsPerTick");
        QTest::addColumn<int>("width");
        QTest::newRow("crowded columns") << qint64(0) << qint64(40) << 1 << 300;
        QTest::newRow("a few events a column") << qint64(1777) << qint64(7) << 3 << 700;
        QTest::newRow("many columns an event") << qint64(1450) << qint64(1) << 5 << 400;
        QTest::newRow("past the end") << qint64(10001) << qint64(7) << 1 << 300;
    }

    void unknownColumns()
    {
        QFETCH(qint64, start);
        QFETCH(qint64, timePerTick);
        QFETCH(int, pixelsPerTick);
        QFETCH(int, width);
        // A bus of four-state and nine-state bits, mostly 0, 1, L and H; the last bit is first set at
        // 1500, and all end at 10 000.
        TestWave wave;
        auto *bus = wave.Scope("bus");
        QRandomGenerator random(5);
        for (int bit = 0; bit < 6; ++bit) {
            const bool nine = bit % 2;
            Dovlin_Signal *signal = wave.m_Model.AddSignalOfType(nine ? Dovlin_TypeCode::StdLogic : Dovlin_TypeCode::Verilog);
            for (qint64 t = bit == 5 ? 1500 : 0; t < 10000; t += 1 + random.bounded(bit * 30 + 3)) {
                const bool odd = random.bounded(60) == 0;
                signal->AddEvent(t, nine ? (odd ? int(random.bounded(9)) : QList<int>{2, 3, 6, 7}[random.bounded(4)])
                                         : int(odd ? 2 + random.bounded(2) : random.bounded(2)));
            }
            signal->AddLastEvent(10000);
            wave.Leaf(QString("bus[%1]").arg(bit), bus, signal);
        }
        const Dovlin_ColumnMap map{start, timePerTick, pixelsPerTick, width};
        Dovlin_ChangeColumns columns;
        bus->GetUnknownColumns(map, columns);

        // A plain walk over every event for each column: the state a bit holds on entering the column
        // (that of its last event left of it, none before its first change) counts unless an event
        // opens the column at its first time; so do the states inside it, and no value past the end.
        const auto unknown = [](const Dovlin_Signal *signal, qint64 i) {
            const int state = signal->GetEvent(i)->m_Value.m_State;
            return i == 0 || (signal->GetTypeCode() == Dovlin_TypeCode::StdLogic ? !QList<int>{2, 3, 6, 7}.contains(state)
                                                                               : state != 0 && state != 1);
        };
        // Times before the window are left of it (ColumnOf truncates them to column 0).
        const auto columnOf = [&map](qint64 t) { return t < map.m_Start ? -1 : map.ColumnOf(t); };
        int unknownColumns = 0;
        for (int x = 0; x < width; ++x) {
            bool expected = false;
            for (int bit = 0; bit < bus->GetnChild(); ++bit) {
                const Dovlin_Signal *signal = bus->GetHierarchy(bit)->GetSignal();
                qint64 held = 0;
                bool opened = false;
                for (qint64 i = 1; i < signal->GetnEvent(); ++i) {
                    const qint64 t = signal->GetEvent(i)->m_Time;
                    const int column = columnOf(t);
                    if (column < x)
                        held = i;
                    opened = opened || (column == x && t == map.FirstTimeOf(x));
                    expected = expected || (column == x && unknown(signal, i));
                }
                expected = expected || (!opened && unknown(signal, held)) || x > columnOf(signal->GetLastTime());
            }
            QVERIFY2(bool(columns.m_Unknown[size_t(x)]) == expected, qPrintable(QString("column %1").arg(x)));
            unknownColumns += expected;
        }
        // Every window but the last has both kinds of column.
        QVERIFY(unknownColumns > 0);
        QCOMPARE(unknownColumns == width, start > 10000);
    }

    void scopeTextIsCut()
    {
        TestWave wave;
        auto *top = wave.Scope("top");
        // Values stand until the last change, at 10.
        auto *bus = wave.Bus("bus", top, 300, {{0, QString(300, '1')}, {10, QString(300, '0')}});
        for (int i = 0; i < 400; ++i)
            wave.Logic(QString("b%1").arg(i), top, {{0, 1}, {10, 1}});
        QVERIFY(bus->IsBus());
        QVERIFY(!top->IsBus());
        bus->m_Radix = Dovlin_Radix::Binary;
        // A bus keeps every bit; a scope's text ends in an ellipsis once nobody could read it.
        QCOMPARE(bus->GetSignalState(5), " " + QString(300, '1') + "b");
        const QString text = top->GetSignalState(5);
        QCOMPARE(text.size(), Dovlin_CompositeHierarchy::m_ScopeTextLimit + 1);
        QVERIFY(text.endsWith(QChar(0x2026)));
    }

private:
    // Event times of a few shapes: even steps, bursts with long gaps, many equal times.
    static QList<qint64> times(const QString &shape, int count, quint32 seed)
    {
        QRandomGenerator random(seed);
        QList<qint64> result;
        qint64 t = 0;
        for (int i = 0; i < count; ++i) {
            if (shape == "even")
                t += 10;
            else if (shape == "bursts")
                t += random.bounded(100) < 3 ? random.bounded(1000000) : random.bounded(3);
            else
                t += random.bounded(4) == 0 ? 1 : 0;
            result << t;
        }
        return result;
    }

    // The range of the values of stored events [first, end), one event at a time.
    static Dovlin_ValueRange walk(const Dovlin_Signal &signal, int type, qint64 first, qint64 end)
    {
        Dovlin_ValueRange range;
        for (qint64 i = first; i < end; ++i) {
            const std::optional<CSignalEvent> event = signal.GetEvent(i);
            ++range.m_Count;
            if (type == 1) {
                range.m_MinInt = qMin(range.m_MinInt, event->m_Value.m_IntValue);
                range.m_MaxInt = qMax(range.m_MaxInt, event->m_Value.m_IntValue);
            } else if (type == 2) {
                if (std::isnan(event->m_Value.m_RealValue)) {
                    range.m_HasNaN = true;
                } else {
                    range.m_MinReal = qMin(range.m_MinReal, event->m_Value.m_RealValue);
                    range.m_MaxReal = qMax(range.m_MaxReal, event->m_Value.m_RealValue);
                }
            } else {
                range.m_StateMask |= Dovlin_ValueRange::StateBit(event->m_Value.m_State);
            }
        }
        return range;
    }

    static void compareRanges(const Dovlin_ValueRange &actual, const Dovlin_ValueRange &expected)
    {
        QCOMPARE(actual.m_Count, expected.m_Count);
        QCOMPARE(actual.m_StateMask, expected.m_StateMask);
        QCOMPARE(actual.m_MinInt, expected.m_MinInt);
        QCOMPARE(actual.m_MaxInt, expected.m_MaxInt);
        QCOMPARE(actual.m_MinReal, expected.m_MinReal);
        QCOMPARE(actual.m_MaxReal, expected.m_MaxReal);
        QCOMPARE(actual.m_HasNaN, expected.m_HasNaN);
    }
};

QTEST_MAIN(tst_Columns)
#include "tst_columns.moc"
