#include "testwaves.h"

#include "DovlinWidget.h"
#include "Dovlin_Dialogs.h"
#include "Dovlin_HierarchyView.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_SignalFilter.h"
#include "Dovlin_SignalsDialog.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
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
        m_Document = open(wave, "tree.dvn");
        QVERIFY(m_Document);
        m_Tree = m_Document->nameWidget();
    }

    void cleanup()
    {
        m_Document.reset();
        Dovlin_Dialogs::setExecHandler({});
    }

    void treeFollowsTheModel()
    {
        QCOMPARE(lines(), QStringList({"top", " clk", " data", "  data[3]", "  data[2]", "  data[1]", "  data[0]",
                                       " count", " volts"}));
        QVERIFY(line("top")->isExpanded());
        QVERIFY(!line("data")->isExpanded());

        // The hidden scope and its child have no line, and their Values cannot be updated; the
        // bits of the closed bus get theirs when it opens.
        Dovlin_FileManager &model = m_Document->fileManager();
        for (int i = 0; i < model.GetnHierarchy(); ++i) {
            Dovlin_Hierarchy *node = model.GetHierarchy(i);
            const bool hidden = node->GetName() == "hidden" || node->GetName() == "secret";
            QTreeWidgetItem *item = m_Tree->TreeItem(node);
            if (hidden)
                QVERIFY(!Dovlin_HierarchyView::UpdateSignalState(m_Tree, node));
            if (hidden || node->GetName().startsWith("data["))
                QVERIFY(!item);
            else
                QCOMPARE(Dovlin_HierarchyView::GetHierarchy(item), node);
        }
    }

    // Every line in sight shows its value at the default cursor; lines coming into view get theirs.
    void values()
    {
        for (QTreeWidgetItemIterator it(m_Tree, QTreeWidgetItemIterator::NotHidden); *it; ++it) {
            if ((*it)->parent() && !(*it)->parent()->isExpanded())
                continue;
            QVERIFY2(!(*it)->text(1).isEmpty(), qPrintable((*it)->text(0)));
        }
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
        QCOMPARE(line("data")->text(1), QString(" 1X0Zb"));
        QCOMPARE(line("data[2]")->text(1), QString("X"));

        m_Document->resize(800, 170);
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
        Dovlin_Hierarchy *node = Dovlin_HierarchyView::GetHierarchy(item);
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
        // Names only for a node with an enumeration table.
        for (QAction *a : menu->actions())
            QVERIFY(a->text() != "Names" || !a->isVisible());
        QAction *chosen = nullptr;
        for (QAction *a : menu->actions())
            if (a->text() == action)
                chosen = a;
        QVERIFY(chosen);
        QVERIFY(!m_Document->isModified());
        chosen->trigger();
        QCOMPARE(node->m_Radix, radix);
        QCOMPARE(item->text(1), text);
        // The file keeps the radix: the document has something to save.
        QVERIFY(m_Document->isModified());
        QVERIFY(!m_Tree->contextHierarchy());
        // Only the chosen node changes: its bits keep their own radix.
        QCOMPARE(find(*m_Document, "data[3]")->m_Radix, 4);

        QVERIFY(m_Tree->ConfigPopupMenu(item));
        QCOMPARE(checked(), QStringList{action});
        // Without a cursor the radix still changes; the text keeps the last value.
        m_Document->removeCursor();
        QVERIFY(m_Tree->ConfigPopupMenu(item));
        QMetaObject::invokeMethod(m_Tree, "toUnsigned");
        QCOMPARE(node->m_Radix, 4);
        QCOMPARE(item->text(1), text);
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

    void filter_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("status");
        QTest::newRow("text, any case") << "CL" << QStringList{"top", " clk"} << "1 node matches";
        // The bits of a collapsed bus are found, and the bus opens to show them.
        QTest::newRow("text in bits") << "ta[" << QStringList{"top", " data", "  data[3]", "  data[2]", "  data[1]", "  data[0]"}
                                      << "4 nodes match";
        QTest::newRow("wildcard, whole name") << "d*[?]"
                                              << QStringList{"top", " data", "  data[3]", "  data[2]", "  data[1]", "  data[0]"}
                                              << "4 nodes match";
        // A hidden scope and its child are found as well.
        QTest::newRow("wildcard ends") << "*t" << QStringList{"top", " count", " hidden", "  secret"} << "2 nodes match";
        QTest::newRow("regular expression") << "/^top\\.data\\.data\\[[12]\\]$" << QStringList{"top", " data", "  data[2]", "  data[1]"}
                                            << "2 nodes match";
        QTest::newRow("path") << "/hidden\\.S" << QStringList{"top", " hidden", "  secret"} << "1 node matches";
        QTest::newRow("no match") << "zzz" << QStringList{} << "No node matches";
    }

    void filter()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, shown);
        QFETCH(QString, status);
        const QStringList before = lines();
        Dovlin_SignalFilter *filter = m_Document->signalFilter();
        filter->activate();
        QTest::keyClicks(filter->line(), pattern);
        // The tree is filtered once the keys pause.
        QTRY_COMPARE(lines(), shown);
        QCOMPARE(visibleLines(), shown);
        QCOMPARE(filter->statusText(), status);
        for (QTreeWidgetItemIterator it(m_Tree); *it; ++it)
            QVERIFY((*it)->childCount() == 0 || (*it)->isExpanded());
        QVERIFY(!m_Document->isModified());

        QTest::keyClick(filter->line(), Qt::Key_Escape);
        QVERIFY(filter->line()->text().isEmpty());
        QCOMPARE(lines(), before);
        QVERIFY(line("top")->isExpanded());
        QVERIFY(!line("data")->isExpanded());
        QVERIFY(!node("data")->m_Expanded);
        QVERIFY(!node("hidden")->m_Shown);
        QVERIFY(!m_Document->isModified());
    }

    void filterEdgeCases()
    {
        Dovlin_SignalFilter *filter = m_Document->signalFilter();
        const QStringList before = lines();
        // A lone slash is no expression yet.
        filter->line()->setText("/");
        filter->applyPending();
        QCOMPARE(lines(), before);
        QVERIFY(filter->statusText().isEmpty());
        // A broken expression leaves the tree alone and says why.
        filter->line()->setText("/(");
        filter->applyPending();
        QCOMPARE(lines(), before);
        QVERIFY(filter->statusText().startsWith("Not a regular expression"));
        // The tree is still unfiltered: opening a line is the node's own state again.
        line("data")->setExpanded(true);
        QVERIFY(node("data")->m_Expanded);
        line("data")->setExpanded(false);
        m_Document->setModified(false);
        filter->line()->clear();

        // Collapsing a line of the filtered tree is not the node's own state; Enter selects the first match.
        QTest::keyClicks(filter->line(), "a");
        filter->applyPending();
        line("top")->setExpanded(false);
        QVERIFY(node("top")->m_Expanded);
        QTest::keyClick(filter->line(), Qt::Key_Return);
        QCOMPARE(m_Tree->currentItem(), line("data"));
        QVERIFY(m_Tree->currentItem()->isSelected());
        // Cleared, the tree keeps the chosen line when it is in sight.
        filter->line()->clear();
        QCOMPARE(lines(), before);
        QCOMPARE(m_Tree->currentItem(), line("data"));
        QTest::keyClicks(filter->line(), "data[2");
        QTest::keyClick(filter->line(), Qt::Key_Return);
        filter->line()->clear();
        QCOMPARE(lines(), before);
        QVERIFY(!line("data")->isExpanded());
        QVERIFY(!m_Document->isModified());
    }

    void treeCommands_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<bool>("collapsedFirst");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<bool>("changed");
        const QStringList as = {"top", " clk", " data", " count", " volts"};
        const QStringList bits = {"top", " clk", " data", "  data[3]", "  data[2]", "  data[1]", "  data[0]", " count", " volts"};
        QTest::newRow("collapse all") << "" << false << "collapseAll" << QStringList{"top"} << true;
        QTest::newRow("expand all leaves buses") << "" << false << "expandAll" << as << false;
        QTest::newRow("expand all after collapse") << "" << true << "expandAll" << as << true;
        QTest::newRow("expand bits") << "" << false << "expandBits" << bits << true;
        QTest::newRow("collapse a subtree") << "top" << false << "collapseAll" << QStringList{"top"} << true;
        QTest::newRow("expand all on a bus") << "data" << false << "expandAll" << as << false;
        QTest::newRow("expand bits of a bus") << "data" << false << "expandBits" << bits << true;
    }

    void treeCommands()
    {
        QFETCH(QString, selected);
        QFETCH(bool, collapsedFirst);
        QFETCH(QString, command);
        QFETCH(QStringList, shown);
        QFETCH(bool, changed);
        if (collapsedFirst) {
            m_Tree->collapseAll();
            QCOMPARE(visibleLines(), QStringList{"top"});
        }
        if (!selected.isEmpty())
            m_Tree->setCurrentItem(line(selected));
        QVERIFY(QMetaObject::invokeMethod(m_Tree, command.toLatin1()));
        QCOMPARE(visibleLines(), shown);
        // The nodes keep what the tree shows.
        for (const char *name : {"top", "data"})
            QCOMPARE(node(name)->m_Expanded, line(name)->isExpanded());
        QCOMPARE(m_Document->isModified(), changed);
    }

    void wheelAndKeys()
    {
        line("data")->setExpanded(true);
        m_Document->resize(800, 160);
        QTRY_VERIFY(m_Tree->verticalScrollBar()->maximum() > 0);
        Dovlin_ShapeWidget *shape = m_Document->shapeWidget();
        shape->grab();
        const int renders = shape->pictureRenders();
        const qint64 span = shape->endScopeTime() - shape->startScopeTime();

        // The wheel over the tree scrolls it, and the canvas with it; the zoom stays.
        const QPoint at = m_Tree->viewport()->rect().center();
        QWheelEvent down(at, m_Tree->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                         Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_Tree->viewport(), &down);
        QVERIFY(m_Tree->verticalScrollBar()->value() > 0);
        QCOMPARE(shape->endScopeTime() - shape->startScopeTime(), span);
        shape->grab();
        QVERIFY(shape->pictureRenders() > renders);

        // Up and Down move the selection, the tree and its rows following; Left and Right close and open.
        m_Tree->verticalScrollBar()->setValue(0);
        m_Tree->setFocus();
        m_Tree->setCurrentItem(line("top"));
        for (int i = 0; i < 8; ++i)
            QTest::keyClick(m_Tree, Qt::Key_Down);
        QCOMPARE(m_Tree->currentItem(), line("volts"));
        QVERIFY(m_Tree->verticalScrollBar()->value() > 0);
        const QRect row = m_Tree->visualItemRect(line("volts"));
        QVERIFY(row.top() >= 0 && row.bottom() < shape->GetWaveHeight(-1));
        for (int i = 0; i < 6; ++i)
            QTest::keyClick(m_Tree, Qt::Key_Up);
        QCOMPARE(m_Tree->currentItem(), line("data"));
        // Each redraws the canvas and is the node's own state, kept in the file.
        m_Document->setModified(false);
        shape->grab();
        const int before = shape->pictureRenders();
        QTest::keyClick(m_Tree, Qt::Key_Left);
        QVERIFY(!line("data")->isExpanded());
        QVERIFY(!node("data")->m_Expanded);
        QVERIFY(m_Document->isModified());
        shape->grab();
        QCOMPARE(shape->pictureRenders(), before + 1);
        QTest::keyClick(m_Tree, Qt::Key_Right);
        QVERIFY(node("data")->m_Expanded);
        shape->grab();
        QCOMPARE(shape->pictureRenders(), before + 2);
    }

    // A node the filter found inside a hidden scope is shown from its line, and keeps it.
    void showFoundNode()
    {
        Dovlin_SignalFilter *filter = m_Document->signalFilter();
        filter->line()->setText("secret");
        filter->applyPending();
        QVERIFY(m_Tree->ConfigPopupMenu(line("top")));
        auto *menu = m_Tree->findChild<QMenu *>();
        QAction *show = nullptr;
        for (QAction *a : menu->actions())
            if (a->text() == "&Show")
                show = a;
        QVERIFY(show);
        QVERIFY(!show->isVisible());
        QVERIFY(m_Tree->ConfigPopupMenu(line("secret")));
        QVERIFY(show->isVisible());
        QCOMPARE(line("hidden")->foreground(0).color(), QColor(0x808080));
        show->trigger();
        QVERIFY(node("hidden")->m_Shown);
        QCOMPARE(line("hidden")->foreground(0).style(), Qt::NoBrush);
        QVERIFY(m_Document->isModified());
        filter->line()->clear();
        filter->applyPending();
        QVERIFY(lines().contains("  secret"));
    }

    // Lines below a scope never opened are built when it opens, opened as their nodes say; the
    // tree commands reach those nodes before that.
    void closedScopesOpenLater()
    {
        TestWave wave;
        auto *sub = wave.Scope("sub", wave.Scope("top"));
        sub->m_Expanded = false;
        wave.Bus("inner", wave.Scope("deeper", sub), 2, {{0, "01"}, {20, "10"}})->m_Expanded = false;
        wave.Logic("w", sub, {{0, 1}});
        std::unique_ptr<DovlinWidget> document = open(wave, "closed.dvn");
        QVERIFY(document);
        Dovlin_NameWidget *tree = document->nameWidget();
        const auto node = [&](const QString &name) { return static_cast<Dovlin_CompositeHierarchy *>(find(*document, name)); };
        const auto item = [&](const QString &name) { return tree->TreeItem(find(*document, name)); };
        QVERIFY(item("sub") && !item("deeper") && !item("w"));

        tree->collapseAll();
        QVERIFY(!node("deeper")->m_Expanded);
        tree->expandBits();
        QVERIFY(node("inner")->m_Expanded);
        QVERIFY(!node("sub")->m_Expanded);
        QVERIFY(!item("deeper"));

        tree->setCurrentItem(item("sub"));
        QTest::keyClick(tree, Qt::Key_Right);
        QVERIFY(node("sub")->m_Expanded);
        QVERIFY(item("deeper") && !item("deeper")->isExpanded() && !item("inner"));
        item("deeper")->setExpanded(true);
        QVERIFY(item("inner")->isExpanded());
        document->setCursorTime(0, 25);
        tree->UpdateVisibleSignalStates();
        QCOMPARE(item("inner")->text(1), QString(" 2u "));
        QCOMPARE(item("inner[1]")->text(1), QString("1"));
    }

    // A dump of 20 000 sibling scopes at the top opens with every scope open.
    void manyTopLevelScopes()
    {
        TestWave wave;
        for (int i = 0; i < 20000; ++i)
            wave.Logic("s", wave.Scope(QString("m%1").arg(i)), {{0, i % 2}});
        std::unique_ptr<DovlinWidget> document = open(wave, "flat.dvn");
        QVERIFY(document);
        Dovlin_NameWidget *tree = document->nameWidget();
        QCOMPARE(tree->topLevelItemCount(), 20000);
        QTreeWidgetItem *last = tree->topLevelItem(19999);
        QVERIFY(last->isExpanded());
        tree->scrollToBottom();
        document->setCursorTime(0, 5);
        tree->UpdateVisibleSignalStates();
        QCOMPARE(last->child(0)->text(1), QString("1"));
    }

private:
    std::unique_ptr<DovlinWidget> open(TestWave &wave, const QString &name) const
    {
        const QString path = m_Dir.filePath(name);
        if (!wave.Save(path, 100))
            return nullptr;
        auto document = std::make_unique<DovlinWidget>(nullptr);
        if (!document->loadFile(path))
            return nullptr;
        document->resize(800, 600);
        document->show();
        if (!QTest::qWaitForWindowExposed(document.get()))
            return nullptr;
        document->nameWidget()->setFocus();
        return document;
    }

    static Dovlin_Hierarchy *find(DovlinWidget &document, const QString &name)
    {
        Dovlin_FileManager &model = document.fileManager();
        for (int i = 0; i < model.GetnHierarchy(); ++i)
            if (model.GetHierarchy(i)->GetName() == name)
                return model.GetHierarchy(i);
        return nullptr;
    }

    Dovlin_CompositeHierarchy *node(const QString &name) const
    {
        return dynamic_cast<Dovlin_CompositeHierarchy *>(find(*m_Document, name));
    }

    // The lines a user can see: those whose ancestors are all expanded.
    QStringList visibleLines() const
    {
        QStringList names;
        for (QTreeWidgetItem *item = m_Tree->topLevelItem(0); item; item = m_Tree->itemBelow(item)) {
            QString indent;
            for (QTreeWidgetItem *parent = item->parent(); parent; parent = parent->parent())
                indent += ' ';
            names << indent + item->text(0);
        }
        return names;
    }

    // Every line the tree lists, open or not; below a line never opened they are its listed nodes.
    QStringList lines() const
    {
        QStringList names;
        for (int i = 0; i < m_Tree->topLevelItemCount(); ++i)
            addLines(names, m_Tree->topLevelItem(i), Dovlin_HierarchyView::GetHierarchy(m_Tree->topLevelItem(i)), 0);
        return names;
    }

    void addLines(QStringList &names, QTreeWidgetItem *item, Dovlin_Hierarchy *node, int depth) const
    {
        names << QString(depth, ' ') + (item ? item->text(0) : node->GetName());
        if (item && item->childCount() > 0) {
            for (int i = 0; i < item->childCount(); ++i)
                addLines(names, item->child(i), Dovlin_HierarchyView::GetHierarchy(item->child(i)), depth + 1);
        } else if (auto *composite = dynamic_cast<Dovlin_CompositeHierarchy *>(node)) {
            for (int i = 0; i < composite->GetnChild(); ++i)
                if (m_Tree->IsListed(composite->GetHierarchy(i)))
                    addLines(names, nullptr, composite->GetHierarchy(i), depth + 1);
        }
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
