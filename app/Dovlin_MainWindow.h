#ifndef DOVLIN_MAINWINDOW_H
#define DOVLIN_MAINWINDOW_H

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

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private Q_SLOTS:
    void open();
    void save();
    void saveAs();
    void print();
    void zoomIn();
    void zoomOut();
    void zoomFull();
    void zoomArea();
    void addCursor();
    void removeCursor();
    void modifySignals();
    void about();
    void updateMenus();
    void updateWindowMenu();
    DovlinWidget *createMdiChild();

private:
    void createActions();
    void createMenus();
    void createToolBars();
    void createStatusBar();
    // A new document window showing path, or null (and the reason) when the file does not load.
    DovlinWidget *loadDocument(const QString &path, QString &reason);
    bool openWaveFile(const QString &path);
    // convertAgain: even when the dump's wave file is up to date.
    bool importVcdFile(const QString &path, bool convertAgain);

    QMdiArea *m_Workspace;

    QMenu *m_FileMenu = nullptr;
    QMenu *m_WaveMenu = nullptr;
    QMenu *m_WindowMenu = nullptr;
    QMenu *m_HelpMenu = nullptr;
    QToolBar *m_FileToolBar = nullptr;

    QAction *m_OpenAct = nullptr;
    QAction *m_SaveAct = nullptr;
    QAction *m_SaveAsAct = nullptr;
    QAction *m_CloseAct = nullptr;
    QAction *m_CloseAllAct = nullptr;
    QAction *m_PrintAct = nullptr;
    QAction *m_ExitAct = nullptr;
    QAction *m_ZoomInAct = nullptr;
    QAction *m_ZoomOutAct = nullptr;
    QAction *m_ZoomFullAct = nullptr;
    QAction *m_ZoomAreaAct = nullptr;
    QAction *m_AddCursorAct = nullptr;
    QAction *m_RemoveCursorAct = nullptr;
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
