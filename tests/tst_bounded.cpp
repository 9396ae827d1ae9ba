// Dumps larger than memory: events spill to a temporary file while a dump is imported (an
// opened wave file is mapped rather than read: tst_wavefile loads both ways, tst_faults changes
// the mapped file under an open document).
#include "Dovlin_FileManager.h"
#include "Dovlin_Signals.h"
#include "Dovlin_SpillFile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

class tst_Bounded : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void spillingChangesNothing_data()
    {
        QTest::addColumn<int>("signalCount");
        QTest::addColumn<int>("events");
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<bool>("spills");
        QTest::addColumn<bool>("hostile");
        // Many boxes for a few signals, a single box for many; a box that never fills; packed boxes
        // kept in memory up to a budget and written to the file past it, or all kept. Hostile: times
        // that repeat, jump by up to 2^62 and go backwards, values at both ends of the range.
        QTest::newRow("few signals, many boxes each") << 3 << 40000 << qint64(0) << true << false;
        QTest::newRow("many signals, one box each") << 200000 << 40 << qint64(0) << true << false;
        QTest::newRow("signals longer than a read-ahead piece") << 3 << 200000 << qint64(0) << true << false;
        QTest::newRow("box boundaries") << 2 << 33 << qint64(0) << false << false;
        QTest::newRow("kept up to the budget") << 5 << 40000 << (qint64(1) << 18) << true << false;
        QTest::newRow("all kept") << 5 << 40000 << (qint64(1) << 30) << false << false;
        QTest::newRow("hostile times and values") << 4 << 40000 << qint64(0) << true << true;
    }

    void spillingChangesNothing()
    {
        QFETCH(int, signalCount);
        QFETCH(int, events);
        QFETCH(qint64, budget);
        QFETCH(bool, spills);
        QFETCH(bool, hostile);
        std::vector<qint64> times(size_t(events), 0);
        QRandomGenerator random(3);
        for (size_t e = 1; hostile && e < times.size(); ++e) {
            const quint32 step = random.bounded(4);
            times[e] = step == 0 ? times[e - 1] : step == 1 ? times[e - 1] - 1000 : times[e - 1] + qint64(random.generate64() >> (2 + step * 20));
        }
        // The same events, interleaved across the signals as a dump has them, once in memory and
        // once spilled, closed at the end time as an import does.
        Dovlin_FileManager inMemory, spilled;
        QVERIFY2(spilled.EnableSpill(m_Dir.path()), qPrintable(spilled.ErrorString()));
        spilled.SetMemoryBudget(budget);
        // The spilled boxes are read ahead of the writer on other threads.
        spilled.SetWriteThreads(3);
        for (Dovlin_FileManager *model : {&inMemory, &spilled}) {
            random.seed(3);
            std::vector<Dovlin_Signal *> list;
            for (int s = 0; s < signalCount; ++s)
                list.push_back(model->AddSignalOfType(s % 3 == 0 ? Dovlin_TypeCode::Integer : Dovlin_TypeCode::Verilog));
            for (int e = 0; e < events; ++e) {
                const qint64 time = hostile ? times[size_t(e)] : qint64(e);
                for (int s = 0; s < signalCount; ++s)
                    if (s % 3 == 0 && hostile)
                        list[size_t(s)]->AddEvent(time, e % 2 ? std::numeric_limits<qint64>::min() + qint64(e)
                                                              : std::numeric_limits<qint64>::max() - qint64(random.bounded(5)));
                    else if (s % 3 == 0)
                        list[size_t(s)]->AddEvent(time, qint64(random.generate64()));
                    else
                        list[size_t(s)]->AddEvent(time, int(random.bounded(4)));
            }
        }
        QCOMPARE(spilled.SpillFile()->BytesWritten() > 0, spills);
        const QString a = m_Dir.filePath("memory.dvn"), b = m_Dir.filePath("spilled.dvn");
        const qint64 end = hostile ? times.back() + 5 : events + 5;
        // Times that go back cannot be packed behind an index: they are written in format 1.
        const int format = hostile ? Dovlin_WaveFormat::Format1 : Dovlin_WaveFormat::Format2;
        QVERIFY(inMemory.Save(a, end, format));
        QVERIFY2(spilled.Save(b, end, format), qPrintable(spilled.ErrorString()));
        QFile first(a), second(b);
        QVERIFY(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
        QVERIFY(first.readAll() == second.readAll());
    }

    void spilledEventsCanBeRead()
    {
        Dovlin_FileManager model;
        QVERIFY(model.EnableSpill(m_Dir.path()));
        auto *a = &model.AddSignal<Dovlin_IntSignal>();
        auto *b = &model.AddSignal<Dovlin_IntSignal>();
        for (qint64 e = 0; e < 10000; ++e) {
            a->AddEvent(e, e * 3);
            b->AddEvent(e, -e);
        }
        // Copies, searches and the last event work across spilled and kept boxes alike.
        std::vector<CSignalEvent> copy(100);
        QVERIFY(a->ReadEvents(5000, 100, copy.data()));
        for (qint64 i = 0; i < 100; ++i)
            QCOMPARE(copy[size_t(i)].m_Value.m_IntValue, (4999 + i) * 3);
        QVERIFY(!a->ReadEvents(9990, 100, copy.data()));
        QCOMPARE(a->FindEventIndex(1234), qint64(1235));
        QCOMPARE(a->GetEvent(1235)->m_Value.m_IntValue, qint64(1234 * 3));
        QCOMPARE(b->GetLastEvent()->m_Value.m_IntValue, qint64(-9999));
        QCOMPARE(b->GetEventAt(7000)->m_Value.m_IntValue, qint64(-7000));
    }

private:
    QTemporaryDir m_Dir;
};

QTEST_GUILESS_MAIN(tst_Bounded)
#include "tst_bounded.moc"
