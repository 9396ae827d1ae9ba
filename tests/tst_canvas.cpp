#include "testwaves.h"

#include "DovlinWidget.h"
#include "Dovlin_HierarchyView.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_ShapeWidget.h"

#include <QHelpEvent>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

namespace {
constexpr QRgb Green = 0xFF00FF00;
constexpr QRgb Red = 0xFFFF0000;
constexpr QRgb Yellow = 0xFFFFFF00;
constexpr QRgb Bus = 0xFFFF8080;
constexpr QRgb Text = 0xFF80C0FF;
constexpr QRgb Black = 0xFF000000;
}

// Rows painted from a model, and the mouse on the canvas.
class tst_Canvas : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_Dir.isValid());
        TestWave wave;
        wave.m_Model.SetTimeBase(-9);
        auto *top = wave.Scope("top");
        wave.Logic("clk", top, {{0, 0}, {100, 1}, {200, 0}, {250, 0}, {300, 1}, {400, 0}});
        wave.Bus("bus", top, 4, {{0, "0000"}, {250, "0001"}, {500, "0011"}, {750, "0111"}});
        wave.Integer("count", top, {{0, 0}, {500, 5}, {1000, 10}});
        // Set to analog, which means nothing for texts: drawn as a bus all the same.
        wave.Text("state", top, {{0, "idle"}, {500, "busy"}})->m_Digital = false;
        wave.Bus("mixed", top, 4, {{0, "1011"}, {400, "1x0z"}, {800, "0000"}, {806, "0001"}});
        wave.Logic("flag", top, {{0, 0}, {600, 3}, {700, 1}});
        QList<QPair<qint64, int>> crowded;
        for (int i = 0; i < 1000; ++i)
            crowded.append({500 + i / 500, i % 2});
        wave.Logic("busy", top, crowded);
        wave.Event("ev", top, {50, 300, 300, 650});
        QVERIFY(wave.Save(m_Dir.filePath("rows.dvn"), 1000));
    }

    void init()
    {
        m_Document = open();
        QVERIFY(m_Document);
    }

    void cleanup() { m_Document.reset(); }

    void logicLevelsAndEdges()
    {
        const QImage image = picture();
        // clk: 0 on the low rail before 100, 1 on the high rail between 100 and 200, edges in green.
        QCOMPARE(image.pixel(x(50), yLow("clk")), Green);
        QCOMPARE(image.pixel(x(50), yHigh("clk")), Black);
        QCOMPARE(image.pixel(x(150), yHigh("clk")), Green);
        QCOMPARE(image.pixel(x(150), yLow("clk")), Black);
        QCOMPARE(image.pixel(x(100), yMid("clk")), Green);
        // flag goes to X at 600: a red edge from the low rail to mid-height, then a red level.
        QCOMPARE(image.pixel(x(600), yLow("flag") - 1), Red);
        QCOMPARE(image.pixel(x(650), yLow("flag") - (yLow("flag") - yHigh("flag")) / 2), Red);
        QCOMPARE(image.pixel(x(650), yLow("flag")), Black);
        QCOMPARE(image.pixel(x(700) + 3, yHigh("flag")), Green);
    }

    void busValuesAndColours_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<qint64>("viewFrom");
        QTest::addColumn<QRgb>("rails"); // 0: not checked
        QTest::addColumn<bool>("text");
        QTest::newRow("bits") << "bus" << qint64(250) << qint64(500) << qint64(0) << Yellow << true;
        QTest::newRow("known bits") << "mixed" << qint64(0) << qint64(400) << qint64(0) << Yellow << true;
        QTest::newRow("unknown bits") << "mixed" << qint64(400) << qint64(800) << qint64(0) << Red << true;
        QTest::newRow("too narrow for text") << "mixed" << qint64(800) << qint64(806) << qint64(0) << QRgb(0) << false;
        QTest::newRow("off the left edge") << "mixed" << qint64(0) << qint64(400) << qint64(300) << Yellow << true;
        QTest::newRow("integer") << "count" << qint64(0) << qint64(500) << qint64(0) << Bus << true;
        // Its change at the end time and the closing copy there crowd the last column.
        QTest::newRow("integer up to a crowded column") << "count" << qint64(500) << qint64(1000) << qint64(0) << Bus << true;
        QTest::newRow("text") << "state" << qint64(0) << qint64(500) << qint64(0) << Text << true;
        QTest::newRow("text after a change") << "state" << qint64(500) << qint64(1000) << qint64(0) << Text << true;
        // A scope has no value, nor an unknown colour, whatever its members hold.
        QTest::newRow("scope") << "top" << qint64(806) << qint64(1000) << qint64(0) << Yellow << false;
    }

    void busValuesAndColours()
    {
        QFETCH(QString, name);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(qint64, viewFrom);
        QFETCH(QRgb, rails);
        QFETCH(bool, text);
        line("mixed")->setExpanded(false);
        m_Shape->ZoomTime2Time(viewFrom, 1000);
        const QImage image = picture();
        // The inside of the stretch that is in view, and the text pixels (bright grey) around it.
        const int left = qMax(x(from) + 2, 0), right = qMin(x(to) - 2, image.width() - 1);
        const auto textPixels = [&](int x1, int x2) {
            int count = 0;
            for (int cx = x1; cx <= x2; ++cx)
                for (int y = yHigh(name) + 1; y < yLow(name); ++y) {
                    const QRgb p = image.pixel(cx, y);
                    count += qRed(p) == qGreen(p) && qGreen(p) == qBlue(p) && qRed(p) >= 0xC0;
                }
            return count;
        };
        if (text)
            QVERIFY(textPixels((left + right) / 2 - 5, (left + right) / 2 + 5) > 0);
        else
            QCOMPARE(textPixels(left - 10, right + 10), 0);
        if (rails) {
            QCOMPARE(image.pixel(left + 1, yLow(name)), rails);
            QCOMPARE(image.pixel(right - 1, yHigh(name)), rails);
        }
        // The stretch starts with a crossing in its colour; the middle is clear just after it.
        if (rails && from > viewFrom) {
            QCOMPARE(image.pixel(x(from), yMid(name)), rails);
            QCOMPARE(image.pixel(x(from) + 5, yMid(name)), Black);
        }
    }

    void analogRow()
    {
        // Drawn as a bus first: a crossing where the value changes.
        QCOMPARE(picture().pixel(x(500), yMid("count")), Bus);
        QCOMPARE(picture().pixel(x(500) - 5, yMid("count")), Black);
        QVERIFY(m_Shape->ConfigPopupMenu(line("count")));
        m_Shape->toggleDA();
        QVERIFY(!Dovlin_HierarchyView::GetHierarchy(line("count"))->m_Digital);
        QVERIFY(m_Document->isModified());
        QVERIFY(!m_Shape->contextHierarchy());
        const QImage image = picture();
        // 0, 5, 10 at 0, 500 and 1000: a line from the low rail through the middle to the high rail.
        const int low = yLow("count"), high = yHigh("count");
        const auto column = [&](int cx) {
            QList<int> ys;
            for (int y = high; y <= low; ++y)
                if (image.pixel(cx, y) == Bus)
                    ys << y;
            return ys;
        };
        QVERIFY(column(x(0) + 1).contains(low));
        QVERIFY(column(x(500)).contains(low - (low - high) / 2));
        QVERIFY(column(x(1000) - 1).contains(high) || column(x(1000) - 1).contains(high + 1));
        QCOMPARE(column(x(250)).size(), 1);
    }

    void crowdedColumn()
    {
        // A thousand changes at 500 and 501 fill one column top to bottom; the levels either side stay.
        const QImage image = picture();
        const int c = x(500);
        for (int y = yHigh("busy"); y <= yLow("busy"); ++y)
            QCOMPARE(image.pixel(c, y), Green);
        QCOMPARE(image.pixel(c - 5, yLow("busy")), Green);
        QCOMPARE(image.pixel(c - 5, yHigh("busy")), Black);
        QCOMPARE(image.pixel(c + 5, yHigh("busy")), Green);
    }

    void eventMarks_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::newRow("whole file") << qint64(0) << qint64(1000);
        QTest::newRow("around the repeated trigger") << qint64(290) << qint64(310);
    }

    void eventMarks()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        m_Shape->ZoomTime2Time(from, to);
        const QImage image = picture();
        // An arrow from the low to the high rail at each trigger in view, the low rail before it.
        int seen = 0;
        for (qint64 t : {50, 300, 650}) {
            if (x(t) < 4 || x(t) >= image.width())
                continue;
            ++seen;
            QCOMPARE(image.pixel(x(t), yMid("ev")), Green);
            QCOMPARE(image.pixel(x(t), yHigh("ev")), Green);
            QCOMPARE(image.pixel(x(t) - 4, yMid("ev")), Black);
            QCOMPARE(image.pixel(x(t) - 4, yLow("ev")), Green);
        }
        QCOMPARE(seen, from == 0 ? 3 : 1);
    }

    void rowsUnderTheTimeBarOrScrolledOut()
    {
        // Shrink the window until the time bar covers the last rows; none of them is drawn.
        m_Document->resize(1200, 170);
        QCoreApplication::processEvents();
        const int waveHeight = m_Shape->GetWaveHeight(-1);
        QImage image = picture();
        int covered = 0;
        for (const QString name : {"clk", "bus", "count", "mixed", "flag", "busy"}) {
            const QRect r = row(name);
            if (r.bottom() < waveHeight)
                continue;
            ++covered;
            // No colour but the ruler's grid there (column 0 holds cursor 0's line).
            for (int cx = 3; cx < image.width(); cx += 7)
                for (int y = qMax(r.top(), 0); y < qMin(r.bottom(), waveHeight); ++y)
                    QVERIFY2(image.pixel(cx, y) == Black || image.pixel(cx, y) == 0xFF707070,
                             qPrintable(QString("%1 at %2,%3").arg(name).arg(cx).arg(y)));
        }
        QVERIFY(covered > 0);
        // With the first lines scrolled out, the first visible line's row is drawn at the top.
        m_Tree->scrollToItem(line("busy"), QAbstractItemView::PositionAtTop);
        QCoreApplication::processEvents();
        QVERIFY(row("clk").bottom() < 0);
        image = picture();
        QCOMPARE(image.pixel(x(500), yMid("busy")), Green);
    }

    void clickMovesNearestCursor_data()
    {
        QTest::addColumn<qint64>("clickTime");
        QTest::addColumn<int>("moved");
        QTest::newRow("nearer the first") << qint64(200) << 0;
        QTest::newRow("nearer the second") << qint64(700) << 1;
        QTest::newRow("tie goes to the lower index") << qint64(500) << 0;
    }

    void clickMovesNearestCursor()
    {
        QFETCH(qint64, clickTime);
        QFETCH(int, moved);
        m_Shape->ZoomTime2Time(0, 1000);
        m_Document->addCursor();
        const int cx = x(clickTime);
        const qint64 t = m_Shape->GetTime(cx);
        // Cursors at 300 and 700, or for the tie, equally far either side of the click.
        m_Document->setCursorTime(0, clickTime == 500 ? 2 * t - 700 : 300);
        m_Document->setCursorTime(1, 700);
        const qint64 before[2] = {m_Document->cursorTime(0), m_Document->cursorTime(1)};
        QTest::mouseClick(m_Shape, Qt::LeftButton, Qt::NoModifier, QPoint(cx, 20));
        QCOMPARE(m_Document->defaultCursor(), moved);
        QCOMPARE(m_Document->cursorTime(moved), t);
        QCOMPARE(m_Document->cursorTime(1 - moved), before[1 - moved]);
    }

    void zoomAreaDrag()
    {
        // Esc ends the mode as well as a drag; while it is on the canvas shows a cross-hair.
        m_Document->zoomArea();
        QCOMPARE(m_Shape->cursor().shape(), Qt::CrossCursor);
        QTest::keyClick(m_Shape, Qt::Key_Escape);
        QVERIFY(!m_Document->isZoomingArea());
        QCOMPARE(m_Shape->cursor().shape(), Qt::ArrowCursor);
        m_Document->zoomArea();
        QVERIFY(m_Document->isZoomingArea());
        const qint64 from = m_Shape->GetTime(300), to = m_Shape->GetTime(100);
        drag(300, 100);
        // The new window starts at the dragged range's left end (snapped to its tick) and covers it.
        QVERIFY(m_Shape->startScopeTime() <= to);
        QVERIFY(m_Shape->startScopeTime() > to - m_Shape->currTickTime());
        QVERIFY(m_Shape->endScopeTime() >= from);
        QVERIFY(m_Shape->endScopeTime() - m_Shape->startScopeTime() < 2 * (from - to) + 10 * m_Shape->currTickTime());
        QCOMPARE(m_Document->cursorTime(0), qint64(0)); // no cursor moved
        // The mode lasts for one range: the next drag moves the cursor and leaves the window.
        QVERIFY(!m_Document->isZoomingArea());
        QCOMPARE(m_Shape->cursor().shape(), Qt::ArrowCursor);
        const qint64 start = m_Shape->startScopeTime(), cursor = m_Shape->GetTime(200);
        drag(150, 200);
        QCOMPARE(m_Document->cursorTime(0), cursor);
        QCOMPARE(m_Shape->startScopeTime(), start);
        // A drag past the left edge stops the cursor at time 0.
        QVERIFY(start > 0);
        drag(50, -900);
        QCOMPARE(m_Document->cursorTime(0), qint64(0));
    }

    void transitions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<bool>("next");
        QTest::addColumn<qint64>("to");
        QTest::newRow("previous from a change") << "clk" << qint64(200) << false << qint64(100);
        QTest::newRow("previous is the first value") << "clk" << qint64(50) << false << qint64(0);
        QTest::newRow("nothing after the last change") << "clk" << qint64(450) << true << qint64(450);
        QTest::newRow("next skips a repeated value") << "clk" << qint64(200) << true << qint64(300);
        QTest::newRow("previous skips a repeated value") << "clk" << qint64(300) << false << qint64(200);
        QTest::newRow("scope next") << "top" << qint64(100) << true << qint64(200);
        QTest::newRow("scope previous") << "top" << qint64(300) << false << qint64(250);
        // The bus changes when any bit does; the closing copies at the end time are no changes.
        QTest::newRow("bus next") << "bus" << qint64(300) << true << qint64(500);
        QTest::newRow("bus previous") << "bus" << qint64(300) << false << qint64(250);
        QTest::newRow("bus end") << "bus" << qint64(800) << true << qint64(800);
        // Every trigger of an event is a transition, the same value again included.
        QTest::newRow("event next") << "ev" << qint64(0) << true << qint64(50);
        QTest::newRow("event next, a repeated trigger") << "ev" << qint64(300) << true << qint64(650);
        QTest::newRow("event previous") << "ev" << qint64(650) << false << qint64(300);
        QTest::newRow("event end") << "ev" << qint64(650) << true << qint64(650);
    }

    void transitions()
    {
        QFETCH(QString, name);
        QFETCH(qint64, from);
        QFETCH(bool, next);
        QFETCH(qint64, to);
        m_Document->setCursorTime(0, from);
        QVERIFY(m_Shape->ConfigPopupMenu(line(name)));
        next ? m_Shape->nextTrans() : m_Shape->prevTrans();
        QCOMPARE(m_Document->cursorTime(0), to);
    }

    void doubleClickJumpsToChanges()
    {
        m_Shape->ZoomTime2Time(0, 1000);
        // The press of the double click puts the cursor on the clicked time; the jump starts there.
        const QPoint at(x(150), row("clk").center().y());
        for (const Qt::KeyboardModifiers modifiers : {Qt::NoModifier, Qt::ShiftModifier}) {
            QTest::mousePress(m_Shape, Qt::LeftButton, modifiers, at);
            QTest::mouseRelease(m_Shape, Qt::LeftButton, modifiers, at);
            QTest::mouseDClick(m_Shape, Qt::LeftButton, modifiers, at);
            QCOMPARE(m_Document->cursorTime(0), qint64(modifiers == Qt::NoModifier ? 200 : 100));
            QVERIFY(!m_Shape->contextHierarchy());
        }
    }

    void toolTip()
    {
        m_Shape->ZoomTime2Time(0, 1000);
        const auto ask = [&](const QString &name) {
            const QPoint at(x(150), row(name).center().y());
            QHelpEvent help(QEvent::ToolTip, at, m_Shape->mapToGlobal(at));
            QCoreApplication::sendEvent(m_Shape, &help);
        };
        ask("clk");
        QCOMPARE(QToolTip::text(), QString("clk = 1"));
        QCOMPARE(m_Tree->GetSignalState(QPoint(0, row("ev").bottom() + 5), 150), QString());
        QToolTip::hideText();
        m_Shape->setShowSignalTip(false);
        ask("count");
        QVERIFY(!QToolTip::text().startsWith("count"));
    }

    void distancesBetweenNeighbours()
    {
        m_Shape->ZoomTime2Time(0, 1000);
        m_Document->addCursor();
        m_Document->addCursor();
        m_Document->setCursorTime(0, 100);
        m_Document->setCursorTime(1, 700);
        m_Document->setCursorTime(2, 400);
        const QImage image = picture();
        // In time order the neighbours are 100-400 and 400-700. Each distance goes into the row of
        // the neighbour that sits higher on the screen: cursor 2's row both times. Nothing joins 100
        // and 700, and cursor 0's and 1's rows hold no distance.
        const auto white = [&](int cx, int cursor) {
            return image.pixel(cx, m_Shape->GetWaveHeight(cursor) + m_Document->cursorHeight() / 2) == 0xFFFFFFFF;
        };
        QVERIFY(white(x(100) + 3, 2));
        QVERIFY(white(x(700) - 3, 2));
        QVERIFY(!white(x(700) - 3, 1));
        QVERIFY(!white(x(100) + 3, 0));
        QVERIFY(!white(x(550), 0));
    }

    void cursorMoveRepaintsFromThePicture()
    {
        picture();
        const int renders = m_Shape->pictureRenders();
        QTest::mouseClick(m_Shape, Qt::LeftButton, Qt::NoModifier, QPoint(200, 20));
        picture();
        QCOMPARE(m_Shape->pictureRenders(), renders);
        m_Shape->zoomIn();
        picture();
        QCOMPARE(m_Shape->pictureRenders(), renders + 1);
    }

    void twoWindowsOfOneFileKeepTheirPictures()
    {
        auto other = open();
        QVERIFY(other);
        m_Shape->ZoomTime2Time(0, 120);
        const QImage zoomed = picture();
        QVERIFY(zoomed != m_Document->shapeWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32));
        QCOMPARE(picture(), zoomed);
    }

private:
    std::unique_ptr<DovlinWidget> open()
    {
        auto document = std::make_unique<DovlinWidget>(nullptr);
        if (!document->loadFile(m_Dir.filePath("rows.dvn")))
            return nullptr;
        document->resize(1200, 700);
        document->show();
        if (!QTest::qWaitForWindowExposed(document.get()))
            return nullptr;
        m_Shape = document->shapeWidget();
        m_Tree = document->nameWidget();
        document->zoomFull();
        return document;
    }

    QImage picture() { return m_Shape->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QTreeWidgetItem *line(const QString &name) const { return m_Tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0); }
    QRect row(const QString &name) const { return m_Tree->visualItemRect(line(name)); }
    int yLow(const QString &name) const { return row(name).bottom() - 2; }
    int yHigh(const QString &name) const { return row(name).top() + 1; }
    int yMid(const QString &name) const { return (yLow(name) + yHigh(name)) / 2; }
    int x(qint64 time) const { return m_Shape->TimeToX(time); }
    void drag(int from, int to)
    {
        QTest::mousePress(m_Shape, Qt::LeftButton, Qt::NoModifier, QPoint(from, 20));
        QMouseEvent move(QEvent::MouseMove, QPointF(to, 20), m_Shape->mapToGlobal(QPointF(to, 20)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_Shape, &move);
        QTest::mouseRelease(m_Shape, Qt::LeftButton, Qt::NoModifier, QPoint(to, 20));
    }

    QTemporaryDir m_Dir;
    std::unique_ptr<DovlinWidget> m_Document;
    Dovlin_ShapeWidget *m_Shape = nullptr;
    Dovlin_NameWidget *m_Tree = nullptr;
};

QTEST_MAIN(tst_Canvas)
#include "tst_canvas.moc"
