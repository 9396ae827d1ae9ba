// What a user of a desktop viewer expects of the main window: recent files, a first view that
// fits, and documents that reload their file and keep their view.
#include "guitest.h"
#include "tst_vcdimport_support.h"

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_HierarchyView.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_SignalFilter.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_Types.h"
#include "Dovlin_VcdImport.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QSvgRenderer>

using VcdTesting::nodesByPath;

class tst_Desktop : public GuiTest
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startTestCase(); }
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    void recentFiles()
    {
        QStringList paths;
        for (int i = 0; i < 12; ++i) {
            paths << writeFile(QString("recent/f%1.vcd").arg(i), dump(10 + i));
            QVERIFY(m_Window->DoFileOpen(paths.last()));
        }
        // Opened again, an older file moves to the front instead of standing twice.
        QVERIFY(!m_Window->DoFileOpen(paths.at(5)));
        QVERIFY(QFile::remove(paths.at(11)));

        QStringList expected{paths.at(5)};
        for (int i = 11; expected.size() < Dovlin_Settings::m_MaxRecentFiles; --i)
            if (i != 5)
                expected << paths.at(i);
        QCOMPARE(Dovlin_Settings().recentFiles(), expected);

        QList<QAction *> entries = recentEntries();
        QCOMPARE(entries.size(), expected.size());
        for (int i = 0; i < entries.size(); ++i) {
            QCOMPARE(entries.at(i)->data().toString(), expected.at(i));
            QVERIFY(entries.at(i)->text().endsWith(QFileInfo(expected.at(i)).fileName()));
            // A file that is gone is greyed.
            QCOMPARE(entries.at(i)->isEnabled(), expected.at(i) != paths.at(11));
        }
        QVERIFY(entries.first()->text().startsWith("&1. "));

        closeAll();
        entries.at(2)->trigger();
        QCOMPARE(m_Window->activeMdiChild()->dumpFile(), expected.at(2));
        QCOMPARE(Dovlin_Settings().recentFiles().first(), expected.at(2));

        // The Open dialog starts where the last file was chosen.
        Dovlin_Dialogs::setOpenFilesHandler([&](QWidget *, const QString &, const QString &) {
            return QStringList{paths.at(3)};
        });
        m_Window->findChild<QAction *>("openAct")->trigger();
        QCOMPARE(Dovlin_Settings().openFolder(), QFileInfo(paths.at(3)).absolutePath());

        auto *clear = m_Window->findChild<QAction *>("clearRecentAct");
        QVERIFY(clear && clear->isEnabled());
        clear->trigger();
        QVERIFY(Dovlin_Settings().recentFiles().isEmpty());
        QVERIFY(recentEntries().isEmpty());
        QVERIFY(!m_Window->findChild<QAction *>("clearRecentAct")->isEnabled());
    }

    void windowGeometry()
    {
        // The first start takes about 80 % of the screen, centred.
        const QRect available = m_Window->screen()->availableGeometry();
        QCOMPARE(m_Window->size(), available.size() * 0.8);
        QVERIFY(qAbs(m_Window->geometry().center().x() - available.center().x()) <= 1);

        const QRect chosen(available.topLeft() + QPoint(30, 40), QSize(500, 350));
        m_Window->setGeometry(chosen);
        QVERIFY(m_Window->close());
        Dovlin_MainWindow again;
        QCOMPARE(again.size(), chosen.size());
    }

    void firstViewFits()
    {
        QVERIFY(m_Window->DoFileOpen(writeFile("fit/a.vcd", dump(1000))));
        DovlinWidget *first = m_Window->activeMdiChild();
        QVERIFY(first->parentWidget()->isMaximized());
        QVERIFY(showsExactlyWholeRange(first));

        QVERIFY(m_Window->DoFileOpen(writeFile("fit/b.vcd", dump(300))));
        DovlinWidget *second = m_Window->activeMdiChild();
        QVERIFY(second != first);
        const QRect a = first->parentWidget()->geometry(), b = second->parentWidget()->geometry();
        QVERIFY(!first->parentWidget()->isMaximized());
        QVERIFY(!a.intersects(b));
        QCOMPARE((a | b).size(), m_Window->workspace()->viewport()->size());
        QVERIFY(showsExactlyWholeRange(first));
        QVERIFY(showsExactlyWholeRange(second));

        // A document zoomed in by the user keeps its zoom when the next one is tiled in.
        second->shapeWidget()->ZoomTime2Time(100, 200);
        QVERIFY(m_Window->DoFileOpen(writeFile("fit/c.vcd", dump(500))));
        QCOMPARE(second->shapeWidget()->startScopeTime(), 100);
        QVERIFY(showsExactlyWholeRange(first));
        QVERIFY(showsExactlyWholeRange(m_Window->activeMdiChild()));
    }

    void reloadKeepsTheView()
    {
        const QString vcd = writeFile("reload/run.vcd", wideDump({"gone"}, 100));
        QVERIFY(m_Window->DoFileOpen(vcd));
        DovlinWidget *document = m_Window->activeMdiChild();
        QHash<QString, Dovlin_Hierarchy *> nodes = nodesByPath(document->fileManager());
        document->nameWidget()->collapseItem(document->nameWidget()->TreeItem(nodes.value("top.sub")));
        QVERIFY(!static_cast<Dovlin_CompositeHierarchy *>(nodes.value("top.sub"))->m_Expanded);
        nodes.value("top.s3")->m_Shown = false;
        nodes.value("top.bus")->m_Digital = false;
        nodes.value("top.bus")->m_Radix = Dovlin_Radix::Hexadecimal;
        document->addCursor();
        document->setCursorTime(0, 30);
        document->setCursorTime(1, 70);
        document->shapeWidget()->ZoomTime2Time(20, 40);
        QScrollBar *scroll = document->nameWidget()->verticalScrollBar();
        QVERIFY(scroll->maximum() > 3);
        scroll->setValue(3);
        const Dovlin_ShapeWidget::View view = document->shapeWidget()->CurrentView();

        // The new run leaves "gone" out, adds "fresh" and lasts longer: the dump is converted again.
        writeFile("reload/run.vcd", wideDump({"fresh"}, 250));
        QVERIFY(setModified(vcd, QDateTime::currentDateTime().addSecs(5)));
        QVERIFY(document->reload());

        QCOMPARE(m_Window->activeMdiChild(), document);
        QCOMPARE(document->endTime(), 250);
        nodes = nodesByPath(document->fileManager());
        QVERIFY(!nodes.contains("top.gone"));
        QVERIFY(nodes.value("top.fresh")->m_Shown);
        QVERIFY(!static_cast<Dovlin_CompositeHierarchy *>(nodes.value("top.sub"))->m_Expanded);
        QVERIFY(!document->nameWidget()->TreeItem(nodes.value("top.sub"))->isExpanded());
        QVERIFY(!nodes.value("top.s3")->m_Shown);
        QVERIFY(!nodes.value("top.bus")->m_Digital);
        QCOMPARE(nodes.value("top.bus")->m_Radix, int(Dovlin_Radix::Hexadecimal));
        QVERIFY(nodes.value("top.s4")->m_Digital);
        QCOMPARE(document->nCursor(), 2);
        QCOMPARE(document->cursorTime(0), 30);
        QCOMPARE(document->cursorTime(1), 70);
        QCOMPARE(document->shapeWidget()->startScopeTime(), view.m_Start);
        QCOMPARE(document->shapeWidget()->endScopeTime(), view.m_End);
        QCOMPARE(document->viewState().CurrentView().m_ZoomRatio, view.m_ZoomRatio);
        QCOMPARE(document->nameWidget()->verticalScrollBar()->value(), 3);
        QCOMPARE(m_Window->statusBar()->currentMessage(),
                 QString("Reloaded %1: 1 node no longer in the file dropped").arg(QDir::toNativeSeparators(vcd)));
    }

    // A filter in force picks from the reloaded file, which holds more nodes than the old one.
    void reloadRefilters()
    {
        const QString vcd = writeFile("refilter/run.vcd", wideDump({"gone"}, 100));
        QVERIFY(m_Window->DoFileOpen(vcd));
        DovlinWidget *document = m_Window->activeMdiChild();
        document->signalFilter()->line()->setText("/top\\.fresh");
        document->signalFilter()->apply();
        QCOMPARE(document->nameWidget()->FilterMatches(), 0);

        writeFile("refilter/run.vcd", wideDump({"fresh", "more", "again"}, 250));
        QVERIFY(setModified(vcd, QDateTime::currentDateTime().addSecs(5)));
        QVERIFY(document->reload());
        QCOMPARE(document->nameWidget()->FilterMatches(), 1);
        QCOMPARE(document->signalFilter()->statusText(), QString("1 node matches"));
        QVERIFY(document->nameWidget()->SelectFirstMatch());
        QCOMPARE(Dovlin_HierarchyView::GetHierarchy(document->nameWidget()->currentItem())->GetName(), QString("fresh"));
    }

    void failedReloadKeepsTheDocument_data()
    {
        QTest::addColumn<bool>("fromDump");
        QTest::newRow("dump emptied") << true;
        QTest::newRow("wave file replaced by an empty one") << false;
    }

    void failedReloadKeepsTheDocument()
    {
        QFETCH(bool, fromDump);
        const QString vcd = writeFile(QString("empty%1/run.vcd").arg(fromDump), wideDump({}, 100));
        QVERIFY(m_Window->DoFileOpen(vcd));
        DovlinWidget *document = m_Window->activeMdiChild();
        if (!fromDump) {
            const QString wave = document->fileName();
            closeAll();
            QVERIFY(m_Window->DoFileOpen(wave));
            document = m_Window->activeMdiChild();
        }
        const Dovlin_FileManager *model = &document->fileManager();
        const int items = document->nameWidget()->topLevelItem(0)->childCount();

        const QString source = document->sourceFile();
        writeFile(source + ".new", QByteArray());
        QVERIFY(QFile::remove(source) && QFile::rename(source + ".new", source));
        QVERIFY(setModified(source, QDateTime::currentDateTime().addSecs(5)));
        QVERIFY(!document->reload());

        QCOMPARE(&document->fileManager(), model);
        QCOMPARE(document->endTime(), 100);
        QCOMPARE(document->nameWidget()->topLevelItem(0)->childCount(), items);
        QVERIFY(!document->isFileLost());
        QVERIFY(document->changedBar() && document->changedBar()->isVisible());
        const QString message = m_Window->statusBar()->currentMessage();
        QVERIFY2(message.startsWith("Cannot reload " + QDir::toNativeSeparators(source) + ": "), qPrintable(message));
        QCOMPARE(document->changedBar()->findChild<QLabel *>()->text(), message);
        QVERIFY(m_Messages.isEmpty());
    }

    // A dump still being written is reloaded once it held still for a second, and not before.
    void changedOnDisk()
    {
        const QString vcd = writeFile("changed/run.vcd", wideDump({}, 100));
        QVERIFY(m_Window->DoFileOpen(vcd));
        DovlinWidget *document = m_Window->activeMdiChild();

        writeFile("changed/run.vcd", wideDump({}, 150));
        QTRY_VERIFY_WITH_TIMEOUT(document->changedBar() && document->changedBar()->isVisible(), 10000);
        QCOMPARE(document->changedBar()->findChild<QLabel *>()->text(), QString("The file changed on disk"));
        QCOMPARE(document->endTime(), 100);
        document->changedBar()->findChild<QPushButton *>("ignoreButton")->click();
        QVERIFY(!document->changedBar()->isVisible());

        writeFile("changed/run.vcd", wideDump({}, 160));
        QTRY_VERIFY_WITH_TIMEOUT(document->changedBar()->isVisible(), 10000);
        document->changedBar()->findChild<QPushButton *>("alwaysReloadButton")->click();
        QCOMPARE(document->endTime(), 160);
        QVERIFY(Dovlin_Settings().alwaysReload());

        // Written in steps shorter than the wait for a still file: no reload until the last one.
        QByteArray content = wideDump({}, 160);
        for (int step = 1; step <= 6; ++step) {
            content += "#" + QByteArray::number(160 + step * 10) + "\n";
            writeFile("changed/run.vcd", content);
            QTest::qWait(DovlinWidget::m_StableMilliseconds / 4);
            QCOMPARE(document->endTime(), 160);
        }
        QTRY_COMPARE_WITH_TIMEOUT(document->endTime(), 220, 10000);
        QVERIFY(!document->changedBar()->isVisible());
        QVERIFY(m_Messages.isEmpty());

        // The File menu shows the choice and takes it back.
        auto *always = m_Window->findChild<QAction *>("alwaysReloadAct");
        QMetaObject::invokeMethod(m_Window->findChild<QMenu *>("fileMenu"), "aboutToShow");
        QVERIFY(always->isChecked());
        always->setChecked(false);
        QVERIFY(!Dovlin_Settings().alwaysReload());
    }

    // A wave file whose dump was written on after the conversion read it shows the bar at once.
    void dumpGrownSinceConversion()
    {
        const QString vcd = writeFile("grown/run.vcd", wideDump({}, 100));
        Dovlin_VcdImport import(nullptr);
        QVERIFY(import.Convert(vcd));
        writeFile("grown/run.vcd", wideDump({}, 150));
        DovlinWidget document;
        document.setDumpFile(vcd);
        QVERIFY(document.loadFile(import.WaveFileName()));
        QTRY_VERIFY_WITH_TIMEOUT(document.changedBar() && !document.changedBar()->isHidden(), 10000);
    }

    void exportImage_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("light");
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("PNG, light, screen resolution") << "light" << true << 1.0;
        QTest::newRow("PNG, dark, 2x") << "dark.png" << false << 2.0;
        QTest::newRow("SVG, light") << "light.svg" << true << 1.0;
    }

    void exportImage()
    {
        QFETCH(QString, name);
        QFETCH(bool, light);
        QFETCH(qreal, ratio);
        QVERIFY(m_Window->DoFileOpen(writeFile("export/run.vcd", wideDump({}, 100))));
        DovlinWidget *document = m_Window->activeMdiChild();
        document->addCursor();
        const QString path = m_Dir.filePath("export/" + name);
        QString start;
        Dovlin_Dialogs::setSaveFileHandler(
            [&](QWidget *, const QString &, const QString &offered, QString &) { start = offered; return path; });
        Dovlin_Dialogs::setExecHandler([&](QDialog *dialog) {
            auto *theme = dialog->findChild<QComboBox *>("themeBox");
            theme->setCurrentIndex(theme->findData(light));
            if (auto *pixels = dialog->findChild<QComboBox *>("ratioBox"))
                pixels->setCurrentIndex(pixels->findData(ratio));
            return int(QDialog::Accepted);
        });
        m_Window->findChild<QAction *>("exportAct")->trigger();
        // The dialog starts beside the document, under its name.
        QCOMPARE(start, m_Dir.filePath("export/run.png"));
        const QString written = QFileInfo(path).suffix().isEmpty() ? path + ".png" : path;
        QCOMPARE(m_Window->statusBar()->currentMessage(), "Exported " + QDir::toNativeSeparators(written));

        QImage image;
        if (written.endsWith(".svg")) {
            QSvgRenderer svg(written);
            QVERIFY(svg.isValid());
            QCOMPARE(svg.viewBox(), QRect(QPoint(0, 0), document->viewSize()));
            image = QImage(document->viewSize(), QImage::Format_RGB32);
            QPainter painter(&image);
            svg.render(&painter);
        } else {
            QVERIFY(image.load(written, "PNG"));
            QCOMPARE(image.size(), document->viewSize() * ratio);
        }
        // The canvas's background is the theme's; its traces stand out from it.
        const QRect canvas(document->shapeWidget()->mapTo(document->shapeWidget()->parentWidget(), QPoint(0, 0)) * ratio,
                           document->shapeWidget()->size() * ratio);
        int background = 0, traces = 0;
        for (int y = canvas.top(); y <= canvas.bottom(); y += 2)
            for (int x = canvas.left(); x <= canvas.right(); x += 2) {
                const QRgb pixel = image.pixel(x, y) & 0xFFFFFF;
                background += pixel == (light ? 0xFFFFFFu : 0u);
                traces += light ? qGray(pixel) < 128 : qGray(pixel) > 128;
            }
        const int samples = (canvas.width() / 2) * (canvas.height() / 2);
        QVERIFY2(background > samples / 2 && traces > 50, qPrintable(QString("%1 %2 of %3").arg(background).arg(traces).arg(samples)));
    }

    // The printed page holds the waveforms as paths, not as one picture of the window.
    void printsVectors()
    {
        QVERIFY(m_Window->DoFileOpen(writeFile("print/run.vcd", wideDump({}, 100))));
        const QString pdf = m_Dir.filePath("print/run.pdf");
        Dovlin_Dialogs::setPrintHandler([&](QWidget *, QPrinter *printer) {
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdf);
            return true;
        });
        m_Window->findChild<QAction *>("printAct")->trigger();
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("%PDF"));
        // Images are only small parts of the name tree: its icons, its header.
        const QRegularExpression image("/Subtype\\s*/Image\\s*/Width\\s+(\\d+)\\s*/Height\\s+(\\d+)");
        for (auto match = image.globalMatch(QString::fromLatin1(bytes)); match.hasNext();) {
            const QRegularExpressionMatch found = match.next();
            QVERIFY2(found.captured(1).toInt() <= 128 && found.captured(2).toInt() <= 128, qPrintable(found.captured(0)));
        }
        // Lines are drawn as path segments: "x y m" moves, "x y l" draws.
        int segments = 0;
        const QRegularExpression stream("<<([^>]*)>>\\s*stream\\r?\\n");
        for (auto match = stream.globalMatch(QString::fromLatin1(bytes)); match.hasNext();) {
            const QRegularExpressionMatch found = match.next();
            if (!found.captured(1).contains("/FlateDecode") || found.captured(1).contains("/Image"))
                continue;
            const qsizetype end = bytes.indexOf("endstream", found.capturedEnd());
            QVERIFY(end > 0);
            const quint32 size = 1 << 24;
            const char header[] = {char(size >> 24), char(size >> 16 & 0xFF), char(size >> 8 & 0xFF), char(size & 0xFF)};
            segments += qUncompress(QByteArray(header, 4) + bytes.mid(found.capturedEnd(), end - found.capturedEnd()))
                            .count(" l\n");
        }
        QVERIFY2(segments > 100, qPrintable(QString::number(segments)));
        QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page "), 1);
        // A4 in points, landscape unless the dialog says otherwise.
        QVERIFY(bytes.contains("/MediaBox [0 0 842.000000 595.000000]"));
        Dovlin_Dialogs::setPrintHandler([&](QWidget *, QPrinter *printer) {
            printer->setOutputFileName(pdf);
            printer->setPageOrientation(QPageLayout::Portrait);
            return true;
        });
        m_Window->findChild<QAction *>("printAct")->trigger();
        QFile portrait(pdf);
        QVERIFY(portrait.open(QIODevice::ReadOnly) && portrait.readAll().contains("/MediaBox [0 0 595.000000 842.000000]"));
        // Cancelling the dialog prints nothing.
        QVERIFY(QFile::remove(pdf));
        Dovlin_Dialogs::setPrintHandler([&](QWidget *, QPrinter *printer) {
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdf);
            return false;
        });
        m_Window->findChild<QAction *>("printAct")->trigger();
        QVERIFY(!QFile::exists(pdf));
    }

    void transitions_data()
    {
        QTest::addColumn<QString>("node"); // empty: none selected
        QTest::addColumn<qint64>("from");
        QTest::addColumn<QString>("command"); // an action, or a shortcut
        QTest::addColumn<qint64>("to");
        QTest::newRow("next") << "s0" << qint64(3) << "nextTransAct" << qint64(10);
        QTest::newRow("previous, Ctrl+Left") << "s0" << qint64(60) << "Ctrl+Left" << qint64(10);
        QTest::newRow("next of a bus, Ctrl+Right") << "bus" << qint64(0) << "Ctrl+Right" << qint64(10);
        QTest::newRow("nothing selected") << "" << qint64(7) << "nextTransAct" << qint64(7);
    }

    // The commands act on the node selected in the tree; the cursor goes to its change, in view.
    void transitions()
    {
        QFETCH(QString, node);
        QFETCH(qint64, from);
        QFETCH(QString, command);
        QFETCH(qint64, to);
        QVERIFY(m_Window->DoFileOpen(writeFile("transitions/run.vcd", wideDump({}, 100))));
        DovlinWidget *document = m_Window->activeMdiChild();
        document->shapeWidget()->ZoomTime2Time(70, 90);
        if (Dovlin_Hierarchy *chosen = nodesByPath(document->fileManager()).value("top." + node))
            document->nameWidget()->setCurrentItem(document->nameWidget()->TreeItem(chosen));
        document->setCursorTime(0, from);
        if (command.startsWith("Ctrl"))
            QTest::keySequence(m_Window, QKeySequence(command));
        else
            m_Window->findChild<QAction *>(command)->trigger();
        QCOMPARE(document->cursorTime(0), to);
        QCOMPARE(document->shapeWidget()->startScopeTime() <= to && to < document->shapeWidget()->endScopeTime(), !node.isEmpty());
    }

private:
    // Scope top: a scope sub, a bus, forty bits s0 to s39 and the extra bits named.
    static QByteArray wideDump(const QList<QByteArray> &extra, int endTime)
    {
        QByteArray text = "$timescale 1ns $end\n$scope module top $end\n$scope module sub $end\n"
                          "$var wire 1 a inner $end\n$upscope $end\n$var wire 4 b bus [3:0] $end\n";
        for (int i = 0; i < 40; ++i)
            text += "$var wire 1 s" + QByteArray::number(i) + " s" + QByteArray::number(i) + " $end\n";
        for (const QByteArray &name : extra)
            text += "$var wire 1 x" + name + " " + name + " $end\n";
        text += "$upscope $end\n$enddefinitions $end\n#0\n0a\nb0101 b\n0s0\n#10\n1s0\nb1111 b\n#" +
                QByteArray::number(endTime) + "\n";
        return text;
    }

    // The whole file is in view from time 0, at a scale made for the canvas's final size: the
    // file's end lies within the canvas, and further right than a tick step rounded up to the
    // next of 1, 2 and 5 could leave it (at most 2.5 times too coarse).
    static bool showsExactlyWholeRange(DovlinWidget *document)
    {
        Dovlin_ShapeWidget *canvas = document->shapeWidget();
        const int end = canvas->TimeToX(document->endTime());
        if (canvas->startScopeTime() != 0 || end > canvas->width() || end * 5 < canvas->width() * 2) {
            qWarning("shown from %lld, the end at x = %d of %d", canvas->startScopeTime(), end, canvas->width());
            return false;
        }
        return true;
    }

    QList<QAction *> recentEntries()
    {
        auto *menu = m_Window->findChild<QMenu *>("recentMenu");
        QMetaObject::invokeMethod(menu, "aboutToShow");
        QList<QAction *> entries;
        for (QAction *action : menu->actions())
            if (action->data().isValid())
                entries << action;
        return entries;
    }
};

QTEST_MAIN(tst_Desktop)
#include "tst_desktop.moc"
