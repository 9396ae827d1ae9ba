#ifndef DOVLIN_MAINWINDOW_H
#define DOVLIN_MAINWINDOW_H

#include "Dovlin_VcdImport.h"

#include <QMainWindow>

class DovlinWidget;
class QAction;
class QMdiArea;
class QMenu;
class QToolBar;

class Dovlin_MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    Dovlin_MainWindow();
    ~Dovlin_MainWindow() override;

    bool DoFileOpen(QString path);
    void openFiles(const QStringList &paths);
    DovlinWidget *activeMdiChild() const;
    DovlinWidget *findMdiChild(const QString &path) const;
    QMdiArea *workspace() const { return m_Workspace; }
    // The wave file that holds dump as it is now: its up-to-date wave file, or one converted as on
    // opening. Empty when there is none, with the reason (left empty when the user cancelled).
    QString waveFileForReload(const QString &dump, QString &reason);
    // What the conversions of dumps may take; the defaults unless set.
    void SetImportLimits(const Dovlin_ImportLimits &limits) { m_ImportLimits = limits; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private Q_SLOTS:
    void open();
    void save();
    void saveAs();
    void print();
    void exportImage();
    void zoomIn();
    void zoomOut();
    void zoomFull();
    void zoomArea();
    void addCursor();
    void removeCursor();
    void nextTransition();
    void prevTransition();
    void modifySignals();
    void about();
    void updateMenus();
    void updateWindowMenu();
    void updateRecentMenu();
    void reload();
    DovlinWidget *createMdiChild();

private:
    void createActions();
    void createMenus();
    void createToolBars();
    void createStatusBar();
    // A new document window showing path, or null (and the reason) when the file does not load.
    // dump: the file it was converted from, if any.
    DovlinWidget *loadDocument(const QString &path, const QString &dump, QString &reason);
    bool openWaveFile(const QString &path, const QString &dump = QString());
    // A wave file of the cache folder whose dump is known opens as that dump's document, and
    // path becomes the dump's; false, opening nothing, otherwise.
    bool openCachedWaveFile(QString &path);
    // Converts dump with progress, its warnings shown after; the wave file's name, or empty with
    // the reason (left empty when the user cancelled).
    QString convertDump(const QString &dump, QString &reason);
    // convertAgain: even when the dump's wave file is up to date.
    bool importVcdFile(const QString &path, bool convertAgain);
    // The first start takes most of the screen; later ones the geometry the window was closed with.
    void restoreWindowSettings();
    // One document fills the workspace, more are tiled; each opens showing its whole time range.
    void placeNewDocument(DovlinWidget *child);

    QMdiArea *m_Workspace;
    Dovlin_ImportLimits m_ImportLimits;

    QMenu *m_FileMenu = nullptr;
    QMenu *m_RecentMenu = nullptr;
    QMenu *m_WaveMenu = nullptr;
    QMenu *m_WindowMenu = nullptr;
    QMenu *m_HelpMenu = nullptr;
    QToolBar *m_FileToolBar = nullptr;

    QAction *m_OpenAct = nullptr;
    QAction *m_ReloadAct = nullptr;
    QAction *m_AlwaysReloadAct = nullptr;
    QAction *m_SaveAct = nullptr;
    QAction *m_SaveAsAct = nullptr;
    QAction *m_CloseAct = nullptr;
    QAction *m_CloseAllAct = nullptr;
    QAction *m_PrintAct = nullptr;
    QAction *m_ExportAct = nullptr;
    QAction *m_ExitAct = nullptr;
    QAction *m_ZoomInAct = nullptr;
    QAction *m_ZoomOutAct = nullptr;
    QAction *m_ZoomFullAct = nullptr;
    QAction *m_ZoomAreaAct = nullptr;
    QAction *m_AddCursorAct = nullptr;
    QAction *m_RemoveCursorAct = nullptr;
    QAction *m_NextTransAct = nullptr;
    QAction *m_PrevTransAct = nullptr;
    QAction *m_GoToTimeAct = nullptr;
    QAction *m_SignalsAct = nullptr;
    QMenu *m_SetBookmarkMenu = nullptr;
    QMenu *m_GotoBookmarkMenu = nullptr;
    QAction *m_TileAct = nullptr;
    QAction *m_CascadeAct = nullptr;
    QAction *m_NextAct = nullptr;
    QAction *m_PreviousAct = nullptr;
    QAction *m_SeparatorAct = nullptr;
    QAction *m_AboutAct = nullptr;
};

#endif
