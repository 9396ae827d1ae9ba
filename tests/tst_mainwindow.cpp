#include "Dovlin_Dialogs.h"
#include "Dovlin_GuiImportReporter.h"
#include "Dovlin_MainWindow.h"
#include "DovlinWidget.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QtTest>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void staticTexts_data();
    void staticTexts();
    void enabledState_data();
    void enabledState();
    void windowMenu_data();
    void windowMenu();
    void dispatchBySuffix_data();
    void dispatchBySuffix();
    void sameFileTwice_data();
    void sameFileTwice();
    void cancelledDialogChangesNothing();
    void openDialogOffersVcdFirst();
    void filesOpenInOrder();
    void droppedFilesOpen();
    void importOpensItsWaveFile();
    void progressDialogCancels();

private:
    QString makeWaveFile(const QString &relativePath);
    QStringList windowEntries(QMenu *menu, QList<bool> *checked = nullptr);

    QTemporaryDir m_Dir;
    Dovlin_MainWindow *m_Window = nullptr;
    QList<Dovlin_Dialogs::Message> m_Messages;
};

void tst_MainWindow::initTestCase()
{
    Q_INIT_RESOURCE(Dovlin);
    QVERIFY(m_Dir.isValid());
}

void tst_MainWindow::init()
{
    m_Messages.clear();
    Dovlin_Dialogs::setMessageHandler([this](QWidget *, const Dovlin_Dialogs::Message &message) {
        m_Messages << message;
        return QMessageBox::Ok;
    });
    m_Window = new Dovlin_MainWindow;
    m_Window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_Window));
}

void tst_MainWindow::cleanup()
{
    delete m_Window;
    m_Window = nullptr;
    Dovlin_Dialogs::setMessageHandler({});
    Dovlin_Dialogs::setOpenFilesHandler({});
}

// The smallest valid wave file: time base 0, no signals, no nodes.
QString tst_MainWindow::makeWaveFile(const QString &relativePath)
{
    const QString path = m_Dir.filePath(relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(QByteArray(12, '\0'));
    return path;
}

QStringList tst_MainWindow::windowEntries(QMenu *menu, QList<bool> *checked)
{
    QStringList texts;
    bool afterSeparatorAction = false;
    for (QAction *action : menu->actions()) {
        if (action->objectName() == QLatin1String("separatorAct")) {
            afterSeparatorAction = true;
            continue;
        }
        if (afterSeparatorAction) {
            texts << action->text();
            if (checked)
                *checked << action->isChecked();
        }
    }
    return texts;
}

void tst_MainWindow::staticTexts_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<QString>("statusTip");
    QTest::addColumn<bool>("hasIcon");
    QTest::newRow("open") << "openAct" << "&Open..." << "Ctrl+O" << "Open an existing file" << true;
    QTest::newRow("close") << "closeAct" << "Cl&ose" << "Ctrl+F4" << "Close the active window" << false;
    QTest::newRow("close all") << "closeAllAct" << "Close &All" << "" << "Close all the windows" << false;
    QTest::newRow("print") << "printAct" << "&Print" << "Ctrl+P" << "Print the active wave." << true;
    QTest::newRow("exit") << "exitAct" << "E&xit" << "Alt+F4" << "Exit the application" << false;
    QTest::newRow("zoom in") << "zoomInAct" << "Zoom &In" << "Ctrl+I" << "Zoom In" << true;
    QTest::newRow("zoom out") << "zoomOutAct" << "Zoom &Out" << "Ctrl+U" << "Zoom Out" << true;
    QTest::newRow("zoom full") << "zoomFullAct" << "Zoom &Full" << "Ctrl+F" << "Zoom Full" << true;
    QTest::newRow("zoom area") << "zoomAreaAct" << "Zoom &Area" << "Ctrl+A" << "Zoom Area" << false;
    QTest::newRow("add cursor") << "addCursorAct" << "&Add Cursor" << "F8" << "Add Cursor" << true;
    QTest::newRow("remove cursor") << "removeCursorAct" << "&Remove Cursor" << "F7" << "Remove Cursor" << true;
    QTest::newRow("tile") << "tileAct" << "&Tile" << "" << "Tile the windows" << true;
    QTest::newRow("cascade") << "cascadeAct" << "&Cascade" << "" << "Cascade the windows" << true;
    QTest::newRow("next") << "nextAct" << "Ne&xt" << "Ctrl+F6" << "Move the focus to the next window" << false;
    QTest::newRow("previous") << "previousAct" << "Pre&vious" << "Ctrl+Shift+F6"
                              << "Move the focus to the previous window" << false;
    QTest::newRow("about") << "aboutAct" << "&About" << "" << "Show the application's About box" << false;
    QTest::newRow("save") << "saveAct" << "&Save" << "Ctrl+S" << "Save the active wave file" << false;
    QTest::newRow("save as") << "saveAsAct" << "Save &As..." << "Ctrl+Shift+S"
                             << "Save the active wave file under a new name" << false;
}

void tst_MainWindow::staticTexts()
{
    QFETCH(QString, action);
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    QFETCH(QString, statusTip);
    QFETCH(bool, hasIcon);
    auto *a = m_Window->findChild<QAction *>(action);
    QVERIFY(a);
    QCOMPARE(a->text(), text);
    QCOMPARE(a->shortcut(), QKeySequence(shortcut));
    QCOMPARE(a->statusTip(), statusTip);
    QCOMPARE(!a->icon().isNull(), hasIcon);
    if (hasIcon)
        QVERIFY(!a->icon().pixmap(16, 16).isNull());
    QCOMPARE(m_Window->windowTitle(), QString("Dovlin - Academic Edition"));
}

void tst_MainWindow::enabledState_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("needsDocument");
    for (const char *name : {"closeAct", "closeAllAct", "printAct", "zoomInAct", "zoomOutAct", "zoomFullAct",
                             "zoomAreaAct", "addCursorAct", "removeCursorAct", "tileAct", "cascadeAct", "nextAct",
                             "previousAct", "saveAct", "saveAsAct", "signalsAct"})
        QTest::newRow(name) << QString(name) << true;
    for (const char *name : {"openAct", "exitAct", "aboutAct"})
        QTest::newRow(name) << QString(name) << false;
}

void tst_MainWindow::enabledState()
{
    QFETCH(QString, action);
    QFETCH(bool, needsDocument);
    auto *a = m_Window->findChild<QAction *>(action);
    QVERIFY(a);
    QCOMPARE(a->isEnabled(), !needsDocument);

    QVERIFY(m_Window->DoFileOpen(makeWaveFile("enabled.dvn")));
    QVERIFY(m_Window->activeMdiChild());
    QVERIFY(a->isEnabled());

    m_Window->workspace()->closeAllSubWindows();
    QCoreApplication::processEvents();
    QVERIFY(!m_Window->activeMdiChild());
    QCOMPARE(a->isEnabled(), !needsDocument);
}

void tst_MainWindow::windowMenu_data()
{
    QTest::addColumn<int>("documents");
    QTest::newRow("none") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("eleven") << 11;
}

void tst_MainWindow::windowMenu()
{
    QFETCH(int, documents);
    for (int i = 0; i < documents; ++i)
        QVERIFY(m_Window->DoFileOpen(makeWaveFile(QString("menu/doc%1.dvn").arg(i))));

    auto *menu = m_Window->findChild<QMenu *>("windowMenu");
    QVERIFY(menu);
    QMetaObject::invokeMethod(menu, "aboutToShow");

    auto *separator = m_Window->findChild<QAction *>("separatorAct");
    QCOMPARE(separator->isVisible(), documents > 0);

    QList<bool> checked;
    const QStringList entries = windowEntries(menu, &checked);
    QCOMPARE(entries.size(), documents);
    for (int i = 0; i < documents; ++i) {
        const QString name = QString("doc%1.dvn").arg(i);
        const QString expected = i < 9 ? QString("&%1. %2").arg(i + 1).arg(name) : QString("%1. %2").arg(i + 1).arg(name);
        QCOMPARE(entries.at(i), expected);
    }
    QCOMPARE(checked.count(true), documents > 0 ? 1 : 0);
    if (documents > 0) {
        // The last opened document is the active one; choosing the first entry activates its window.
        QCOMPARE(checked.indexOf(true), documents - 1);
        const QList<QAction *> actions = menu->actions();
        actions.at(actions.indexOf(separator) + 1)->trigger();
        QCOMPARE(m_Window->activeMdiChild()->userFriendlyFileName(), QString("doc0.dvn"));
        QMetaObject::invokeMethod(menu, "aboutToShow");
        checked.clear();
        windowEntries(menu, &checked);
        QCOMPARE(checked.count(true), 1);
        QCOMPARE(checked.indexOf(true), 0);
    }
}

void tst_MainWindow::dispatchBySuffix_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("opensDocument");
    QTest::addColumn<bool>("unknownType");
    QTest::newRow("wave file") << "a.dvn" << true << false;
    QTest::newRow("several dots") << "a.b.dvn" << true << false;
    QTest::newRow("upper-case suffix") << "TRACE.DVN" << true << false;
    QTest::newRow("upper-case vcd") << "trace.VCD" << false << false;
    QTest::newRow("mixed-case vcd") << "trace.Vcd" << false << false;
    QTest::newRow("compressed vcd") << "trace.vcd.gz" << false << true;
    QTest::newRow("no suffix") << "trace" << false << true;
}

void tst_MainWindow::dispatchBySuffix()
{
    QFETCH(QString, fileName);
    QFETCH(bool, opensDocument);
    QFETCH(bool, unknownType);
    const QString path = makeWaveFile("dispatch/" + fileName);

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

void tst_MainWindow::sameFileTwice_data()
{
    QTest::addColumn<QString>("secondPath");
    const QString absolute = m_Dir.filePath("twice/run.dvn");
    QTest::newRow("same path") << absolute;
    QTest::newRow("dot-dot") << m_Dir.filePath("twice/sub/../run.dvn");
    QTest::newRow("dot") << m_Dir.filePath("twice/./run.dvn");
    QTest::newRow("relative") << QDir::current().relativeFilePath(absolute);
    QTest::newRow("symbolic link") << m_Dir.filePath("twice/link.dvn");
}

void tst_MainWindow::sameFileTwice()
{
    QFETCH(QString, secondPath);
    const QString first = makeWaveFile("twice/run.dvn");
    QDir().mkpath(m_Dir.filePath("twice/sub"));
    QFile::link(first, m_Dir.filePath("twice/link.dvn"));
    const QString other = makeWaveFile("twice/other.dvn");

    QVERIFY(m_Window->DoFileOpen(first));
    QVERIFY(m_Window->DoFileOpen(other));
    QCOMPARE(m_Window->activeMdiChild()->userFriendlyFileName(), QString("other.dvn"));

    QVERIFY(!m_Window->DoFileOpen(secondPath));
    QCOMPARE(m_Window->workspace()->subWindowList().size(), 2);
    QCOMPARE(m_Window->activeMdiChild()->fileName(), QFileInfo(first).canonicalFilePath());
    QVERIFY(m_Messages.isEmpty());
}

void tst_MainWindow::cancelledDialogChangesNothing()
{
    int asked = 0;
    Dovlin_Dialogs::setOpenFilesHandler([&](QWidget *, const QString &, const QString &) {
        ++asked;
        return QStringList();
    });
    m_Window->findChild<QAction *>("openAct")->trigger();
    QCOMPARE(asked, 1);
    QVERIFY(m_Window->workspace()->subWindowList().isEmpty());
    QVERIFY(m_Messages.isEmpty());
}

void tst_MainWindow::openDialogOffersVcdFirst()
{
    QString caption, filter;
    const QString a = makeWaveFile("dialog/a.dvn");
    const QString b = makeWaveFile("dialog/b.dvn");
    Dovlin_Dialogs::setOpenFilesHandler([&](QWidget *, const QString &c, const QString &f) {
        caption = c;
        filter = f;
        return QStringList{a, b};
    });
    m_Window->findChild<QAction *>("openAct")->trigger();
    QCOMPARE(caption, QString("Open File"));
    QCOMPARE(filter, QString("VCD files (*.vcd);;Dovlin files (*.dvn);;All files(*.*)"));
    QCOMPARE(m_Window->workspace()->subWindowList().size(), 2);
}

void tst_MainWindow::filesOpenInOrder()
{
    const QString a = makeWaveFile("order/a.dvn");
    const QString b = makeWaveFile("order/b.dvn");
    const QString bad = m_Dir.filePath("order/notes.txt");
    m_Window->openFiles({b, bad, a});

    const QList<QMdiSubWindow *> windows = m_Window->workspace()->subWindowList();
    QCOMPARE(windows.size(), 2);
    QCOMPARE(qobject_cast<DovlinWidget *>(windows.at(0)->widget())->userFriendlyFileName(), QString("b.dvn"));
    QCOMPARE(qobject_cast<DovlinWidget *>(windows.at(1)->widget())->userFriendlyFileName(), QString("a.dvn"));
    QCOMPARE(m_Messages.size(), 1);
    QCOMPARE(m_Messages.first().text, QString("Unknown file type: %1").arg(bad));
}

void tst_MainWindow::droppedFilesOpen()
{
    const QString a = makeWaveFile("drop/a.dvn");
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

void tst_MainWindow::importOpensItsWaveFile()
{
    const QString vcd = m_Dir.filePath("import/run.1.VCD");
    QDir().mkpath(m_Dir.filePath("import"));
    QFile file(vcd);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("$timescale 1ns $end\n$scope module top $end\n$var wire 1 ! clk $end\n$upscope $end\n"
               "$enddefinitions $end\n#0\n0!\n#5\n1!\n#10\n");
    file.close();
    QVERIFY(m_Window->DoFileOpen(vcd));
    QVERIFY(m_Messages.isEmpty());
    DovlinWidget *document = m_Window->activeMdiChild();
    QVERIFY(document);
    QCOMPARE(document->fileName(), QFileInfo(m_Dir.filePath("import/run.1.dvn")).canonicalFilePath());
    QCOMPARE(document->endTime(), qint64(10));

    // A broken dump opens nothing and names the file.
    QFile broken(m_Dir.filePath("import/broken.vcd"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("$scope module top $end\n$var wire 1 ! clk $end\n");
    broken.close();
    QVERIFY(m_Window->DoFileOpen(broken.fileName()));
    QCOMPARE(m_Window->workspace()->subWindowList().size(), 1);
    QCOMPARE(m_Messages.size(), 1);
    QVERIFY(m_Messages.first().text.contains(broken.fileName()));
    QVERIFY(!QFile::exists(m_Dir.filePath("import/broken.dvn")));
}

void tst_MainWindow::progressDialogCancels()
{
    Dovlin_GuiImportReporter reporter(m_Window, "big.vcd");
    // Quick imports show nothing.
    QVERIFY(reporter.Progress(10, 100));
    QVERIFY(!m_Window->findChild<QProgressDialog *>());
    QTest::qWait(Dovlin_GuiImportReporter::m_ShowAfterMs + 50);
    QVERIFY(reporter.Progress(50, 100));
    auto *dialog = m_Window->findChild<QProgressDialog *>();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->value(), 500);
    QVERIFY(dialog->labelText().contains("big.vcd"));
    dialog->cancel();
    QVERIFY(!reporter.Progress(60, 100));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
