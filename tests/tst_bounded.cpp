// Dumps and wave files larger than memory: events spill to a temporary file while a dump is
// imported, and an opened wave file is mapped rather than read.
#include "testwaves.h"
#include "tst_vcdimport_support.h"

#include "DovlinWidget.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_SpillFile.h"
#include "Dovlin_VcdImport.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace VcdTesting;

class tst_Bounded : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void spillingChangesNothing_data();
    void spillingChangesNothing();
    void spilledEventsCanBeRead();
    void importLeavesNoSpillFile_data();
    void importLeavesNoSpillFile();
    void documentOutlivesReplacedFile();
    void mappedLoadChecksEveryLength_data();
    void mappedLoadChecksEveryLength();

private:
    QTemporaryDir m_Dir;
};

void tst_Bounded::initTestCase()
{
    QVERIFY(m_Dir.isValid());
}

void tst_Bounded::spillingChangesNothing_data()
{
    QTest::addColumn<int>("signalCount");
    QTest::addColumn<int>("events");
    QTest::addColumn<qint64>("budget");
    QTest::addColumn<bool>("spills");
    // Runs of 64 boxes for a few signals, of a single box for many; a run that never fills; runs
    // kept in memory up to a budget and spilled past it, or all kept.
    QTest::newRow("few signals, many boxes each") << 3 << 40000 << qint64(0) << true;
    QTest::newRow("many signals, one box each") << 200000 << 40 << qint64(0) << true;
    QTest::newRow("box boundaries") << 2 << 33 << qint64(0) << false;
    QTest::newRow("kept up to the budget") << 5 << 40000 << (qint64(1) << 20) << true;
    QTest::newRow("all kept") << 5 << 40000 << (qint64(1) << 30) << false;
}

void tst_Bounded::spillingChangesNothing()
{
    QFETCH(int, signalCount);
    QFETCH(int, events);
    QFETCH(qint64, budget);
    QFETCH(bool, spills);
    // The same events, interleaved across the signals as a dump has them, once in memory and
    // once spilled, closed at the end time as an import does.
    Dovlin_FileManager inMemory, spilled;
    QVERIFY2(spilled.EnableSpill(m_Dir.path()), qPrintable(spilled.ErrorString()));
    spilled.SetMemoryBudget(budget);
    for (Dovlin_FileManager *model : {&inMemory, &spilled}) {
        QRandomGenerator random(3);
        std::vector<Dovlin_Signal *> list;
        for (int s = 0; s < signalCount; ++s)
            list.push_back(s % 3 == 0 ? static_cast<Dovlin_Signal *>(new Dovlin_IntSignal(model))
                                      : new Dovlin_StateSignalT<Dovlin_VerilogType>(model));
        for (int e = 0; e < events; ++e)
            for (int s = 0; s < signalCount; ++s)
                if (s % 3 == 0)
                    list[size_t(s)]->AddEvent(qint64(e), qint64(random.generate64()));
                else
                    list[size_t(s)]->AddEvent(qint64(e), int(random.bounded(4)));
    }
    QCOMPARE(spilled.SpillFile()->Boxes() > 0, spills);
    const QString a = m_Dir.filePath("memory.dvn"), b = m_Dir.filePath("spilled.dvn");
    QVERIFY(inMemory.Save(a, events + 5));
    QVERIFY2(spilled.Save(b, events + 5), qPrintable(spilled.ErrorString()));
    QFile first(a), second(b);
    QVERIFY(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
    QVERIFY(first.readAll() == second.readAll());
}

void tst_Bounded::spilledEventsCanBeRead()
{
    Dovlin_FileManager model;
    QVERIFY(model.EnableSpill(m_Dir.path()));
    auto *a = new Dovlin_IntSignal(&model);
    auto *b = new Dovlin_IntSignal(&model);
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

void tst_Bounded::importLeavesNoSpillFile_data()
{
    QTest::addColumn<QByteArray>("dump");
    QTest::addColumn<qint64>("cancelAt");
    QTest::addColumn<bool>("converts");
    QByteArray big = "$scope module t $end $var wire 8 ! v [7:0] $end $upscope $end\n";
    for (int t = 0; t < 100000; ++t)
        big += "#" + QByteArray::number(t) + " b" + QByteArray::number(t & 255, 2) + " !\n";
    QTest::newRow("converted") << big << qint64(-1) << true;
    QTest::newRow("cancelled") << big << qint64(1) << false;
    QTest::newRow("syntax error at the end") << big + "$upscope $end\n" << qint64(-1) << false;
}

void tst_Bounded::importLeavesNoSpillFile()
{
    QFETCH(QByteArray, dump);
    QFETCH(qint64, cancelAt);
    QFETCH(bool, converts);
    const QString vcd = m_Dir.filePath("spill.vcd");
    QFile file(vcd);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(dump);
    file.close();
    QFile::remove(m_Dir.filePath("spill.dvn"));

    RecordingReporter reporter;
    reporter.m_CancelAt = cancelAt;
    Dovlin_VcdImport import(&reporter);
    QCOMPARE(import.Convert(vcd), converts);
    QCOMPARE(QFile::exists(m_Dir.filePath("spill.dvn")), converts);
    QCOMPARE(QDir(m_Dir.path()).entryList({".dovlin-spill-*", "*.dvn.*"}, QDir::Files | QDir::Hidden), QStringList());
}

void tst_Bounded::documentOutlivesReplacedFile()
{
    const QString vcd = m_Dir.filePath("again.vcd");
    const auto write = [&](const QByteArray &values) {
        QFile file(vcd);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("$scope module t $end $var wire 4 ! v [3:0] $end $upscope $end\n" + values);
    };
    write("#0 b0001 ! #10 b0010 ! #20\n");
    RecordingReporter reporter;
    QVERIFY(Dovlin_VcdImport(&reporter).Convert(vcd));
    DovlinWidget document(nullptr);
    QVERIFY(document.loadFile(m_Dir.filePath("again.dvn")));
    document.resize(800, 400);
    document.show();
    document.zoomFull();
    const QImage before = document.shapeWidget()->grab().toImage();

    // The dump is imported again over the open file: the window keeps what it opened.
    write("#0 b1111 ! #5 b0000 ! #40\n");
    QVERIFY(Dovlin_VcdImport(&reporter).Convert(vcd));
    QCOMPARE(document.shapeWidget()->grab().toImage(), before);
    Dovlin_Hierarchy *bus = document.fileManager().GetHierarchy(1);
    QCOMPARE(bus->GetSignalState(15), QString(" 2u "));
    QCOMPARE(document.endTime(), qint64(20));
    Dovlin_FileManager fresh;
    QVERIFY(fresh.Load(m_Dir.filePath("again.dvn")));
    QCOMPARE(fresh.GetEndTime(), qint64(40));
}

void tst_Bounded::mappedLoadChecksEveryLength_data()
{
    QTest::addColumn<int>("cut");
    // A wave file of one signal with two boxes: its last bytes, a whole box, the box counts.
    for (int cut : {1, 512, 520, 1000})
        QTest::newRow(qPrintable(QString("%1 bytes short").arg(cut))) << cut;
}

void tst_Bounded::mappedLoadChecksEveryLength()
{
    QFETCH(int, cut);
    TestWave wave;
    QList<QPair<qint64, int>> changes;
    for (int i = 0; i < 40; ++i)
        changes.append({i, i % 2});
    wave.Logic("clk", wave.Scope("top"), changes);
    const QString path = m_Dir.filePath("cut.dvn");
    QVERIFY(wave.Save(path, 100));
    const qint64 size = QFileInfo(path).size();
    {
        Dovlin_FileManager whole;
        QVERIFY2(whole.Load(path), qPrintable(whole.ErrorString()));
        QCOMPARE(whole.GetSignal(0)->GetnEvent(), qint64(42));
    }
    QVERIFY(QFile::resize(path, size - cut));
    Dovlin_FileManager model;
    QVERIFY(!model.Load(path));
    QVERIFY(model.ErrorString().contains("truncated") || model.ErrorString().contains("does not fit"));
}

QTEST_MAIN(tst_Bounded)
#include "tst_bounded.moc"
