#include "testwaves.h"

#include "DovlinWidget.h"
#include "Dovlin_Dialogs.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_SignalsDialog.h"

#include <QAction>
#include <QMenu>
#include <QTemporaryDir>
#include <QTreeWidgetItemIterator>
#include <QtTest>

class tst_NameTree : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // top: clk, bus data[3:0] (collapsed in the file), count, a hidden scope with a child, and a real.
    void init()
    {
        TestWave wave;
        wave.m_Model.SetTimeBase(-9);
        auto *top = wave.Scope("top");
        wave.Logic("clk", top, {{0, 0}, {10, 1}, {20, 0}});
        auto *data = wave.Bus("data", top, 4, {{0, "1011"}, {30, "1x0z"}});
        data->m_Expanded = false;
        wave.Integer("count", top, {{0, -2}, {40, 7}});
        auto *hidden = wave.Scope("hidden", top);
        hidden->m_Shown = false;
        wave.Logic("secret", hidden, {{0, 1}});
        wave.Real("volts", top, {{0, 1.5}});
        const QString path = m_Dir.filePath("tree.dvn");
        QVERIFY(wave.Save(path, 100));
        m_Document.reset(new DovlinWidget(nullptr));
        QVERIFY(m_Document->loadFile(path));
        m_Document->resize(800, 600);
        m_Document->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_Document.get()));
        m_Tree = m_Document->nameWidget();
    }

    void cleanup()
    {
        m_Document->setModified(false);
        m_Document.reset();
        Dovlin_Dialogs::setExecHandler({});
    }

    void treeFollowsTheModel()
    {
        QCOMPARE(lines(), QStringList({"top", " clk", " data", "  data[3]", "  data[2]", "  data[1]", "  data[0]",
                                       " count", " volts"}));
        QVERIFY(line("top")->isExpanded());
        QVERIFY(!line("data")->isExpanded());

        // The hidden scope and its child have no line, and their Values cannot be updated.
        Dovlin_FileManager &model = m_Document->fileManager();
        for (int i = 0; i < model.GetnHierarchy(); ++i) {
            Dovlin_Hierarchy *node = model.GetHierarchy(i);
            const bool hidden = node->GetName() == "hidden" || node->GetName() == "secret";
            QCOMPARE(node->m_TreeItem == nullptr, hidden);
            if (hidden)
                QVERIFY(!node->UpdateSignalState(m_Tree));
            else
                QCOMPARE(Dovlin_Hierarchy::GetHierarchy(node->m_TreeItem), node);
        }
    }

    void valuesAtTheDefaultCursor()
    {
        line("data")->setExpanded(true);
        m_Document->setCursorTime(0, 15);
        m_Tree->UpdateVisibleSignalStates();
        QCOMPARE(line("clk")->text(1), QString("1"));
        QCOMPARE(line("data")->text(1), QString(" 11u "));
        QCOMPARE(line("data[3]")->text(1), QString("1"));
        QCOMPARE(line("count")->text(1), QString(" 4294967294u "));
        QCOMPARE(line("volts")->text(1), QString(" 1.5r "));

        m_Document->setCursorTime(0, 35);
        m_Tree->UpdateVisibleSignalStates();
        QCOMPARE(line("clk")->text(1), QString("0"));
        QCOMPARE(line("data")->text(1), QString(" 1X0Zb"));
        QCOMPARE(line("data[2]")->text(1), QString("X"));
    }

    void linesComingIntoViewGetValues()
    {
        // Shown once: every line has its value without a cursor move.
        for (QTreeWidgetItemIterator it(m_Tree, QTreeWidgetItemIterator::NotHidden); *it; ++it) {
            if ((*it)->parent() && !(*it)->parent()->isExpanded())
                continue;
            QVERIFY2(!(*it)->text(1).isEmpty(), qPrintable((*it)->text(0)));
        }

        line("data")->setExpanded(true);
        m_Document->resize(800, 140);
        QTRY_VERIFY(m_Tree->visualItemRect(line("count")).top() > m_Tree->viewport()->height());
        m_Document->setCursorTime(0, 45);
        m_Tree->UpdateVisibleSignalStates();
        QCOMPARE(line("clk")->text(1), QString("0"));
        QVERIFY(line("count")->text(1) != QString(" 7u "));

        m_Document->resize(800, 600);
        QTRY_COMPARE(line("count")->text(1), QString(" 7u "));
    }

    void radixMenu_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("radix");
        QTest::addColumn<QString>("text");
        QTest::newRow("binary") << "Binary" << 1 << " 1011b";
        QTest::newRow("hexadecimal") << "Hexadecimal" << 2 << " Bh";
        QTest::newRow("octal") << "Octal" << 16 << " 13o";
        QTest::newRow("signed") << "Signed" << 8 << " -5d ";
    }

    void radixMenu()
    {
        QFETCH(QString, action);
        QFETCH(int, radix);
        QFETCH(QString, text);
        m_Document->setCursorTime(0, 15);
        QTreeWidgetItem *item = line("data");
        Dovlin_Hierarchy *node = Dovlin_Hierarchy::GetHierarchy(item);
        QVERIFY(m_Tree->ConfigPopupMenu(item));

        auto *menu = m_Tree->findChild<QMenu *>();
        QVERIFY(menu);
        const auto checked = [menu] {
            QStringList texts;
            for (QAction *a : menu->actions())
                if (a->isChecked())
                    texts << a->text();
            return texts;
        };
        QCOMPARE(checked(), QStringList{"Unsigned"});
        QAction *chosen = nullptr;
        for (QAction *a : menu->actions())
            if (a->text() == action)
                chosen = a;
        QVERIFY(chosen);
        chosen->trigger();
        QCOMPARE(node->m_Radix, radix);
        QCOMPARE(item->text(1), text);
        QVERIFY(!m_Tree->contextHierarchy());
        // Only the chosen node changes: its bits keep their own radix.
        QCOMPARE(Dovlin_Hierarchy::GetHierarchy(line("data[3]"))->m_Radix, 4);

        QVERIFY(m_Tree->ConfigPopupMenu(item));
        QCOMPARE(checked(), QStringList{action});
    }

    void radixChangeRedraws()
    {
        QTreeWidgetItem *item = line("count");
        m_Document->setCursorTime(0, 15);
        item->setText(1, "marker");
        QVERIFY(m_Tree->ConfigPopupMenu(item));
        QMetaObject::invokeMethod(m_Tree, "toUnsigned");
        QCOMPARE(item->text(1), QString("marker"));
        QVERIFY(m_Tree->ConfigPopupMenu(item));
        QMetaObject::invokeMethod(m_Tree, "toSigned");
        QCOMPARE(item->text(1), QString(" -2d "));
        // Without a cursor the radix still changes; the text keeps the last value.
        m_Document->removeCursor();
        QVERIFY(m_Tree->ConfigPopupMenu(item));
        QMetaObject::invokeMethod(m_Tree, "toUnsigned");
        QCOMPARE(Dovlin_Hierarchy::GetHierarchy(item)->m_Radix, 4);
        QCOMPARE(item->text(1), QString(" -2d "));
    }

    void toolTipText()
    {
        QTreeWidgetItem *clk = line("clk");
        const QRect rect = m_Tree->visualItemRect(clk);
        QCOMPARE(m_Tree->GetSignalState(QPoint(500, rect.center().y()), 15, true), QString("clk = 1"));
        QCOMPARE(m_Tree->GetSignalState(QPoint(0, rect.center().y()), 15, false), QString("1"));
        QCOMPARE(m_Tree->itemAtY(rect.center().y()), clk);
        QCOMPARE(m_Tree->GetSignalState(QPoint(0, m_Tree->height() - 2), 15, true), QString());
    }

    void expandingRedrawsAndMarksModified()
    {
        Dovlin_ShapeWidget *shape = m_Document->shapeWidget();
        shape->grab();
        const int renders = shape->pictureRenders();
        QVERIFY(!m_Document->isModified());
        line("data")->setExpanded(true);
        QVERIFY(static_cast<Dovlin_CompositeHierarchy *>(Dovlin_Hierarchy::GetHierarchy(line("data")))->m_Expanded);
        QVERIFY(m_Document->isModified());
        shape->grab();
        QCOMPARE(shape->pictureRenders(), renders + 1);
        line("top")->setExpanded(false);
        QVERIFY(!static_cast<Dovlin_CompositeHierarchy *>(Dovlin_Hierarchy::GetHierarchy(line("top")))->m_Expanded);
    }

    void signalsDialogHidesAndShows()
    {
        Dovlin_Dialogs::setExecHandler([](QDialog *dialog) {
            auto *signalsDialog = qobject_cast<Dovlin_SignalsDialog *>(dialog);
            for (QTreeWidgetItemIterator it(signalsDialog->tree()); *it; ++it) {
                if ((*it)->text(0) == "data")
                    (*it)->setCheckState(0, Qt::Unchecked);
                if ((*it)->text(0) == "hidden")
                    (*it)->setCheckState(0, Qt::Checked);
            }
            return int(QDialog::Accepted);
        });
        m_Document->modifySignals();
        QCOMPARE(lines(), QStringList({"top", " clk", " count", " hidden", "  secret", " volts"}));
        QVERIFY(m_Document->isModified());

        Dovlin_Dialogs::setExecHandler([](QDialog *) { return int(QDialog::Rejected); });
        m_Document->setModified(false);
        m_Document->modifySignals();
        QVERIFY(!m_Document->isModified());
    }

private:
    QStringList lines() const
    {
        QStringList names;
        for (QTreeWidgetItemIterator it(m_Tree); *it; ++it) {
            QString indent;
            for (QTreeWidgetItem *parent = (*it)->parent(); parent; parent = parent->parent())
                indent += ' ';
            names << indent + (*it)->text(0);
        }
        return names;
    }

    QTreeWidgetItem *line(const QString &name) const
    {
        const QList<QTreeWidgetItem *> found = m_Tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }

    QTemporaryDir m_Dir;
    std::unique_ptr<DovlinWidget> m_Document;
    Dovlin_NameWidget *m_Tree = nullptr;
};

QTEST_MAIN(tst_NameTree)
#include "tst_nametree.moc"
