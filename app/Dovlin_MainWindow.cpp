#include "Dovlin_MainWindow.h"

#include "Dovlin_AboutDialog.h"
#include "Dovlin_Commands.h"
#include "Dovlin_Dialogs.h"
#include "Dovlin_ExportDialog.h"
#include "Dovlin_GuiImportReporter.h"
#include "Dovlin_Settings.h"
#include "Dovlin_FstReader.h"
#include "Dovlin_VcdImport.h"
#include "DovlinWidget.h"
#include "Dovlin_NameWidget.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include <functional>

Dovlin_MainWindow::Dovlin_MainWindow()
    : m_Workspace(new QMdiArea(this))
{
    setCentralWidget(m_Workspace);
    connect(m_Workspace, &QMdiArea::subWindowActivated, this, &Dovlin_MainWindow::updateMenus);

    createActions();
    createMenus();
    createToolBars();
    createStatusBar();
    updateMenus();

    setAcceptDrops(true);
    setWindowTitle(tr("Dovlin - Academic Edition"));
    restoreWindowSettings();
}

void Dovlin_MainWindow::restoreWindowSettings()
{
    Dovlin_Settings settings;
    if (!restoreGeometry(settings.value(QStringLiteral("mainWindow/geometry")).toByteArray())) {
        const QRect available = screen()->availableGeometry();
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, available.size() * 0.8, available));
    }
    restoreState(settings.value(QStringLiteral("mainWindow/state")).toByteArray());
}

Dovlin_MainWindow::~Dovlin_MainWindow()
{
    // The workspace announces its windows going away while QWidget tears us down; by then
    // this object, and the actions' handlers that call it, can no longer answer.
    disconnect(m_Workspace, nullptr, nullptr, nullptr);
}

void Dovlin_MainWindow::createActions()
{
    auto make = [this](const QString &name, const QString &text, const QString &icon, const QString &shortcut,
                       const QString &statusTip) {
        QAction *action = icon.isEmpty() ? new QAction(text, this) : new QAction(QIcon(icon), text, this);
        action->setObjectName(name);
        if (!shortcut.isEmpty())
            action->setShortcut(QKeySequence(shortcut));
        action->setStatusTip(statusTip);
        return action;
    };

    m_OpenAct = make("openAct", tr("&Open..."), ":/images/file_open.png", tr("Ctrl+O"), tr("Open an existing file"));
    connect(m_OpenAct, &QAction::triggered, this, &Dovlin_MainWindow::open);

    m_ReloadAct = make("reloadAct", tr("&Reload"), ":/images/reload.png", tr("F5"),
                       tr("Read the active window's file again, keeping the view"));
    connect(m_ReloadAct, &QAction::triggered, this, &Dovlin_MainWindow::reload);

    m_AlwaysReloadAct = make("alwaysReloadAct", tr("Al&ways Reload Changed Files"), QString(), QString(),
                             tr("Reload a document whose file changed on disk without asking"));
    m_AlwaysReloadAct->setCheckable(true);
    connect(m_AlwaysReloadAct, &QAction::toggled, this, [](bool on) { Dovlin_Settings().setAlwaysReload(on); });

    m_SaveAct = make("saveAct", tr("&Save"), QString(), tr("Ctrl+S"), tr("Save the active wave file"));
    connect(m_SaveAct, &QAction::triggered, this, &Dovlin_MainWindow::save);

    m_SaveAsAct = make("saveAsAct", tr("Save &As..."), QString(), tr("Ctrl+Shift+S"),
                       tr("Save the active wave file under a new name"));
    connect(m_SaveAsAct, &QAction::triggered, this, &Dovlin_MainWindow::saveAs);

    m_CloseAct = make("closeAct", tr("&Close"), QString(), tr("Ctrl+F4"), tr("Close the active window"));
    connect(m_CloseAct, &QAction::triggered, m_Workspace, &QMdiArea::closeActiveSubWindow);

    m_CloseAllAct = make("closeAllAct", tr("Close A&ll"), QString(), QString(), tr("Close all the windows"));
    connect(m_CloseAllAct, &QAction::triggered, m_Workspace, &QMdiArea::closeAllSubWindows);

    m_PrintAct = make("printAct", tr("&Print"), ":/images/print.png", tr("Ctrl+P"), tr("Print the active wave."));
    connect(m_PrintAct, &QAction::triggered, this, &Dovlin_MainWindow::print);

    m_ExportAct = make("exportAct", tr("&Export Image..."), QString(), tr("Ctrl+E"),
                       tr("Write the active window's view as a PNG or SVG picture"));
    connect(m_ExportAct, &QAction::triggered, this, &Dovlin_MainWindow::exportImage);

    m_ExitAct = make("exitAct", tr("E&xit"), QString(), tr("Alt+F4"), tr("Exit the application"));
    connect(m_ExitAct, &QAction::triggered, qApp, &QApplication::closeAllWindows);

    m_ZoomInAct = Dovlin_Commands::Make(Dovlin_Commands::ZoomIn, this, &Dovlin_MainWindow::zoomIn);
    m_ZoomOutAct = Dovlin_Commands::Make(Dovlin_Commands::ZoomOut, this, &Dovlin_MainWindow::zoomOut);
    m_ZoomFullAct = Dovlin_Commands::Make(Dovlin_Commands::ZoomFull, this, &Dovlin_MainWindow::zoomFull);
    m_ZoomAreaAct = Dovlin_Commands::Make(Dovlin_Commands::ZoomArea, this, &Dovlin_MainWindow::zoomArea);
    m_AddCursorAct = Dovlin_Commands::Make(Dovlin_Commands::AddCursor, this, &Dovlin_MainWindow::addCursor);
    m_RemoveCursorAct = Dovlin_Commands::Make(Dovlin_Commands::RemoveCursor, this, &Dovlin_MainWindow::removeCursor);
    m_NextTransAct = Dovlin_Commands::Make(Dovlin_Commands::NextTransition, this, &Dovlin_MainWindow::nextTransition);
    m_PrevTransAct = Dovlin_Commands::Make(Dovlin_Commands::PrevTransition, this, &Dovlin_MainWindow::prevTransition);
    m_GoToTimeAct = make("goToTimeAct", tr("Go To Ti&me..."), QString(), tr("Ctrl+G"),
                         tr("Move the cursor to a time you type"));
    connect(m_GoToTimeAct, &QAction::triggered, this, [this] {
        if (DovlinWidget *child = activeMdiChild())
            child->goToTime();
    });

    m_SignalsAct = make("signalsAct", tr("Show &Signals..."), QString(), QString(),
                        tr("Choose the signals the active window shows"));
    connect(m_SignalsAct, &QAction::triggered, this, &Dovlin_MainWindow::modifySignals);

    m_TileAct = make("tileAct", tr("&Tile"), ":/images/window_split_ver.png", QString(), tr("Tile the windows"));
    connect(m_TileAct, &QAction::triggered, m_Workspace, &QMdiArea::tileSubWindows);

    m_CascadeAct = make("cascadeAct", tr("&Cascade"), ":/images/windows.png", QString(), tr("Cascade the windows"));
    connect(m_CascadeAct, &QAction::triggered, m_Workspace, &QMdiArea::cascadeSubWindows);

    m_NextAct = make("nextAct", tr("Ne&xt"), QString(), tr("Ctrl+F6"), tr("Move the focus to the next window"));
    connect(m_NextAct, &QAction::triggered, m_Workspace, &QMdiArea::activateNextSubWindow);

    m_PreviousAct = make("previousAct", tr("Pre&vious"), QString(), tr("Ctrl+Shift+F6"),
                         tr("Move the focus to the previous window"));
    connect(m_PreviousAct, &QAction::triggered, m_Workspace, &QMdiArea::activatePreviousSubWindow);

    m_SeparatorAct = new QAction(this);
    m_SeparatorAct->setObjectName("separatorAct");
    m_SeparatorAct->setSeparator(true);

    m_AboutAct = make("aboutAct", tr("&About"), QString(), QString(), tr("Show the application's About box"));
    connect(m_AboutAct, &QAction::triggered, this, &Dovlin_MainWindow::about);
}

void Dovlin_MainWindow::createMenus()
{
    m_FileMenu = menuBar()->addMenu(tr("&File"));
    m_FileMenu->setObjectName("fileMenu");
    m_FileMenu->addAction(m_OpenAct);
    m_RecentMenu = m_FileMenu->addMenu(tr("Open Rece&nt"));
    m_RecentMenu->setObjectName("recentMenu");
    connect(m_RecentMenu, &QMenu::aboutToShow, this, &Dovlin_MainWindow::updateRecentMenu);
    m_FileMenu->addAction(m_ReloadAct);
    m_FileMenu->addAction(m_AlwaysReloadAct);
    // The bar of a changed file can turn it on too.
    connect(m_FileMenu, &QMenu::aboutToShow, this,
            [this] { m_AlwaysReloadAct->setChecked(Dovlin_Settings().alwaysReload()); });
    m_FileMenu->addAction(m_SaveAct);
    m_FileMenu->addAction(m_SaveAsAct);
    m_FileMenu->addAction(m_CloseAct);
    m_FileMenu->addAction(m_CloseAllAct);
    m_FileMenu->addSeparator();
    m_FileMenu->addAction(m_ExportAct);
    m_FileMenu->addAction(m_PrintAct);
    m_FileMenu->addSeparator();
    m_FileMenu->addAction(m_ExitAct);

    m_WaveMenu = menuBar()->addMenu(tr("W&ave"));
    m_WaveMenu->addAction(m_ZoomInAct);
    m_WaveMenu->addAction(m_ZoomOutAct);
    m_WaveMenu->addAction(m_ZoomFullAct);
    m_WaveMenu->addAction(m_ZoomAreaAct);
    m_WaveMenu->addSeparator();
    m_WaveMenu->addAction(m_AddCursorAct);
    m_WaveMenu->addAction(m_RemoveCursorAct);
    m_WaveMenu->addSeparator();
    m_WaveMenu->addAction(m_NextTransAct);
    m_WaveMenu->addAction(m_PrevTransAct);
    m_WaveMenu->addAction(m_GoToTimeAct);
    m_WaveMenu->addSeparator();
    // Bookmark k (1 to 10) is set with Ctrl+Shift and gone to with Ctrl and its digit, 0 for 10.
    m_SetBookmarkMenu = m_WaveMenu->addMenu(tr("Set Boo&kmark"));
    m_SetBookmarkMenu->setObjectName("setBookmarkMenu");
    m_GotoBookmarkMenu = m_WaveMenu->addMenu(tr("&Go to Bookmark"));
    m_GotoBookmarkMenu->setObjectName("gotoBookmarkMenu");
    for (int k = 1; k <= 10; ++k) {
        QAction *set = m_SetBookmarkMenu->addAction(tr("Bookmark &%1").arg(k));
        set->setShortcut(QKeySequence(QString("Ctrl+Shift+%1").arg(k % 10)));
        connect(set, &QAction::triggered, this, [this, k] {
            if (DovlinWidget *child = activeMdiChild())
                child->setBookmark(k - 1);
        });
        QAction *go = m_GotoBookmarkMenu->addAction(tr("Bookmark &%1").arg(k));
        go->setShortcut(QKeySequence(QString("Ctrl+%1").arg(k % 10)));
        connect(go, &QAction::triggered, this, [this, k] {
            if (DovlinWidget *child = activeMdiChild())
                child->gotoBookmark(k - 1);
        });
    }
    m_WaveMenu->addSeparator();
    m_WaveMenu->addAction(m_SignalsAct);

    // Finding signals and values, and the tree commands, act on the active document.
    {
        auto command = [this](QMenu *menu, const QString &name, const QString &text, const QString &shortcut,
                              const std::function<void(DovlinWidget *)> &run) {
            QAction *action = menu->addAction(text);
            action->setObjectName(name);
            if (!shortcut.isEmpty())
                action->setShortcut(QKeySequence(shortcut));
            connect(action, &QAction::triggered, this, [this, run] {
                if (DovlinWidget *child = activeMdiChild())
                    run(child);
            });
            connect(m_Workspace, &QMdiArea::subWindowActivated, action,
                    [this, action] { action->setEnabled(activeMdiChild() != nullptr); });
            action->setEnabled(false);
            return action;
        };
        QMenu *edit = new QMenu(tr("&Edit"), this);
        menuBar()->insertMenu(m_WaveMenu->menuAction(), edit);
        command(edit, "findSignalAct", tr("Find &Signal"), tr("Ctrl+L"), &DovlinWidget::findSignal);
        command(edit, "findValueAct", tr("Find &Value"), tr("Ctrl+Shift+F"), &DovlinWidget::findValue);
        command(edit, "findNextAct", tr("Find &Next"), tr("F3"), &DovlinWidget::findNext);
        command(edit, "findPreviousAct", tr("Find &Previous"), tr("Shift+F3"), &DovlinWidget::findPrevious);
        m_WaveMenu->addSeparator();
        command(m_WaveMenu, "collapseAllAct", tr("&Collapse All"), QString(),
                [](DovlinWidget *child) { child->nameWidget()->collapseAll(); });
        command(m_WaveMenu, "expandAllAct", tr("&Expand All"), QString(),
                [](DovlinWidget *child) { child->nameWidget()->expandAll(); });
        command(m_WaveMenu, "expandBitsAct", tr("Expand Bi&ts"), QString(),
                [](DovlinWidget *child) { child->nameWidget()->expandBits(); });
        m_WaveMenu->addSeparator();
        command(m_WaveMenu, "showListAct", tr("Show Wave &List"), tr("Ctrl+Shift+L"), &DovlinWidget::toggleList);
        command(m_WaveMenu, "addToListAct", tr("A&dd to List"), QString(), &DovlinWidget::addToList);
        // After Export Image: the view files are pictures of the arrangement, in words.
        QAction *exportView = command(m_FileMenu, "exportViewAct", tr("Export &View..."), QString(), &DovlinWidget::exportViewFile);
        QAction *importView = command(m_FileMenu, "importViewAct", tr("&Import View..."), QString(), &DovlinWidget::importViewFile);
        m_FileMenu->insertActions(m_PrintAct, {exportView, importView});
    }

    m_WindowMenu = menuBar()->addMenu(tr("&Window"));
    m_WindowMenu->setObjectName("windowMenu");
    connect(m_WindowMenu, &QMenu::aboutToShow, this, &Dovlin_MainWindow::updateWindowMenu);

    menuBar()->addSeparator();

    m_HelpMenu = menuBar()->addMenu(tr("&Help"));
    m_HelpMenu->addAction(m_AboutAct);
}

void Dovlin_MainWindow::createToolBars()
{
    m_FileToolBar = addToolBar(tr("File"));
    m_FileToolBar->setObjectName("fileToolBar");
    m_FileToolBar->addAction(m_OpenAct);
    m_FileToolBar->addAction(m_ReloadAct);
    m_FileToolBar->addSeparator();
    m_FileToolBar->addAction(m_ZoomInAct);
    m_FileToolBar->addAction(m_ZoomOutAct);
    m_FileToolBar->addAction(m_ZoomFullAct);
    m_FileToolBar->addSeparator();
    m_FileToolBar->addAction(m_AddCursorAct);
    m_FileToolBar->addAction(m_RemoveCursorAct);
    m_FileToolBar->addSeparator();
    m_FileToolBar->addAction(m_PrevTransAct);
    m_FileToolBar->addAction(m_NextTransAct);
}

void Dovlin_MainWindow::createStatusBar()
{
    statusBar()->showMessage(tr("Ready"));
}

void Dovlin_MainWindow::updateMenus()
{
    const bool hasDocument = activeMdiChild() != nullptr;
    for (QAction *action : {m_ReloadAct, m_ExportAct, m_CloseAct, m_CloseAllAct, m_PrintAct, m_ZoomInAct, m_ZoomOutAct, m_ZoomFullAct,
                            m_ZoomAreaAct, m_AddCursorAct, m_RemoveCursorAct, m_NextTransAct, m_PrevTransAct, m_GoToTimeAct,
                            m_TileAct, m_CascadeAct, m_NextAct, m_PreviousAct, m_SaveAct, m_SaveAsAct, m_SignalsAct})
        action->setEnabled(hasDocument);
    m_SetBookmarkMenu->setEnabled(hasDocument);
    m_GotoBookmarkMenu->setEnabled(hasDocument);
    m_SeparatorAct->setVisible(hasDocument);
}

void Dovlin_MainWindow::updateWindowMenu()
{
    m_WindowMenu->clear();
    m_WindowMenu->addAction(m_TileAct);
    m_WindowMenu->addAction(m_CascadeAct);
    m_WindowMenu->addSeparator();
    m_WindowMenu->addAction(m_NextAct);
    m_WindowMenu->addAction(m_PreviousAct);
    m_WindowMenu->addAction(m_SeparatorAct);

    const QList<QMdiSubWindow *> windows = m_Workspace->subWindowList();
    m_SeparatorAct->setVisible(!windows.isEmpty());

    DovlinWidget *active = activeMdiChild();
    for (int i = 0; i < windows.size(); ++i) {
        auto *child = qobject_cast<DovlinWidget *>(windows.at(i)->widget());
        if (!child)
            continue;
        const QString text = i < 9 ? tr("&%1. %2").arg(i + 1).arg(child->userFriendlyFileName())
                                   : tr("%1. %2").arg(i + 1).arg(child->userFriendlyFileName());
        QAction *action = m_WindowMenu->addAction(text);
        action->setCheckable(true);
        action->setChecked(child == active);
        QPointer<QMdiSubWindow> window = windows.at(i);
        connect(action, &QAction::triggered, this, [this, window] {
            if (window)
                m_Workspace->setActiveSubWindow(window);
        });
    }
}

void Dovlin_MainWindow::updateRecentMenu()
{
    m_RecentMenu->clear();
    const QStringList files = Dovlin_Settings().recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString &path = files.at(i);
        const QString name = QFileInfo(path).fileName();
        QAction *action = m_RecentMenu->addAction(i < 9 ? tr("&%1. %2").arg(i + 1).arg(name)
                                                        : tr("1&0. %1").arg(name));
        action->setStatusTip(QDir::toNativeSeparators(path));
        action->setToolTip(QDir::toNativeSeparators(path));
        action->setData(path);
        action->setEnabled(QFileInfo(path).isFile());
        connect(action, &QAction::triggered, this, [this, path] { DoFileOpen(path); });
    }
    m_RecentMenu->addSeparator();
    QAction *clear = m_RecentMenu->addAction(tr("&Clear List"));
    clear->setObjectName("clearRecentAct");
    clear->setEnabled(!files.isEmpty());
    connect(clear, &QAction::triggered, this, [] { Dovlin_Settings().clearRecentFiles(); });
}

DovlinWidget *Dovlin_MainWindow::activeMdiChild() const
{
    // The current sub-window stays current while a dialog has the focus, unlike the active one.
    if (QMdiSubWindow *window = m_Workspace->currentSubWindow())
        return qobject_cast<DovlinWidget *>(window->widget());
    return nullptr;
}

DovlinWidget *Dovlin_MainWindow::findMdiChild(const QString &path) const
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return nullptr;
    for (QMdiSubWindow *window : m_Workspace->subWindowList()) {
        auto *child = qobject_cast<DovlinWidget *>(window->widget());
        if (!child)
            continue;
        if (child->fileName() == canonical || QFileInfo(child->fileName()).canonicalFilePath() == canonical)
            return child;
    }
    return nullptr;
}

DovlinWidget *Dovlin_MainWindow::createMdiChild()
{
    auto *child = new DovlinWidget;
    child->setDumpConverter([this](const QString &dump, QString &reason) { return waveFileForReload(dump, reason); });
    connect(child, &DovlinWidget::statusMessage, statusBar(), [this](const QString &text) {
        statusBar()->showMessage(text);
    });
    m_Workspace->addSubWindow(child);
    return child;
}

void Dovlin_MainWindow::open()
{
    Dovlin_Settings settings;
    const QStringList paths =
        Dovlin_Dialogs::getOpenFileNames(this, tr("Open File"),
                                         tr("Dumps (*.vcd *.fst);;Dovlin files (*.dvn);;All files(*.*)"),
                                         settings.openFolder());
    if (!paths.isEmpty())
        settings.setOpenFolder(QFileInfo(paths.first()).absolutePath());
    openFiles(paths);
}

void Dovlin_MainWindow::openFiles(const QStringList &paths)
{
    for (const QString &path : paths)
        DoFileOpen(path);
}

bool Dovlin_MainWindow::DoFileOpen(QString path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool dump = suffix == QLatin1String("vcd") || suffix == QLatin1String("fst");
    // A dump is shown through its wave file, beside it or cached, so the window of that file is
    // the dump's window.
    const QStringList waveFiles = dump ? QStringList{Dovlin_VcdImport::WaveFileFor(path),
                                                     Dovlin_VcdImport::CachedWaveFileFor(path)}
                                       : QStringList{path};
    bool convertAgain = false;
    for (const QString &shown : waveFiles) {
        DovlinWidget *existing = findMdiChild(shown);
        if (!existing)
            continue;
        auto *window = qobject_cast<QMdiSubWindow *>(existing->parentWidget());
        // A dump that is no longer the one its window shows gives the window up to a new
        // conversion, unless the user keeps the window open when asked to save it.
        if (!dump || existing->showsDump(path) || !window->close()) {
            m_Workspace->setActiveSubWindow(window);
            Dovlin_Settings().addRecentFile(path);
            return false;
        }
        convertAgain = true;
        break;
    }

    bool opened = false;
    if (suffix == QLatin1String("dvn"))
        opened = openCachedWaveFile(path) || openWaveFile(path);
    else if (dump)
        opened = importVcdFile(path, convertAgain);
    else
        Dovlin_Dialogs::critical(this, tr("Error"), tr("Unknown file type: %1").arg(path));
    if (opened)
        Dovlin_Settings().addRecentFile(path);
    return true;
}

DovlinWidget *Dovlin_MainWindow::loadDocument(const QString &path, const QString &dump, QString &reason)
{
    DovlinWidget *child = createMdiChild();
    child->setDumpFile(dump);
    if (child->loadFile(path)) {
        placeNewDocument(child);
        return child;
    }
    reason = child->errorString();
    // The sub-window goes at once so that no empty document is left behind.
    QMdiSubWindow *window = qobject_cast<QMdiSubWindow *>(child->parentWidget());
    m_Workspace->removeSubWindow(window);
    delete window;
    return nullptr;
}

void Dovlin_MainWindow::placeNewDocument(DovlinWidget *child)
{
    // Documents still showing their whole time range go on showing it in the size tiling gives them.
    QList<DovlinWidget *> whole;
    const QList<QMdiSubWindow *> windows = m_Workspace->subWindowList();
    for (QMdiSubWindow *window : windows) {
        auto *other = qobject_cast<DovlinWidget *>(window->widget());
        if (other && other != child && other->showsWholeRange())
            whole << other;
    }
    auto *window = qobject_cast<QMdiSubWindow *>(child->parentWidget());
    if (windows.size() == 1) {
        window->showMaximized();
    } else {
        window->show();
        m_Workspace->tileSubWindows();
    }
    // A canvas keeps its scale when it is resized: the ranges are fitted to the final sizes.
    child->showFirstView();
    for (DovlinWidget *document : std::as_const(whole))
        document->zoomFull();
}

bool Dovlin_MainWindow::openCachedWaveFile(QString &path)
{
    if (!Dovlin_VcdImport::IsCachedWaveFile(path))
        return false;
    Dovlin_Settings settings;
    QString dump = settings.cachedDump(path);
    // One converted before its dump was recorded may still be that of a dump opened lately.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QStringList recentFiles = settings.recentFiles();
    for (auto recent = recentFiles.cbegin(); dump.isEmpty() && recent != recentFiles.cend(); ++recent)
        if (QFileInfo(Dovlin_VcdImport::CachedWaveFileFor(*recent)).canonicalFilePath() == canonical)
            dump = *recent;
    if (dump.isEmpty() || !QFileInfo(dump).isFile())
        return false;
    QString reason;
    if (!loadDocument(path, dump, reason))
        return false;
    statusBar()->showMessage(tr("Opened %1 from its wave file %2")
                                 .arg(QDir::toNativeSeparators(dump), QDir::toNativeSeparators(path)));
    // Open Recent lists the dump, which the document shows.
    path = dump;
    return true;
}

bool Dovlin_MainWindow::openWaveFile(const QString &path, const QString &dump)
{
    QString reason;
    if (loadDocument(path, dump, reason)) {
        statusBar()->showMessage(tr("Opened %1").arg(QDir::toNativeSeparators(path)));
        return true;
    }
    const QString message = tr("Cannot open %1:\n%2").arg(QDir::toNativeSeparators(path), reason);
    statusBar()->showMessage(QString(message).replace('\n', ' '));
    Dovlin_Dialogs::critical(this, tr("Error"), message);
    return false;
}

QString Dovlin_MainWindow::convertDump(const QString &dump, QString &reason)
{
    const QString target = Dovlin_VcdImport::WaveFileToWrite(dump);
    Dovlin_GuiImportReporter reporter(this, dump, target);
    Dovlin_VcdImport import(&reporter);
    import.SetLimits(m_ImportLimits);
    if (!import.Convert(dump, target)) {
        reason = import.Cancelled() ? QString() : import.ErrorString();
        return QString();
    }
    reporter.ShowWarnings();
    // A cached wave file's name does not lead back to its dump: opened as such, it is found here.
    if (Dovlin_VcdImport::IsCachedWaveFile(import.WaveFileName()))
        Dovlin_Settings().setCachedDump(import.WaveFileName(), dump);
    return import.WaveFileName();
}

QString Dovlin_MainWindow::waveFileForReload(const QString &dump, QString &reason)
{
    const QString wave = Dovlin_VcdImport::UpToDateWaveFile(dump);
    return wave.isEmpty() ? convertDump(dump, reason) : wave;
}

bool Dovlin_MainWindow::importVcdFile(const QString &path, bool convertAgain)
{
    // A wave file converted from the dump as it is already holds it; one that does not load is made again.
    const QString wave = convertAgain ? QString() : Dovlin_VcdImport::UpToDateWaveFile(path);
    if (!wave.isEmpty()) {
        QString reason;
        if (loadDocument(wave, path, reason)) {
            statusBar()->showMessage(tr("Opened %1: it holds %2 as it is")
                                         .arg(QDir::toNativeSeparators(wave), QDir::toNativeSeparators(path)));
            return true;
        }
    }
    QString reason;
    const QString target = convertDump(path, reason);
    const QString name = QDir::toNativeSeparators(path);
    if (target.isEmpty()) {
        if (reason.isEmpty()) {
            statusBar()->showMessage(tr("Import of %1 cancelled").arg(name));
            return false;
        }
        statusBar()->showMessage(tr("Cannot import %1: %2").arg(name, reason));
        // One box: the warnings met on the way matter no more once the import failed.
        QString message = tr("Cannot open %1:\n%2").arg(name, reason);
        if (!Dovlin_VcdImport::StartsLikeVcd(path) && !Dovlin_FstReader::Recognises(path))
            message += tr("\nIt does not look like a VCD or an FST file.");
        Dovlin_Dialogs::critical(this, tr("Dovlin"), message);
        return false;
    }
    if (!openWaveFile(target, path))
        return false;
    const QString converted = tr("Converted %1 to %2").arg(name, QDir::toNativeSeparators(target));
    statusBar()->showMessage(target == Dovlin_VcdImport::WaveFileFor(path)
                                 ? converted
                                 : tr("%1: the wave file cannot be written next to the dump").arg(converted));
    return true;
}

void Dovlin_MainWindow::closeEvent(QCloseEvent *event)
{
    m_Workspace->closeAllSubWindows();
    if (activeMdiChild()) {
        event->ignore();
        return;
    }
    Dovlin_Settings settings;
    settings.setValue(QStringLiteral("mainWindow/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("mainWindow/state"), saveState());
    event->accept();
}

void Dovlin_MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void Dovlin_MainWindow::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    openFiles(paths);
}

void Dovlin_MainWindow::save()
{
    if (DovlinWidget *child = activeMdiChild())
        child->save();
}

void Dovlin_MainWindow::saveAs()
{
    if (DovlinWidget *child = activeMdiChild())
        child->saveAs();
}

void Dovlin_MainWindow::modifySignals()
{
    if (DovlinWidget *child = activeMdiChild())
        child->modifySignals();
}

void Dovlin_MainWindow::reload()
{
    if (DovlinWidget *child = activeMdiChild())
        child->reload();
}

void Dovlin_MainWindow::print()
{
    if (DovlinWidget *child = activeMdiChild())
        child->print();
}

void Dovlin_MainWindow::exportImage()
{
    DovlinWidget *child = activeMdiChild();
    if (!child)
        return;
    QString path = Dovlin_Dialogs::getSaveFileName(this, tr("PNG images (*.png);;SVG drawings (*.svg)"),
                                                   child->suggestedPath(QStringLiteral("png")), QStringLiteral("png"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1String(".png");
    const bool svg = QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0;
    Dovlin_ExportDialog options(this, !svg, child->devicePixelRatioF());
    if (Dovlin_Dialogs::exec(&options) != QDialog::Accepted)
        return;
    const QString name = QDir::toNativeSeparators(path);
    if (child->exportImage(path, options.light(), options.ratio())) {
        statusBar()->showMessage(tr("Exported %1").arg(name));
        return;
    }
    statusBar()->showMessage(tr("Cannot export %1: %2").arg(name, child->errorString()));
    Dovlin_Dialogs::critical(this, tr("Dovlin"), tr("Cannot export %1:\n%2").arg(name, child->errorString()));
}

void Dovlin_MainWindow::zoomIn()
{
    if (DovlinWidget *child = activeMdiChild())
        child->zoomIn();
}

void Dovlin_MainWindow::zoomOut()
{
    if (DovlinWidget *child = activeMdiChild())
        child->zoomOut();
}

void Dovlin_MainWindow::zoomFull()
{
    if (DovlinWidget *child = activeMdiChild())
        child->zoomFull();
}

void Dovlin_MainWindow::zoomArea()
{
    if (DovlinWidget *child = activeMdiChild())
        child->zoomArea();
}

void Dovlin_MainWindow::addCursor()
{
    if (DovlinWidget *child = activeMdiChild())
        child->addCursor();
}

void Dovlin_MainWindow::removeCursor()
{
    if (DovlinWidget *child = activeMdiChild())
        child->removeCursor();
}

void Dovlin_MainWindow::nextTransition()
{
    if (DovlinWidget *child = activeMdiChild())
        child->nextTrans();
}

void Dovlin_MainWindow::prevTransition()
{
    if (DovlinWidget *child = activeMdiChild())
        child->prevTrans();
}

void Dovlin_MainWindow::about()
{
    Dovlin_AboutDialog dialog(this);
    Dovlin_Dialogs::exec(&dialog);
}
