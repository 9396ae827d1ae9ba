#include "guitest.h"

#include "Dovlin_GuiImportReporter.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_SignalFilter.h"
#include "Dovlin_ValueBar.h"
#include "Dovlin_VcdImport.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QStatusBar>

#include <unistd.h>

class tst_MainWindow : public GuiTest
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startTestCase(); }
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    // The commands on a document are greyed while there is none; the others never are.
    void enabledState()
    {
        const QStringList onDocument{"closeAct", "closeAllAct", "printAct", "zoomInAct", "zoomOutAct", "zoomFullAct",
                                     "zoomAreaAct", "addCursorAct", "removeCursorAct", "tileAct", "cascadeAct", "nextAct",
                                     "previousAct", "saveAct", "saveAsAct", "signalsAct", "findSignalAct", "findValueAct",
                                     "findNextAct", "findPreviousAct", "collapseAllAct", "expandAllAct", "expandBitsAct",
                                     "nextTransAct", "prevTransAct", "goToTimeAct"};
        const auto check = [&](bool document) {
            for (const QString &name : onDocument + QStringList{"openAct", "exitAct", "aboutAct"}) {
                auto *action = m_Window->findChild<QAction *>(name);
                QVERIFY2(action && action->isEnabled() == (document || !onDocument.contains(name)), qPrintable(name));
            }
        };
        check(false);
        QVERIFY(m_Window->DoFileOpen(writeFile("enabled.dvn")));
        QVERIFY(m_Window->activeMdiChild());
        check(true);
        m_Window->workspace()->closeAllSubWindows();
        QCoreApplication::processEvents();
        QVERIFY(!m_Window->activeMdiChild());
        check(false);
    }

    // The find shortcuts reach the active document.
    void findShortcuts()
    {
        QVERIFY(m_Window->DoFileOpen(writeFile("find.dvn")));
        DovlinWidget *document = m_Window->activeMdiChild();
        QVERIFY(document);
        QTest::keyClick(m_Window, Qt::Key_L, Qt::ControlModifier);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(document->signalFilter()->line()));
        QTest::keyClick(m_Window, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY(document->valueBar()->isVisible());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(document->valueBar()->value()));
    }

    void windowMenu_data()
    {
        QTest::addColumn<int>("documents");
        QTest::newRow("none") << 0;
        QTest::newRow("one") << 1;
        QTest::newRow("eleven") << 11;
    }

    void windowMenu()
    {
        QFETCH(int, documents);
        for (int i = 0; i < documents; ++i)
            QVERIFY(m_Window->DoFileOpen(writeFile(QString("menu/doc%1.dvn").arg(i))));
        auto *menu = m_Window->findChild<QMenu *>("windowMenu");
        QVERIFY(menu);
        QList<QAction *> entries = windowEntries(menu);
        QCOMPARE(m_Window->findChild<QAction *>("separatorAct")->isVisible(), documents > 0);
        QCOMPARE(entries.size(), documents);
        // The last opened document is the active one.
        for (int i = 0; i < documents; ++i) {
            QCOMPARE(entries.at(i)->text(), QString(i < 9 ? "&%1. doc%2.dvn" : "%1. doc%2.dvn").arg(i + 1).arg(i));
            QCOMPARE(entries.at(i)->isChecked(), i == documents - 1);
        }
        if (documents == 0)
            return;
        entries.first()->trigger();
        QCOMPARE(m_Window->activeMdiChild()->userFriendlyFileName(), QString("doc0.dvn"));
        entries = windowEntries(menu);
        QCOMPARE(entries.size(), documents);
        for (int i = 0; i < documents; ++i)
            QCOMPARE(entries.at(i)->isChecked(), i == 0);
    }

    void dispatchBySuffix_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("opensDocument");
        QTest::addColumn<bool>("unknownType");
        QTest::newRow("wave file") << "a.dvn" << true << false;
        QTest::newRow("several dots") << "a.b.dvn" << true << false;
        QTest::newRow("upper-case suffix") << "TRACE.DVN" << true << false;
        QTest::newRow("compressed vcd") << "trace.vcd.gz" << false << true;
        QTest::newRow("no suffix") << "trace" << false << true;
    }

    void dispatchBySuffix()
    {
        QFETCH(QString, fileName);
        QFETCH(bool, opensDocument);
        QFETCH(bool, unknownType);
        const QString path = writeFile("dispatch/" + fileName);

        QVERIFY(m_Window->DoFileOpen(path));
        QCOMPARE(m_Window->workspace()->subWindowList().size(), opensDocument ? 1 : 0);
        const bool sawUnknown = std::any_of(m_Messages.cbegin(), m_Messages.cend(), [&](const auto &m) {
            return m.text == QString("Unknown file type: %1").arg(path);
        });
        QCOMPARE(sawUnknown, unknownType);
        if (unknownType) {
            QCOMPARE(m_Messages.size(), 1);
            QCOMPARE(m_Messages.first().title, QString("Error"));
            QCOMPARE(m_Messages.first().icon, QMessageBox::Critical);
        }
        if (opensDocument)
            QCOMPARE(m_Window->activeMdiChild()->fileName(), QFileInfo(path).canonicalFilePath());
    }

    void sameFileTwice_data()
    {
        QTest::addColumn<QString>("secondPath");
        const QString absolute = m_Dir.filePath("twice/run.dvn");
        QTest::newRow("same path") << absolute;
        QTest::newRow("dot-dot") << m_Dir.filePath("twice/sub/../run.dvn");
        QTest::newRow("relative") << QDir::current().relativeFilePath(absolute);
        QTest::newRow("symbolic link") << m_Dir.filePath("twice/link.dvn");
    }

    void sameFileTwice()
    {
        QFETCH(QString, secondPath);
        const QString first = writeFile("twice/run.dvn");
        QDir().mkpath(m_Dir.filePath("twice/sub"));
        QFile::link(first, m_Dir.filePath("twice/link.dvn"));
        const QString other = writeFile("twice/other.dvn");

        QVERIFY(m_Window->DoFileOpen(first));
        QVERIFY(m_Window->DoFileOpen(other));
        QCOMPARE(m_Window->activeMdiChild()->userFriendlyFileName(), QString("other.dvn"));

        QVERIFY(!m_Window->DoFileOpen(secondPath));
        QCOMPARE(m_Window->workspace()->subWindowList().size(), 2);
        QCOMPARE(m_Window->activeMdiChild()->fileName(), QFileInfo(first).canonicalFilePath());
        QVERIFY(m_Messages.isEmpty());
        // However named, the file is listed once in Open Recent.
        QCOMPARE(Dovlin_Settings().recentFiles(), QStringList({first, other}));
    }

    // A cancelled dialog opens and reports nothing; the files chosen open in order.
    void openDialog()
    {
        QStringList chosen;
        Dovlin_Dialogs::setOpenFilesHandler([&](QWidget *, const QString &, const QString &) { return chosen; });
        m_Window->findChild<QAction *>("openAct")->trigger();
        QVERIFY(m_Window->workspace()->subWindowList().isEmpty());
        QVERIFY(m_Messages.isEmpty());
        const QString bad = m_Dir.filePath("order/notes.txt");
        chosen = QStringList{writeFile("order/b.dvn"), bad, writeFile("order/a.dvn")};
        m_Window->findChild<QAction *>("openAct")->trigger();

        const QList<QMdiSubWindow *> windows = m_Window->workspace()->subWindowList();
        QCOMPARE(windows.size(), 2);
        QCOMPARE(qobject_cast<DovlinWidget *>(windows.at(0)->widget())->userFriendlyFileName(), QString("b.dvn"));
        QCOMPARE(qobject_cast<DovlinWidget *>(windows.at(1)->widget())->userFriendlyFileName(), QString("a.dvn"));
        QCOMPARE(m_Messages.size(), 1);
        QCOMPARE(m_Messages.first().text, QString("Unknown file type: %1").arg(bad));
    }

    void droppedFilesOpen()
    {
        const QString a = writeFile("drop/a.dvn");
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(a)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_Window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_Window, &drop);
        QCOMPARE(m_Window->workspace()->subWindowList().size(), 1);
        QCOMPARE(m_Window->activeMdiChild()->userFriendlyFileName(), QString("a.dvn"));
    }

    void waveFileCachedWhenNotWritableBeside_data()
    {
        QTest::addColumn<bool>("readOnlyFolder");
        // Root writes into any folder: a folder where the wave file should go stops it too.
        QTest::newRow("folder in the way") << false;
        if (geteuid() != 0)
            QTest::newRow("read-only folder") << true;
    }

    // Dumps of one name in two such folders are converted to two cached wave files; each is then
    // found open, and opened again without converting.
    void waveFileCachedWhenNotWritableBeside()
    {
        QFETCH(bool, readOnlyFolder);
        QStringList dumps, folders;
        for (int endTime : {10, 20}) {
            const QString relative = QString("cached/%1/%2").arg(QTest::currentDataTag()).arg(endTime);
            dumps << writeFile(relative + "/run.vcd", dump(endTime));
            const QString folder = m_Dir.filePath(relative);
            folders << folder;
            if (readOnlyFolder)
                QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            else
                QVERIFY(QDir().mkpath(folder + "/run.dvn"));
        }
        const auto restore = qScopeGuard([&] {
            for (const QString &folder : folders)
                QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });

        for (const QString &vcd : dumps) {
            QVERIFY(m_Window->DoFileOpen(vcd));
            const QString cached = Dovlin_VcdImport::CachedWaveFileFor(vcd);
            QVERIFY(cached.startsWith(m_Dir.filePath("cache/")));
            QVERIFY(m_Window->activeMdiChild());
            QCOMPARE(m_Window->activeMdiChild()->fileName(), QFileInfo(cached).canonicalFilePath());
            QCOMPARE(m_Window->statusBar()->currentMessage(),
                     QString("Converted %1 to %2: the wave file cannot be written next to the dump").arg(vcd, cached));
        }
        QCOMPARE(m_Window->activeMdiChild()->endTime(), qint64(20));

        QVERIFY(!m_Window->DoFileOpen(dumps.first()));
        QCOMPARE(m_Window->workspace()->subWindowList().size(), 2);
        QCOMPARE(m_Window->activeMdiChild()->endTime(), qint64(10));

        closeAll();
        QVERIFY(m_Window->DoFileOpen(dumps.first()));
        QCOMPARE(m_Window->activeMdiChild()->endTime(), qint64(10));
        QVERIFY(m_Window->statusBar()->currentMessage().startsWith("Opened " + Dovlin_VcdImport::CachedWaveFileFor(dumps.first())));
        QVERIFY(m_Messages.isEmpty());
    }

    void cachedDocumentIsTheDumps_data()
    {
        QTest::addColumn<bool>("throughWaveFile");
        QTest::newRow("opened as the dump") << false;
        QTest::newRow("its cached wave file opened") << true;
    }

    // A dump converted to the cache is its document, however it is opened: titled by the dump,
    // closed without a question, its view flags kept in the cached wave file.
    void cachedDocumentIsTheDumps()
    {
        QFETCH(bool, throughWaveFile);
        const QString vcd = writeFile(QString("quiet/%1/run.vcd").arg(throughWaveFile), dump(10));
        QVERIFY(QDir().mkpath(QFileInfo(vcd).absolutePath() + "/run.dvn"));
        const QString cached = Dovlin_VcdImport::CachedWaveFileFor(vcd);
        QVERIFY(m_Window->DoFileOpen(vcd));
        if (throughWaveFile) {
            closeAll();
            QVERIFY(m_Window->DoFileOpen(cached));
            QCOMPARE(m_Window->statusBar()->currentMessage(), QString("Opened %1 from its wave file %2").arg(vcd, cached));
        }
        DovlinWidget *document = m_Window->activeMdiChild();
        QCOMPARE(document->windowTitle(), QString("run.vcd"));
        QCOMPARE(Dovlin_Settings().recentFiles(), QStringList{vcd});
        document->nameWidget()->topLevelItem(0)->setExpanded(false);
        QVERIFY(m_Window->workspace()->currentSubWindow()->close());
        QVERIFY(m_Messages.isEmpty());
        Dovlin_FileManager reread;
        QVERIFY(reread.Load(cached));
        QVERIFY(!static_cast<Dovlin_CompositeHierarchy *>(reread.GetHierarchy(0))->m_Expanded);
    }

    void failedOpenShowsOneBox_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("syntax error after warnings")
            << "run.vcd" << QByteArray("$var wire 1 ! a $end\n$crash $end\n#0\n1\"\n1!\nfoo\n")
            << "line 6: syntax error: unexpected 'foo'";
        QTest::newRow("not a VCD file") << "run.vcd" << QByteArray("time,clk\n0,1\n")
                                        << "line 1: syntax error: unexpected 'time,clk'\nIt does not look like a VCD or an FST file.";
        QTest::newRow("empty") << "run.vcd" << QByteArray("") << "it holds no signals";
        QTest::newRow("damaged FST file")
            << "run.fst" << QByteArray::fromHex("000000000000000149").append(QByteArray(321, 0))
            << "its header's byte-order test holds no known value";
        QTest::newRow("no variable") << "run.vcd" << QByteArray("$scope module top $end $upscope $end\n#0\n#66\n")
                                     << "it holds no signals";
        QTest::newRow("wave file missing") << "run.dvn" << QByteArray() << "cannot open: No such file or directory";
        QTest::newRow("wave file with a bad type code")
            << "run.dvn" << QByteArray::fromHex("00000000010000000700000000000000" "1f000000ffffffff")
            << "unknown type code 7 at offset 8";
    }

    // Whatever was met before, a failed open shows one box, and writes no wave file.
    void failedOpenShowsOneBox()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QString relative = QString("failed/%1/%2").arg(QTest::currentDataTag(), fileName);
        const QString path = content.isNull() ? m_Dir.filePath(relative) : writeFile(relative, content);
        const QString folder = QFileInfo(path).absolutePath();
        QDir().mkpath(folder);
        QVERIFY(m_Window->DoFileOpen(path));
        QVERIFY(m_Window->workspace()->subWindowList().isEmpty());
        QCOMPARE(m_Messages.size(), 1);
        QCOMPARE(m_Messages.first().icon, QMessageBox::Critical);
        QCOMPARE(m_Messages.first().text, QString("Cannot open %1:\n%2").arg(path, reason));
        QCOMPARE(QDir(folder).entryList(QDir::Files), content.isNull() ? QStringList() : QStringList{fileName});
    }

    // Save As never puts a wave file in place of the dump the document was converted from (a
    // conversion onto its dump is refused in tst_convert, by the same import the viewer runs).
    void saveAsNeverOverwritesTheDump()
    {
        const QByteArray dump("$var wire 1 ! a $end\n#0 1!\n#10 0!\n");
        const QString vcd = writeFile("same/run.vcd", dump);
        QVERIFY(m_Window->DoFileOpen(vcd));
        DovlinWidget *document = m_Window->activeMdiChild();
        QVERIFY(document);
        Dovlin_Dialogs::setSaveFileHandler([&](QWidget *, const QString &, const QString &, QString &) { return vcd; });
        document->saveAs();
        QCOMPARE(m_Messages.size(), 1);
        QCOMPARE(m_Messages.first().text, QString("Cannot save %1:\nit is the dump this document was converted from, "
                                                  "which is never overwritten").arg(vcd));
        QFile file(vcd);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), dump);
    }

    // An FST file is converted beside it, and opened again from that wave file while it is unchanged.
    void fstFileOpens()
    {
        QDir().mkpath(m_Dir.filePath("fst"));
        const QString fst = m_Dir.filePath("fst/run.fst");
        QFile::remove(fst);
        QVERIFY(QFile::copy(DOVLIN_TEST_DATA "/fst/icarus.fst", fst));
        QVERIFY(m_Window->DoFileOpen(fst));
        const QString wave = m_Dir.filePath("fst/run-fst.dvn");
        QCOMPARE(m_Window->statusBar()->currentMessage(), QString("Converted %1 to %2").arg(fst, wave));
        QCOMPARE(m_Window->activeMdiChild()->fileName(), QFileInfo(wave).canonicalFilePath());
        closeAll();
        QVERIFY(m_Window->DoFileOpen(fst));
        QVERIFY2(m_Window->statusBar()->currentMessage().startsWith("Opened"), qPrintable(m_Window->statusBar()->currentMessage()));
        QVERIFY(m_Messages.isEmpty());
    }

    void reopenDump_data()
    {
        QTest::addColumn<bool>("windowOpen");
        QTest::addColumn<bool>("replaced");
        QTest::addColumn<bool>("waveDamaged");
        QTest::addColumn<qint64>("endTime");
        QTest::addColumn<QString>("status");
        QTest::newRow("wave file up to date") << false << false << false << qint64(10) << "Opened";
        QTest::newRow("dump replaced, its time set back") << false << true << false << qint64(20) << "Converted";
        QTest::newRow("wave file damaged") << false << false << true << qint64(10) << "Converted";
        QTest::newRow("window open, up to date") << true << false << false << qint64(10) << "Converted";
        QTest::newRow("window open, dump replaced") << true << true << false << qint64(20) << "Converted";
    }

    // The dump is converted with an end time of 10, then maybe replaced by one of the same size
    // with an end time of 20 and an older time, as a copy that keeps its time leaves it.
    void reopenDump()
    {
        QFETCH(bool, windowOpen);
        QFETCH(bool, replaced);
        QFETCH(bool, waveDamaged);
        QFETCH(qint64, endTime);
        QFETCH(QString, status);
        const QString folder = QString("reopen/%1/").arg(QTest::currentDataTag());
        const QString vcd = writeFile(folder + "run.1.VCD", dump(10));
        QVERIFY(m_Window->DoFileOpen(vcd));
        const QString wave = m_Dir.filePath(folder + "run.1.dvn");
        QCOMPARE(m_Window->statusBar()->currentMessage(), QString("Converted %1 to %2").arg(vcd, wave));
        if (!windowOpen)
            closeAll();
        if (waveDamaged)
            writeFile(folder + "run.1.dvn", "damaged");
        if (replaced) {
            writeFile(folder + "run.1.VCD", dump(20));
            QVERIFY(setModified(vcd, QDateTime::currentDateTime().addSecs(-60)));
        }

        QCOMPARE(m_Window->DoFileOpen(vcd), !windowOpen || replaced);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(m_Window->workspace()->subWindowList().size(), 1);
        QCOMPARE(m_Window->activeMdiChild()->endTime(), endTime);
        QCOMPARE(m_Window->activeMdiChild()->fileName(), QFileInfo(wave).canonicalFilePath());
        QVERIFY2(m_Window->statusBar()->currentMessage().startsWith(status),
                 qPrintable(m_Window->statusBar()->currentMessage()));
        QVERIFY(m_Messages.isEmpty());
    }

    void progressDialogCancels_data()
    {
        QTest::addColumn<bool>("whileWriting");
        QTest::newRow("reading") << false;
        QTest::newRow("writing") << true;
    }

    // One bar runs through both stages: reading fills it up to the read share, writing the rest.
    void progressDialogCancels()
    {
        QFETCH(bool, whileWriting);
        Dovlin_GuiImportReporter reporter(m_Window, "dir/big.vcd", "cache/big-0123.dvn");
        const auto advance = [&](qint64 done, qint64 total) {
            return whileWriting ? reporter.WriteProgress(done, total) : reporter.Progress(done, total);
        };
        // Quick imports show nothing.
        QVERIFY(advance(10, 100));
        QVERIFY(!m_Window->findChild<QProgressDialog *>());
        QTest::qWait(Dovlin_GuiImportReporter::m_ShowAfterMs + 50);
        QVERIFY(advance(50, 100));
        auto *dialog = m_Window->findChild<QProgressDialog *>();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        // Reading takes the first 80 % of the bar: half of it read is at 40 %, half written at 90 %.
        QCOMPARE(dialog->maximum(), 1000);
        QCOMPARE(dialog->value(), whileWriting ? 900 : 400);
        QCOMPARE(dialog->labelText(), QString(whileWriting ? "Writing big-0123.dvn" : "Reading big.vcd"));
        dialog->cancel();
        QVERIFY(!advance(60, 100));
    }

private:
    QList<QAction *> windowEntries(QMenu *menu)
    {
        QMetaObject::invokeMethod(menu, "aboutToShow");
        const QList<QAction *> actions = menu->actions();
        return actions.mid(actions.indexOf(m_Window->findChild<QAction *>("separatorAct")) + 1);
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
