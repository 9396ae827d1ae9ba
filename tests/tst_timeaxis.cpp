#include "testwaves.h"

#include "DovlinWidget.h"
#include "Dovlin_ShapeWidget.h"

#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>

// The time axis of the canvas, on a canvas of a chosen size whose owner document holds a file
// with a chosen end time and time base.
class tst_TimeAxis : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { m_Document.reset(); }

    void calcTick_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<qint64>("tick");
        QTest::addColumn<int>("spacing");
        QTest::addColumn<qint64>("rightEdge");
        // From the first window [0, 1] with ratio 1, every request here has ratio below 1 but the last.
        QTest::newRow("five pixels, step 50") << 1000 << qint64(0) << qint64(10000) << qint64(50) << 5 << qint64(10000);
        QTest::newRow("eight pixels, exact") << 800 << qint64(0) << qint64(1000) << qint64(10) << 8 << qint64(1000);
        QTest::newRow("below one unit a tick: tie to the first spacing")
            << 1000 << qint64(0) << qint64(50) << qint64(1) << 5 << qint64(200);
        QTest::newRow("left edge snapped") << 1000 << qint64(1234) << qint64(11234) << qint64(50) << 5 << qint64(11200);
        QTest::newRow("narrower than a spacing") << 8 << qint64(0) << qint64(1000) << qint64(1000) << 5 << qint64(1600);
        QTest::newRow("narrower than every spacing") << 4 << qint64(0) << qint64(1000) << qint64(1) << 5 << qint64(0);
        QTest::newRow("zoomed in to one unit") << 1000 << qint64(0) << qint64(1) << qint64(1) << 1000 << qint64(1);
    }

    void calcTick()
    {
        QFETCH(int, width);
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        QFETCH(qint64, tick);
        QFETCH(int, spacing);
        QFETCH(qint64, rightEdge);
        Dovlin_ShapeWidget *shape = makeCanvas(width, 100000);
        QVERIFY(shape);
        shape->ZoomTime2Time(start, end);
        QCOMPARE(shape->currTickTime(), tick);
        QCOMPARE(shape->currZoomCo(), spacing);
        QCOMPARE(shape->endScopeTime(), rightEdge);
        QCOMPARE(shape->startScopeTime() % tick, qint64(0));
    }

    void zoomLimits()
    {
        Dovlin_ShapeWidget *shape = makeCanvas(1000, 100000);
        QVERIFY(shape);

        // A window of one time unit cannot be halved.
        shape->ZoomTime2Time(7, 8);
        const qint64 start = shape->startScopeTime(), end = shape->endScopeTime();
        shape->ZoomTime2Time(shape->startScopeTime(), shape->startScopeTime());
        shape->ZoomTime2Time(200000, 300000);
        // Nothing lies left of time 0: an area there is refused, one reaching into it starts at 0.
        shape->ZoomTime2Time(-99999, -99998);
        QCOMPARE(shape->startScopeTime(), start);
        QCOMPARE(shape->endScopeTime(), end);
        shape->ZoomTime2Time(-500, 1001);
        QCOMPARE(shape->startScopeTime(), qint64(0));

        // Zooming out near the end stops at the end time; the left edge stays.
        shape->ZoomTime2Time(90000, 95000);
        const qint64 left = shape->startScopeTime();
        shape->zoomOut();
        QCOMPARE(shape->startScopeTime(), left);
        QVERIFY(shape->endScopeTime() >= 100000);
        shape->zoomFull();
        QCOMPARE(shape->startScopeTime(), qint64(0));
        QVERIFY(shape->endScopeTime() >= 100000);
    }

    void leftEdgeOnTickAfterEveryZoom()
    {
        Dovlin_ShapeWidget *shape = makeCanvas(997, 123456789);
        QVERIFY(shape);
        shape->zoomFull();
        const QString steps = "iiiioiiiiiiiiiiiiiiiiiiiiiioooooof";
        for (const QChar step : steps) {
            const qint64 span = shape->endScopeTime() - shape->startScopeTime();
            if (step == 'i')
                shape->zoomIn();
            else if (step == 'o')
                shape->zoomOut();
            else
                shape->zoomFull();
            const qint64 now = shape->endScopeTime() - shape->startScopeTime();
            QCOMPARE(shape->startScopeTime() % shape->currTickTime(), qint64(0));
            QVERIFY(now > 0);
            // In narrows a window still wider than the canvas, out widens one short of the end.
            if (step == 'i' && span > shape->width())
                QVERIFY(now < span);
            if (step == 'o' && shape->endScopeTime() < 123456789)
                QVERIFY(now > span);
            if (step == 'f')
                QVERIFY(shape->startScopeTime() == 0 && shape->endScopeTime() >= 123456789);
        }
    }

    void wheel_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("delta");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<qint64>("shift");
        // The window is [20000, 60000): a tenth of it is 4000. The plain wheel is left to the parent.
        QTest::newRow("down zooms in") << int(Qt::NoModifier) << -120 << -1 << qint64(0);
        QTest::newRow("up zooms out") << int(Qt::NoModifier) << 120 << 1 << qint64(0);
        QTest::newRow("shift down scrolls later") << int(Qt::ShiftModifier) << -120 << 0 << qint64(4000);
        QTest::newRow("shift up scrolls earlier") << int(Qt::ShiftModifier) << 120 << 0 << qint64(-4000);
        QTest::newRow("ctrl up zooms in") << int(Qt::ControlModifier) << 120 << -1 << qint64(0);
        QTest::newRow("ctrl down zooms out") << int(Qt::ControlModifier) << -120 << 1 << qint64(0);
    }

    void wheel()
    {
        QFETCH(int, modifiers);
        QFETCH(int, delta);
        QFETCH(int, zoom);
        QFETCH(qint64, shift);
        Dovlin_ShapeWidget *shape = makeCanvas(1000, 100000);
        QVERIFY(shape);
        shape->ZoomTime2Time(20000, 60000);
        const qint64 start = shape->startScopeTime();
        const qint64 span = shape->endScopeTime() - start;
        const QPointF pointer(300, 10);
        const qint64 anchor = shape->GetTime(300);
        QWheelEvent wheel(pointer, pointer, QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::KeyboardModifiers(modifiers), Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(shape, &wheel);
        QCOMPARE(wheel.isAccepted(), modifiers != Qt::NoModifier);
        const qint64 newSpan = shape->endScopeTime() - shape->startScopeTime();
        if (zoom == 0) {
            QCOMPARE(newSpan, span);
            QCOMPARE(shape->startScopeTime(), start + shift);
        } else {
            QVERIFY(zoom < 0 ? newSpan < span : newSpan > span);
        }
        if (modifiers == Qt::ControlModifier) {
            // The time under the pointer stays there, to the nearest tick.
            QVERIFY2(qAbs(shape->TimeToX(anchor) - 300) <= shape->currZoomCo() / 2 + 1,
                     qPrintable(QString::number(shape->TimeToX(anchor))));
        }
    }

    void timeText_data()
    {
        QTest::addColumn<int>("timeBase");
        QTest::addColumn<qint64>("time");
        QTest::addColumn<QString>("text");
        QTest::newRow("ns") << -9 << qint64(250) << " 250n ";
        QTest::newRow("us from ns") << -9 << qint64(3000) << " 3u ";
        QTest::newRow("not a whole us") << -9 << qint64(2500) << " 2500n ";
        QTest::newRow("ms from ns") << -9 << qint64(7000000) << " 7m ";
        QTest::newRow("stops at the largest prefix") << -9 << qint64(5000000000000) << " 5K ";
        QTest::newRow("zero has no prefix") << -9 << qint64(0) << " 0 ";
        QTest::newRow("negative has no prefix") << -9 << qint64(-20) << " -20 ";
        QTest::newRow("seconds show s") << 0 << qint64(2) << " 2s ";
        QTest::newRow("fs to ps") << -15 << qint64(1000) << " 1p ";
        QTest::newRow("time base beyond the prefixes") << -18 << qint64(5) << " 5e-18s ";
    }

    void timeText()
    {
        QFETCH(int, timeBase);
        QFETCH(qint64, time);
        QFETCH(QString, text);
        Dovlin_ShapeWidget *shape = makeCanvas(100, 10, timeBase);
        QVERIFY(shape);
        QCOMPARE(shape->GetActualTimeStr(time), text);
    }

    void scrollingKeepsTheRulerOnZero()
    {
        Dovlin_ShapeWidget *shape = makeCanvas(1000, 100000);
        QVERIFY(shape);
        shape->ZoomTime2Time(2000, 12000);
        QCOMPARE(shape->currTickTime(), qint64(50));
        shape->ConfigScrollBar();
        QCOMPARE(shape->scrollBar()->minimum(), 0);
        QCOMPARE(shape->scrollBar()->maximum(), 100000 / 50);
        QCOMPARE(shape->scrollBar()->value(), 2000 / 50);
        // Start the window at tick 15: the first grid line is at tick 20 (x = 25), the first label too;
        // tick 30 (x = 75) has a grid line but no label.
        shape->scrollBar()->setValue(15);
        QCOMPARE(shape->startScopeTime(), qint64(750));
        QCOMPARE(shape->endScopeTime(), qint64(10750));
        QCOMPARE(shape->currTickTime(), qint64(50));
        const QImage image = shape->grab().toImage();
        const int y = shape->GetWaveHeight(-1);
        const auto isGrid = [&](int x) { return image.pixelColor(x, 2) == QColor(0x707070); };
        const auto hasLabel = [&](int x) {
            for (int dy = 5; dy < 18; ++dy)
                for (int dx = 1; dx < 30; ++dx)
                    if (image.pixelColor(x + dx, y + dy).green() > 100 && image.pixelColor(x + dx, y + dy).red() < 60)
                        return true;
            return false;
        };
        QVERIFY(!isGrid(0));
        QVERIFY(isGrid(25));
        QVERIFY(!isGrid(50));
        QVERIFY(isGrid(75));
        QVERIFY(hasLabel(25));
        QVERIFY(!hasLabel(75));
        QVERIFY(hasLabel(125));
    }

    // A file reaching the largest time a dump can hold: every zoom, scroll and paint keeps the
    // window inside the 64-bit range (the sanitizer build aborts on any overflow on the way).
    void largestTimes_data()
    {
        QTest::addColumn<qint64>("endTime");
        QTest::newRow("2^63 - 1") << LLONG_MAX;
        QTest::newRow("2^63 - 2^31 + 1") << LLONG_MAX - INT_MAX + 1;
        QTest::newRow("2^62") << (qint64(1) << 62);
    }

    void largestTimes()
    {
        QFETCH(qint64, endTime);
        Dovlin_ShapeWidget *shape = makeCanvas(1000, endTime);
        QVERIFY(shape);
        const auto sane = [&]() {
            return shape->startScopeTime() >= 0 && shape->endScopeTime() > shape->startScopeTime()
                   && shape->GetTime(shape->width()) >= shape->startScopeTime();
        };
        shape->zoomFull();
        QVERIFY(sane());
        shape->grab();
        for (int i = 0; i < 3; ++i)
            shape->zoomOut();
        QVERIFY(sane());
        // The bar stands in the middle of its range, as the window does in the file; a step is small.
        shape->ZoomTime2Time(endTime / 2, endTime / 2 + 1000);
        shape->ConfigScrollBar();
        QScrollBar *bar = shape->scrollBar();
        QVERIFY(bar->maximum() > 0);
        QVERIFY(qAbs(double(bar->value()) / bar->maximum() - 0.5) < 0.001);
        const qint64 start = shape->startScopeTime();
        bar->setValue(bar->value() + 1);
        QVERIFY(shape->startScopeTime() > start);
        QVERIFY(shape->startScopeTime() - start < LLONG_MAX / 1000000);
        bar->setValue(bar->maximum());
        QVERIFY(sane());
        shape->grab();
        for (int i = 0; i < 70; ++i)
            shape->zoomIn();
        QVERIFY(sane());
        QVERIFY(shape->endScopeTime() - shape->startScopeTime() < 10000);
        // One time unit a tick: the bar's range still covers the file, its end at the right.
        shape->ZoomTime2Time(endTime / 2, endTime / 2 + 10);
        shape->grab();
        QCOMPARE(shape->currTickTime(), qint64(1));
        bar->setValue(bar->maximum());
        QVERIFY(sane());
        QVERIFY(shape->startScopeTime() > endTime - endTime / 1000000);
        shape->ZoomTime2Time(endTime - 1000, endTime);
        QVERIFY(sane());
        shape->zoomOut();
        QVERIFY(sane());
        shape->grab();
    }

private:
    // The canvas of a new document, which replaces the one before.
    Dovlin_ShapeWidget *makeCanvas(int width, qint64 endTime, int timeBase = -9)
    {
        TestWave wave;
        wave.m_Model.SetTimeBase(timeBase);
        wave.Logic("clk", nullptr, {{0, 0}, {endTime / 2, 1}});
        const QString path = m_Dir.filePath(QString("axis%1.dvn").arg(m_Files++));
        m_Document = std::make_unique<DovlinWidget>(nullptr);
        if (!wave.Save(path, endTime) || !m_Document->loadFile(path))
            return nullptr;
        m_Document->shapeWidget()->resize(width, 300);
        return m_Document->shapeWidget();
    }

    QTemporaryDir m_Dir;
    int m_Files = 0;
    std::unique_ptr<DovlinWidget> m_Document;
};

QTEST_MAIN(tst_TimeAxis)
#include "tst_timeaxis.moc"
