#include "testwaves.h"

#include "DovlinWidget.h"
#include "Dovlin_Dialogs.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_ListWidget.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_SignalFilter.h"
#include "Dovlin_ViewFile.h"

#include <QInputDialog>
#include <QTemporaryDir>
#include <QtTest>

// The wave list as the user edits it beside the canvas, kept in the wave file and in view files.
class tst_WaveList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_Dir.isValid());
        TestWave wave;
        wave.m_Model.SetTimeBase(-9);
        auto *top = wave.Scope("top");
        wave.Logic("clk", top, {{0, 0}, {100, 1}, {200, 0}, {300, 1}, {400, 0}});
        wave.Bus("bus", top, 4, {{0, "0000"}, {250, "0101"}, {500, "0011"}});
        wave.Integer("count", top, {{0, 0}, {500, 5}});
        QVERIFY(wave.Save(m_Dir.filePath("list.dvn"), 1000));
    }

    void init()
    {
        m_Document = std::make_unique<DovlinWidget>(nullptr);
        QVERIFY(m_Document->loadFile(m_Dir.filePath("list.dvn")));
        m_Document->resize(1000, 600);
        m_Document->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_Document.get()));
        m_Document->zoomFull();
        m_List = m_Document->listWidget();
    }

    void cleanup()
    {
        m_Document->setModified(false);
        m_Document.reset();
        Dovlin_Dialogs::setExecHandler({});
        Dovlin_Dialogs::setOpenFilesHandler({});
        Dovlin_Dialogs::setMessageHandler({});
    }

    void editsThroughTheKeys()
    {
        Dovlin_NameWidget *tree = m_Document->nameWidget();
        tree->setSelectionMode(QAbstractItemView::MultiSelection);
        for (const char *name : {"clk", "bus", "count"})
            tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0)->setSelected(true);
        QTest::keyClick(tree, Qt::Key_Insert);
        QCOMPARE(paths(), QStringList({"top.clk", "top.bus", "top.count"}));
        QVERIFY(m_Document->isModified());

        m_Document->setShowList(true);
        select({0});
        QTest::keyClick(m_List, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(paths(), QStringList({"top.bus", "top.clk", "top.count"}));
        select({2});
        QTest::keyClick(m_List, Qt::Key_Delete);
        QCOMPARE(paths(), QStringList({"top.bus", "top.clk"}));
        QTest::keyClick(m_List, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(paths(), QStringList({"top.bus", "top.clk", "top.count"}));

        Dovlin_Dialogs::setExecHandler([](QDialog *dialog) {
            static_cast<QInputDialog *>(dialog)->setTextValue("pair");
            return int(QDialog::Accepted);
        });
        select({0, 1});
        QTest::keyClick(m_List, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
        const Dovlin_ListRows &rows = m_List->waveList().Rows();
        QCOMPARE(int(rows.size()), 2);
        QCOMPARE(rows[0].m_Kind, Dovlin_ListRow::Group);
        QCOMPARE(rows[0].m_Label, QString("pair"));
        QCOMPARE(m_List->topLevelItem(0)->childCount(), 2);
        QCOMPARE(paths(), QStringList({"top.bus", "top.clk", "top.count"}));

        // A row's display is an edit that Ctrl+Z takes back too.
        select({1});
        m_List->toggleDigital();
        QVERIFY(!rows[1].m_Digital);
        QTest::keyClick(m_List, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(m_List->waveList().Rows()[1].m_Digital);
        QCOMPARE(m_List->waveList().Rows()[0].m_Kind, Dovlin_ListRow::Group);
    }

    void doubleClickAddsSignalsNotScopes()
    {
        Dovlin_NameWidget *tree = m_Document->nameWidget();
        // The press and release before, as a mouse sends them.
        const auto doubleClick = [tree](QTreeWidgetItem *line) {
            const QPoint at = tree->QTreeWidget::visualItemRect(line).center();
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
        };
        doubleClick(treeLine("bus"));
        doubleClick(treeLine("clk"));
        QCOMPARE(paths(), QStringList({"top.bus", "top.clk"}));
        QVERIFY(treeLine("top")->isExpanded());
        doubleClick(treeLine("top"));
        QVERIFY(!treeLine("top")->isExpanded());
        QCOMPARE(paths(), QStringList({"top.bus", "top.clk"}));
    }

    void keptBySaveAndReload()
    {
        Dovlin_ListRows rows{Dovlin_ListRow::OfNode("top.count", Dovlin_Radix::Signed, true),
                             Dovlin_ListRow::OfDivider("control"), Dovlin_ListRow::OfNode("top.gone", Dovlin_Radix::Hexadecimal, true)};
        m_List->SetRows(rows);
        const QString path = m_Dir.filePath("saved.dvn");
        QVERIFY(m_Document->saveFile(path));
        DovlinWidget reopened;
        QVERIFY2(reopened.loadFile(path), qPrintable(reopened.errorString()));
        QVERIFY(reopened.listWidget()->waveList().Rows() == rows);
        QVERIFY(reopened.showsList());
        QVERIFY(reopened.reload());
        QVERIFY(reopened.listWidget()->waveList().Rows() == rows);
        QTreeWidgetItem *gone = reopened.listWidget()->topLevelItem(2);
        QVERIFY(Dovlin_ListWidget::IsMissing(gone));
        QVERIFY(!Dovlin_ListWidget::IsMissing(reopened.listWidget()->topLevelItem(0)));
        QCOMPARE(gone->foreground(0).color(), QColor(0x808080));
        QVERIFY(gone->toolTip(0).contains("top.gone"));
    }

    void viewFileNamesItsMissingPaths()
    {
        Dovlin_ViewFile view;
        view.m_TimeBase = -12;
        view.m_List = {Dovlin_ListRow::OfNode("top.clk", Dovlin_Radix::Hexadecimal, true), Dovlin_ListRow::OfNode("top.lost", Dovlin_Radix::Hexadecimal, true)};
        view.m_Cursors = {250000};
        view.m_Start = 100000;
        view.m_End = 600000;
        QString error;
        const QString path = m_Dir.filePath("view.json");
        QVERIFY2(view.Write(path, error), qPrintable(error));
        QList<Dovlin_Dialogs::Message> messages;
        Dovlin_Dialogs::setMessageHandler([&](QWidget *, const Dovlin_Dialogs::Message &message) {
            messages << message;
            return QMessageBox::Ok;
        });
        Dovlin_Dialogs::setOpenFilesHandler([&](QWidget *, const QString &, const QString &) { return QStringList{path}; });
        m_Document->importViewFile();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].text.contains("top.lost"));
        QVERIFY(!messages[0].text.contains("top.clk"));
        QVERIFY(m_Document->showsList());
        QCOMPARE(paths(), QStringList({"top.clk", "top.lost"}));
        // Picoseconds of the view file in the wave file's nanoseconds.
        QCOMPARE(m_Document->cursorTime(0), qint64(250));
        QCOMPARE(m_Document->viewState().startScopeTime() <= 100, true);
        // Without cursors of its own, a view file keeps the document's.
        view.m_Cursors.clear();
        QVERIFY2(view.Write(path, error), qPrintable(error));
        m_Document->importViewFile();
        QCOMPARE(m_Document->nCursor(), 1);
        QCOMPARE(m_Document->cursorTime(0), qint64(250));
    }

    void canvasDrawsTheListsRows()
    {
        const QImage tree = picture();
        const QRect clkLine = m_Document->nameWidget()->visualItemRect(treeLine("clk"));
        const QRect busLine = m_Document->nameWidget()->visualItemRect(treeLine("bus"));
        m_List->SetRows({Dovlin_ListRow::OfNode("top.bus", Dovlin_Radix::Binary, true), Dovlin_ListRow::OfDivider("x"),
                         Dovlin_ListRow::OfNode("top.clk", Dovlin_Radix::Hexadecimal, true)});
        m_Document->setShowList(true);
        const QImage list = picture();
        const QRect first = m_List->visualItemRect(m_List->topLevelItem(0));
        const QRect divider = m_List->visualItemRect(m_List->topLevelItem(1));
        const QRect second = m_List->visualItemRect(m_List->topLevelItem(2));
        QCOMPARE(list.pixel(list.width() / 3, divider.center().y()), QRgb(0xFF808080));
        QCOMPARE(second.height(), clkLine.height());
        // The list's last row is the tree's clk row; its first the bus, in its own radix.
        QCOMPARE(strip(list, second), strip(tree, clkLine));
        QVERIFY(strip(list, first) != strip(tree, busLine));
        QCOMPARE(treeNode("bus")->m_Radix, int(Dovlin_Radix::Unsigned));
        // The canvas's Toggle Digital/Analog on a list row changes the row's display, not the node's.
        QVERIFY(m_Document->shapeWidget()->ConfigPopupMenu(m_List->topLevelItem(2)));
        m_Document->shapeWidget()->toggleDA();
        QVERIFY(!m_List->waveList().Rows()[2].m_Digital);
        QVERIFY(treeNode("clk")->m_Digital);
        m_Document->setShowList(false);
        QCOMPARE(picture(), tree);

        // The name filter, typed while the list shows, keeps the list's matching rows only.
        m_List->undo();
        m_Document->setShowList(true);
        m_Document->findSignal();
        m_List->clearSelection();
        m_Document->signalFilter()->line()->setText("clk");
        m_Document->signalFilter()->apply();
        QVERIFY(m_Document->showsList());
        QCOMPARE(m_List->itemAt(QPoint(1, 1)), m_List->topLevelItem(2));
        QCOMPARE(strip(picture(), m_List->visualItemRect(m_List->topLevelItem(2))), strip(tree, clkLine));
        QTest::keyClick(m_Document->signalFilter()->line(), Qt::Key_Return);
        QCOMPARE(m_List->currentItem(), m_List->topLevelItem(2));
        m_Document->signalFilter()->line()->clear();
        QVERIFY(!m_List->topLevelItem(0)->isHidden() && !m_List->topLevelItem(1)->isHidden());
    }

private:
    QStringList paths() const { return m_List->waveList().Paths(); }
    void select(const QList<int> &rows)
    {
        m_List->clearSelection();
        for (int row : rows)
            m_List->topLevelItem(row)->setSelected(true);
        m_List->setCurrentItem(m_List->topLevelItem(rows.last()), 0, QItemSelectionModel::NoUpdate);
        m_List->setFocus();
    }
    QTreeWidgetItem *treeLine(const char *name) const
    {
        return m_Document->nameWidget()->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0);
    }
    Dovlin_Hierarchy *treeNode(const char *name) const { return m_Document->nameWidget()->LookOf(treeLine(name)).m_Node; }
    QImage picture() { return m_Document->shapeWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QImage strip(const QImage &image, const QRect &line) const
    {
        return image.copy(0, line.top(), image.width(), line.height());
    }

    QTemporaryDir m_Dir;
    std::unique_ptr<DovlinWidget> m_Document;
    Dovlin_ListWidget *m_List = nullptr;
};

QTEST_MAIN(tst_WaveList)
#include "tst_wavelist.moc"
