#include "testwaves.h"

#include "DovlinWidget.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_ShapeWidget.h"

#include <QHelpEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

namespace {
constexpr QRgb Green = 0xFF00FF00;
constexpr QRgb Red = 0xFFFF0000;
constexpr QRgb Yellow = 0xFFFFFF00;
constexpr QRgb Bus = 0xFFFF8080;
constexpr QRgb Black = 0xFF000000;
}

// Rows painted from a model, and the mouse on the canvas.
class tst_Canvas : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void logicLevelsAndEdges();
    void busRows();
    void analogRow();
    void crowdedColumnDrawnOnce();
    void rowsStopAtTheTimeBar();
    void rowsScrolledOutAreNotDrawn();
    void clickMovesNearestCursor_data();
    void clickMovesNearestCursor();
    void dragStopsAtTimeZero();
    void zoomAreaDrag();
    void doubleClickJumpsToChanges_data();
    void doubleClickJumpsToChanges();
    void transitionsOfABus();
    void toolTip();
    void distancesBetweenNeighbours();
    void cursorMoveRepaintsFromThePicture();
    void twoWindowsOfOneFileKeepTheirPictures();
    void toggleDigitalAnalog();

private:
    void open(const QString &name);
    QImage picture();
    QRect row(const QString &name) const;
    int yLow(const QString &name) const { return row(name).bottom() - 2; }
    int yHigh(const QString &name) const { return row(name).bottom() - 2 - (row(name).bottom() - row(name).top() - 3); }
    int x(qint64 time) const { return m_Shape->TimeToX(time); }
    QTreeWidgetItem *line(const QString &name) const;

    QTemporaryDir m_Dir;
    std::unique_ptr<DovlinWidget> m_Document;
    Dovlin_ShapeWidget *m_Shape = nullptr;
    Dovlin_NameWidget *m_Tree = nullptr;
};

void tst_Canvas::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    // Rows of a test window: clk, a 4-bit bus with its bits, a counter, a logic line with an X.
    TestWave wave;
    wave.m_Model.SetTimeBase(-9);
    auto *top = wave.Scope("top");
    wave.Logic("clk", top, {{0, 0}, {100, 1}, {200, 0}, {300, 1}, {400, 0}});
    wave.Bus("bus", top, 4, {{0, "0000"}, {250, "0001"}, {500, "0011"}, {750, "0111"}});
    wave.Integer("count", top, {{0, 0}, {500, 5}, {1000, 10}});
    wave.Logic("flag", top, {{0, 0}, {600, 3}, {700, 1}});
    QList<QPair<qint64, int>> crowded;
    for (int i = 0; i < 1000; ++i)
        crowded.append({500 + i % 2, i % 2});
    wave.Logic("busy", top, crowded);
    QVERIFY(wave.Save(m_Dir.filePath("rows.dvn"), 1000));
}

void tst_Canvas::init()
{
    open("rows.dvn");
}

void tst_Canvas::cleanup()
{
    m_Document.reset();
}

void tst_Canvas::open(const QString &name)
{
    m_Document.reset(new DovlinWidget(nullptr));
    QVERIFY(m_Document->loadFile(m_Dir.filePath(name)));
    m_Document->resize(1200, 700);
    m_Document->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_Document.get()));
    m_Shape = m_Document->shapeWidget();
    m_Tree = m_Document->nameWidget();
    m_Document->zoomFull();
}

QImage tst_Canvas::picture()
{
    return m_Shape->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QTreeWidgetItem *tst_Canvas::line(const QString &name) const
{
    const QList<QTreeWidgetItem *> found = m_Tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

QRect tst_Canvas::row(const QString &name) const
{
    return m_Tree->visualItemRect(line(name));
}

void tst_Canvas::logicLevelsAndEdges()
{
    const QImage image = picture();
    // clk: 0 on the low rail before 100, 1 on the high rail between 100 and 200, edges in green.
    QCOMPARE(image.pixel(x(50), yLow("clk")), Green);
    QCOMPARE(image.pixel(x(50), yHigh("clk")), Black);
    QCOMPARE(image.pixel(x(150), yHigh("clk")), Green);
    QCOMPARE(image.pixel(x(150), yLow("clk")), Black);
    QCOMPARE(image.pixel(x(100), (yLow("clk") + yHigh("clk")) / 2), Green);
    // flag goes to X at 600: a red edge from the low rail to mid-height, then a red level.
    const int mid = yLow("flag") - (yLow("flag") - yHigh("flag")) / 2;
    QCOMPARE(image.pixel(x(600), yLow("flag") - 1), Red);
    QCOMPARE(image.pixel(x(650), mid), Red);
    QCOMPARE(image.pixel(x(650), yLow("flag")), Black);
    QCOMPARE(image.pixel(x(700) + 3, yHigh("flag")), Green);
}

void tst_Canvas::busRows()
{
    line("bus")->setExpanded(false);
    const QImage image = picture();
    // Crossings at every change of a bit, rails between them.
    for (qint64 t : {250, 500, 750}) {
        const int c = x(t);
        QCOMPARE(image.pixel(c, (yLow("bus") + yHigh("bus")) / 2), Yellow);
        QCOMPARE(image.pixel(c - 1, yLow("bus")), Yellow);
        QCOMPARE(image.pixel(c + 1, yHigh("bus")), Yellow);
    }
    QCOMPARE(image.pixel(x(375), yLow("bus")), Yellow);
    QCOMPARE(image.pixel(x(375), yHigh("bus")), Yellow);
    QCOMPARE(image.pixel(x(375), (yLow("bus") + yHigh("bus")) / 2), Black);
    // The integer bus of count: rails in its own colour, a crossing where the value changes.
    QCOMPARE(image.pixel(x(250), yLow("count")), Bus);
    QCOMPARE(image.pixel(x(500), (yLow("count") + yHigh("count")) / 2), Bus);
    QCOMPARE(image.pixel(x(250), (yLow("count") + yHigh("count")) / 2), Black);
}

void tst_Canvas::analogRow()
{
    Dovlin_Hierarchy *count = Dovlin_Hierarchy::GetHierarchy(line("count"));
    count->m_Digital = false;
    m_Shape->update(true);
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

void tst_Canvas::crowdedColumnDrawnOnce()
{
    // The model sums up the thousand changes at 500 and 501 as one column.
    auto *busy = Dovlin_Hierarchy::GetHierarchy(line("busy"));
    Dovlin_ColumnMap map{m_Shape->startScopeTime(), m_Shape->currTickTime(), m_Shape->currZoomCo(), m_Shape->width()};
    Dovlin_Signal *signal = busy->GetSignal();
    Dovlin_Column column;
    QVERIFY(signal->NextColumn(map, signal->FindEventIndex(m_Shape->startScopeTime()), column));
    QCOMPARE(column.m_End - column.m_First, qint64(1000));
    QCOMPARE(column.m_Values.m_StateMask, quint32(3));

    const QImage image = picture();
    const int c = x(500);
    for (int y = yHigh("busy"); y <= yLow("busy"); ++y)
        QCOMPARE(image.pixel(c, y), Green);
    QCOMPARE(image.pixel(c - 5, yLow("busy")), Green);
    QCOMPARE(image.pixel(c - 5, yHigh("busy")), Black);
    QCOMPARE(image.pixel(c + 5, yHigh("busy")), Green);
}

void tst_Canvas::rowsStopAtTheTimeBar()
{
    // Shrink the window until the time bar covers the last rows.
    m_Document->resize(1200, 190);
    QCoreApplication::processEvents();
    const int waveHeight = m_Shape->GetWaveHeight(-1);
    const QImage image = picture();
    for (const QString name : {"clk", "bus", "count", "flag", "busy"}) {
        const QRect r = row(name);
        if (r.bottom() < waveHeight)
            continue;
        // Neither this row nor any after it is drawn: no colour but the ruler's grid there.
        // (Column 0 holds cursor 0's line.)
        for (int cx = 3; cx < image.width(); cx += 7)
            for (int y = qMax(r.top(), 0); y < qMin(r.bottom(), waveHeight); ++y)
                QVERIFY2(image.pixel(cx, y) == Black || image.pixel(cx, y) == 0xFF707070,
                         qPrintable(QString("%1 at %2,%3").arg(name).arg(cx).arg(y)));
    }
}

void tst_Canvas::rowsScrolledOutAreNotDrawn()
{
    // With the first lines scrolled out, the first visible line's row is drawn at the top.
    m_Document->resize(1200, 170);
    QCoreApplication::processEvents();
    QVERIFY(m_Tree->verticalScrollBar()->maximum() > 0);
    m_Tree->scrollToItem(line("busy"), QAbstractItemView::PositionAtTop);
    QCoreApplication::processEvents();
    QVERIFY(row("clk").bottom() < 0);
    const QImage image = picture();
    QCOMPARE(image.pixel(x(500), (yLow("busy") + yHigh("busy")) / 2), Green);
}

void tst_Canvas::clickMovesNearestCursor_data()
{
    QTest::addColumn<qint64>("clickTime");
    QTest::addColumn<int>("moved");
    QTest::newRow("nearer the first") << qint64(200) << 0;
    QTest::newRow("nearer the second") << qint64(700) << 1;
    QTest::newRow("tie goes to the lower index") << qint64(500) << 0;
}

void tst_Canvas::clickMovesNearestCursor()
{
    QFETCH(qint64, clickTime);
    QFETCH(int, moved);
    m_Shape->ZoomTime2Time(0, 1000);
    m_Document->addCursor();
    // Cursors at 300 and 700, the click midway or closer to one of them.
    m_Document->setCursorTime(0, 300);
    m_Document->setCursorTime(1, 700);
    const int cx = x(clickTime);
    const qint64 t = m_Shape->GetTime(cx);
    m_Document->setCursorTime(0, t - (700 - t));
    if (clickTime != 500)
        m_Document->setCursorTime(0, 300);
    const qint64 before[2] = {m_Document->cursorTime(0), m_Document->cursorTime(1)};
    QTest::mouseClick(m_Shape, Qt::LeftButton, Qt::NoModifier, QPoint(cx, 20));
    QCOMPARE(m_Document->defaultCursor(), moved);
    QCOMPARE(m_Document->cursorTime(moved), t);
    QCOMPARE(m_Document->cursorTime(1 - moved), before[1 - moved]);
}

void tst_Canvas::dragStopsAtTimeZero()
{
    m_Shape->ZoomTime2Time(100, 1000);
    QVERIFY(m_Shape->startScopeTime() > 0);
    QTest::mousePress(m_Shape, Qt::LeftButton, Qt::NoModifier, QPoint(50, 20));
    QMouseEvent move(QEvent::MouseMove, QPointF(-900, 20), m_Shape->mapToGlobal(QPointF(-900, 20)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_Shape, &move);
    QCOMPARE(m_Document->cursorTime(0), qint64(0));
    QTest::mouseRelease(m_Shape, Qt::LeftButton, Qt::NoModifier, QPoint(-900, 20));
}

void tst_Canvas::zoomAreaDrag()
{
    m_Document->zoomArea();
    QVERIFY(m_Document->isZoomingArea());
    const qint64 from = m_Shape->GetTime(300), to = m_Shape->GetTime(100);
    QTest::mousePress(m_Shape, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));
    QMouseEvent move(QEvent::MouseMove, QPointF(100, 20), m_Shape->mapToGlobal(QPointF(100, 20)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_Shape, &move);
    QTest::mouseRelease(m_Shape, Qt::LeftButton, Qt::NoModifier, QPoint(100, 20));
    // The new window starts at the dragged range's left end (snapped to its tick) and covers it.
    QVERIFY(m_Shape->startScopeTime() <= to);
    QVERIFY(m_Shape->startScopeTime() > to - m_Shape->currTickTime());
    QVERIFY(m_Shape->endScopeTime() >= from);
    QVERIFY(m_Shape->endScopeTime() - m_Shape->startScopeTime() < 2 * (from - to) + 10 * m_Shape->currTickTime());
    QCOMPARE(m_Document->cursorTime(0), qint64(0)); // no cursor moved
}

void tst_Canvas::doubleClickJumpsToChanges_data()
{
    QTest::addColumn<qint64>("from");
    QTest::addColumn<bool>("shift");
    QTest::newRow("next") << qint64(150) << false;
    QTest::newRow("previous") << qint64(250) << true;
    QTest::newRow("nothing before the first change") << qint64(50) << true;
    QTest::newRow("nothing after the last change") << qint64(450) << false;
}

void tst_Canvas::doubleClickJumpsToChanges()
{
    QFETCH(qint64, from);
    QFETCH(bool, shift);
    m_Shape->ZoomTime2Time(0, 1000);
    const int cx = x(from);
    // The press of the double click puts the cursor on the clicked time; the jump starts there.
    const qint64 clicked = m_Shape->GetTime(cx);
    const QList<qint64> changes = {0, 100, 200, 300, 400};
    qint64 to = clicked;
    for (qint64 change : changes) {
        if (shift && change < clicked)
            to = change;
        if (!shift && change > clicked) {
            to = change;
            break;
        }
    }
    const QPoint at(cx, row("clk").center().y());
    const Qt::KeyboardModifiers modifiers = shift ? Qt::ShiftModifier : Qt::NoModifier;
    QTest::mousePress(m_Shape, Qt::LeftButton, modifiers, at);
    QTest::mouseRelease(m_Shape, Qt::LeftButton, modifiers, at);
    QTest::mouseDClick(m_Shape, Qt::LeftButton, modifiers, at);
    QCOMPARE(m_Document->cursorTime(0), to);
    QVERIFY(!m_Shape->contextHierarchy());
}

void tst_Canvas::transitionsOfABus()
{
    // From a change, the previous transition is the change before it.
    m_Document->setCursorTime(0, 200);
    QVERIFY(m_Shape->ConfigPopupMenu(line("clk")));
    m_Shape->prevTrans();
    QCOMPARE(m_Document->cursorTime(0), qint64(100));

    // The bus changes when any bit does; the closing copies at the end time are no changes.
    m_Document->setCursorTime(0, 300);
    QVERIFY(m_Shape->ConfigPopupMenu(line("bus")));
    m_Shape->nextTrans();
    QCOMPARE(m_Document->cursorTime(0), qint64(500));
    QVERIFY(m_Shape->ConfigPopupMenu(line("bus")));
    m_Shape->prevTrans();
    QCOMPARE(m_Document->cursorTime(0), qint64(250));
    m_Document->setCursorTime(0, 800);
    QVERIFY(m_Shape->ConfigPopupMenu(line("bus")));
    m_Shape->nextTrans();
    QCOMPARE(m_Document->cursorTime(0), qint64(800));
}

void tst_Canvas::toolTip()
{
    m_Shape->ZoomTime2Time(0, 1000);
    const QPoint at(x(150), row("clk").center().y());
    QHelpEvent help(QEvent::ToolTip, at, m_Shape->mapToGlobal(at));
    QCoreApplication::sendEvent(m_Shape, &help);
    QCOMPARE(QToolTip::text(), QString("clk = 1"));
    QToolTip::hideText();

    m_Shape->setShowSignalTip(false);
    const QPoint elsewhere(x(150), row("count").center().y());
    QHelpEvent again(QEvent::ToolTip, elsewhere, m_Shape->mapToGlobal(elsewhere));
    QCoreApplication::sendEvent(m_Shape, &again);
    QVERIFY(!QToolTip::text().startsWith("count"));
}

void tst_Canvas::distancesBetweenNeighbours()
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
    const auto middle = [&](int cursor) { return m_Shape->GetWaveHeight(cursor) + m_Document->cursorHeight() / 2; };
    const auto white = [&](int cx, int y) { return image.pixel(cx, y) == 0xFFFFFFFF; };
    QVERIFY(white(x(100) + 3, middle(2)));
    QVERIFY(white(x(700) - 3, middle(2)));
    QVERIFY(!white(x(700) - 3, middle(1)));
    QVERIFY(!white(x(100) + 3, middle(0)));
    QVERIFY(!white(x(550), middle(0)));
}

void tst_Canvas::cursorMoveRepaintsFromThePicture()
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

void tst_Canvas::twoWindowsOfOneFileKeepTheirPictures()
{
    auto other = std::make_unique<DovlinWidget>(nullptr);
    QVERIFY(other->loadFile(m_Dir.filePath("rows.dvn")));
    other->resize(1200, 700);
    other->show();
    QVERIFY(QTest::qWaitForWindowExposed(other.get()));
    other->zoomFull();
    other->shapeWidget()->ZoomTime2Time(0, 120);
    const QImage zoomed = other->shapeWidget()->grab().toImage();
    const QImage full = picture();
    QVERIFY(zoomed != full);
    QCOMPARE(other->shapeWidget()->grab().toImage(), zoomed);
}

void tst_Canvas::toggleDigitalAnalog()
{
    QVERIFY(m_Shape->ConfigPopupMenu(line("count")));
    m_Shape->toggleDA();
    QVERIFY(!Dovlin_Hierarchy::GetHierarchy(line("count"))->m_Digital);
    QVERIFY(m_Document->isModified());
    QVERIFY(!m_Shape->contextHierarchy());
    m_Document->setModified(false);
}

QTEST_MAIN(tst_Canvas)
#include "tst_canvas.moc"
