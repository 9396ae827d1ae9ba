#ifndef DOVLINWIDGET_H
#define DOVLINWIDGET_H

#include "Dovlin_CanvasDocument.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_ViewState.h"

#include <QDateTime>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class Dovlin_ExtraWidget;
class Dovlin_ListWidget;
class Dovlin_NameWidget;
class Dovlin_RowsWidget;
class Dovlin_ShapeWidget;
class Dovlin_SignalFilter;
class Dovlin_ValueBar;
class QFileSystemWatcher;
class QFixedSplitter;
class QLabel;
class QPrinter;
class QSplitter;
class QTabBar;
class QTimer;

// The document window of one wave file: its model, the name tree, the cursor time bar and the
// wave canvas, and the view state they share (cursors, bookmarks, zoom-area mode).
class DovlinWidget : public QWidget, public Dovlin_CanvasDocument
{
    Q_OBJECT

public:
    static constexpr int m_MaxCursor = Dovlin_ViewState::m_MaxCursor;
    static constexpr int m_nBookmark = Dovlin_SavedView::m_nBookmark;

    explicit DovlinWidget(QWidget *parent = nullptr);
    ~DovlinWidget() override;

    QSize sizeHint() const override;

    // Loads a wave file; the document then saves in its format (the newest for one converted
    // from a dump).
    bool loadFile(QString path);
    // Shows the view saved with the file (the window's time range, cursors and bookmarks), or the
    // whole file when it keeps none: once the document has its size.
    void showFirstView();
    // False once the wave file changed on disk under the open document (see
    // Dovlin_FileManager::FileIntact); the first time, the document hides its waveforms, shows why
    // with a way to reload, and tells the user.
    bool checkFile();
    bool isFileLost() const { return m_FileLost; }
    // Saves in the document's format, or in the one given (Dovlin_WaveFormat), with the view.
    bool saveFile(QString path) { return saveFile(path, m_Format); }
    bool saveFile(QString path, int format);
    int format() const { return m_Format; }
    bool maybeSave();
    void setModified(bool modified);
    bool isModified() const { return m_Modified; }
    QString errorString() const { return m_ErrorString; }
    QString fileName() const { return m_FileName; }
    // The dump the wave file was converted from; empty for a wave file opened as such.
    QString dumpFile() const { return m_DumpFile; }
    void setDumpFile(const QString &path) { m_DumpFile = path; }
    // How a reload turns the dump into a wave file: its path, or empty with the reason (empty
    // too when the user cancelled).
    using DumpConverter = std::function<QString(const QString &dump, QString &reason)>;
    void setDumpConverter(DumpConverter converter) { m_DumpConverter = std::move(converter); }
    // The document's wave file was converted from the dump as the dump is now.
    bool showsDump(const QString &dump) const;
    // The file the document reloads and watches: its dump, or else its wave file.
    QString sourceFile() const { return m_DumpFile.isEmpty() ? m_FileName : m_DumpFile; }
    // The bar that tells that the source file changed on disk; null until it first did.
    QWidget *changedBar() const { return m_ChangedBar; }
    // How long the source file must keep its size and time before a change counts as finished.
    static constexpr int m_StableMilliseconds = 1000;
    // The document's name: its dump's file name, else its wave file's.
    QString userFriendlyFileName() const;
    // Where Save As and Export Image start: the document's folder (its dump's, else its wave
    // file's) and its name with suffix.
    QString suggestedPath(const QString &suffix) const;
    // The wave file lies in the cache folder: it is the viewer's own, and closing keeps the view
    // there without asking.
    bool isCachedWaveFile() const;

    // Draws the name column, the cursor bar, the ruler and the waveforms as they are in view through
    // painter, in the coordinates of the document's splitter, as vectors on a vector device; light
    // draws dark traces on white.
    void paintView(QPainter *painter, bool light);
    // The size of the picture paintView draws.
    QSize viewSize() const;
    // Writes the picture of the view to path: SVG for a .svg name, else PNG at ratio pixels per
    // screen pixel. False with errorString when it cannot.
    bool exportImage(const QString &path, bool light, qreal ratio);
    // Draws the picture of the view and its caption on one page of a printer (or on any device).
    void printTo(QPaintDevice *device, bool light = true);

    Dovlin_FileManager &fileManager() { return *m_FileManager; }
    // The time window and the cursors, which the parts of the document follow.
    Dovlin_ViewState &viewState() override { return *m_ViewState; }
    QFixedSplitter *nameFixedSplitter() const { return m_NameSplitter; }
    Dovlin_NameWidget *nameWidget() const { return m_NameWidget; }
    Dovlin_ListWidget *listWidget() const { return m_ListWidget; }
    // The nodes of the tree's selected lines, in selection order.
    std::vector<Dovlin_Hierarchy *> selectedTreeNodes() const;
    // The lines beside the canvas: the wave list while it is shown, else the name tree.
    Dovlin_RowsWidget *rowsWidget() const override;
    bool showsList() const;
    void setShowList(bool show);
    // Writes the wave list, the cursors and the time window as a view file (JSON); false with
    // errorString when it cannot.
    bool exportView(const QString &path);
    // Takes the list, the cursors and the window of a view file, its times in the file's time
    // base, and shows the list; the paths this file lacks are kept as missing rows and named in
    // missing. False with errorString for a file that cannot be read.
    bool importView(const QString &path, QStringList &missing);
    Dovlin_ExtraWidget *extraWidget() const { return m_ExtraWidget; }
    Dovlin_ShapeWidget *shapeWidget() const { return m_ShapeWidget; }
    Dovlin_SignalFilter *signalFilter() const { return m_SignalFilter; }
    Dovlin_ValueBar *valueBar() const { return m_ValueBar; }
    // Tells, in the status bar and in one box for them all, which signals were found damaged
    // since the last time and why; their rows and values are no longer shown. noticeDamage does
    // so once the event at hand is over.
    void reportDamage();
    void noticeDamage();

    qint64 endTime() const { return m_ViewState->endTime(); }
    // Whether the canvas shows the file from time 0 to its end.
    bool showsWholeRange() const;
    int timeBase() const { return m_ViewState->timeBase(); }
    int nCursor() const { return m_ViewState->nCursor(); }
    void setnCursor(int n) { m_ViewState->setnCursor(n); }
    int defaultCursor() const { return m_ViewState->defaultCursor(); }
    void setDefaultCursor(int index) { m_ViewState->setDefaultCursor(index); }
    qint64 cursorTime(int index) const { return m_ViewState->cursorTime(index); }
    void setCursorTime(int index, qint64 time) { m_ViewState->setCursorTime(index, time); }
    int cursorHeight() const override { return m_CursorHeight; }
    bool bookmarkStatus(int index) const;
    // Zoom-area mode lasts for one dragged range: the canvas ends it once it has zoomed.
    bool isZoomingArea() const override { return m_ZoomingArea; }
    // Zoom Area lasts for one dragged range, or until Esc: a cross-hair and a hint show it is on.
    void setZoomingArea(bool on);
    void endZoomingArea() override { setZoomingArea(false); }
    void toggleRowDisplay(QTreeWidgetItem *line) override;
    int extraWidgetHeight() const;
    void UpdateSplittersLayout(bool resetMainSplitter);

public Q_SLOTS:
    void save();
    void saveAs();
    void modifySignals();
    void zoomIn();
    void zoomOut();
    void zoomFull();
    void zoomArea() override;
    // Move the default cursor to the next or previous change of the node selected in the tree.
    void nextTrans();
    void prevTrans();
    // Asks for a time and moves the default cursor there (a first cursor when there is none), in view.
    void goToTime();
    void toggleDigitalAnalog();
    void addCursor();
    void removeCursor();
    void setBookmark(int index);
    void gotoBookmark(int index);
    void print();
    // Reads the source file again (a dump is converted as on opening) and keeps the view: the
    // nodes' flags by dotted path, the cursors, the time window and the scroll position. A file that
    // does not load leaves the document as it was and says why; false then.
    bool reload();
    // Find Signal focuses the filter above the name tree; Find Value opens the value bar for the
    // selected node, whose next and previous matches Find Next and Find Previous go to.
    void findSignal();
    void findValue();
    void findNext();
    void findPrevious();
    // Switches the name column between the hierarchy and the wave list.
    void toggleList() { setShowList(!showsList()); }
    // Puts the nodes selected in the tree into the wave list, after its current row.
    void addToList();
    // Asks for a view file and writes or reads it, telling what became of it.
    void exportViewFile();
    void importViewFile();

Q_SIGNALS:
    // One line on what a command on the document's file did, naming the file (and the reason of a failure).
    void statusMessage(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    // Esc, unhandled by the part that has the focus, ends Zoom Area.
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void createLayout();
    void updateTitle();
    void moveToChange(bool next);
    // Saves to path in a format and tells the outcome, a failure or what the format could not
    // hold also in a box; false when not saved.
    bool saveAndReport(const QString &path, int format);
    // The format a document keeps for a file loaded in format.
    int formatOfLoaded(int format) const;
    Dovlin_SavedView savedView() const;
    void layoutParts();
    void watchSource();
    // Called once the source file stopped changing: asks, or reloads when the user said always.
    void sourceChanged();
    void showChangedBar(const QString &text);
    void hideChangedBar();

    struct FileStamp
    {
        bool m_Exists = false;
        qint64 m_Size = -1;
        QDateTime m_Modified;
        bool operator==(const FileStamp &other) const
        {
            return m_Exists == other.m_Exists && m_Size == other.m_Size && m_Modified == other.m_Modified;
        }
        bool operator!=(const FileStamp &other) const { return !(*this == other); }
    };
    static FileStamp stampOf(const QString &path);
    // The document now shows its source: a wave file as stamped, a dump as its wave file recorded
    // it. A dump written on since it was read counts as changed once it holds still.
    void showingSource(const FileStamp &stamp);

    QSplitter *m_MainSplitter = nullptr;
    QFixedSplitter *m_NameSplitter = nullptr;
    Dovlin_NameWidget *m_NameWidget = nullptr;
    Dovlin_ListWidget *m_ListWidget = nullptr;
    QTabBar *m_Tabs = nullptr;
    Dovlin_ExtraWidget *m_ExtraWidget = nullptr;
    Dovlin_ShapeWidget *m_ShapeWidget = nullptr;
    Dovlin_SignalFilter *m_SignalFilter = nullptr;
    Dovlin_ValueBar *m_ValueBar = nullptr;
    std::unique_ptr<Dovlin_FileManager> m_FileManager;
    Dovlin_ViewState *m_ViewState = nullptr;
    // Shown in place of the splitters once the file is lost.
    QWidget *m_LostPage = nullptr;
    bool m_FileLost = false;
    QString m_LostReason;

    QString m_FileName;
    QString m_DumpFile;
    int m_Format = Dovlin_WaveFormat::Newest;
    // What format 1 could not hold, as the user was last told in a box.
    QStringList m_ToldSaveWarnings;
    // Runs reportDamage once the event that found damage is over; the box it shows may paint
    // again, and what that finds is told after it.
    QTimer *m_DamageTimer = nullptr;
    bool m_DamageBoxOpen = false;
    DumpConverter m_DumpConverter;
    QString m_ErrorString;
    QFileSystemWatcher *m_Watcher = nullptr;
    // Runs while the source file is still changing: its stamp must hold for m_StableMilliseconds.
    QTimer *m_StableTimer = nullptr;
    // The source as the document shows it (a wave file), or as the user chose to ignore it, and
    // as last seen while it was changing.
    FileStamp m_KnownStamp;
    FileStamp m_ChangingStamp;
    // While a reload converts its dump, which lets events through.
    bool m_Reloading = false;
    QWidget *m_ChangedBar = nullptr;
    QLabel *m_ChangedText = nullptr;
    bool m_Modified = false;
    int m_CursorHeight = 20;
    std::array<bool, m_nBookmark> m_BookmarkStatus = {};
    std::array<Dovlin_ViewState::View, m_nBookmark> m_Bookmarks = {};
    bool m_ZoomingArea = false;
};

#endif
