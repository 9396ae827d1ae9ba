#include "DovlinWidget.h"

#include "Dovlin_Dialogs.h"
#include "Dovlin_ExtraWidget.h"
#include "Dovlin_FileIo.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_HierarchyView.h"
#include "Dovlin_ListWidget.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_RowRaster.h"
#include "Dovlin_Settings.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_SignalFilter.h"
#include "Dovlin_SignalsDialog.h"
#include "Dovlin_Signals.h"
#include "Dovlin_TimeDialog.h"
#include "Dovlin_Utilities.h"
#include "Dovlin_ValueBar.h"
#include "Dovlin_VcdImport.h"
#include "Dovlin_ViewFile.h"
#include "QFixedSplitter.h"

#include <QAction>
#include <QBuffer>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSet>
#include <QSignalBlocker>
#include <QSvgGenerator>
#include <QTabBar>
#include <QTimer>
#include <QKeyEvent>
#include <QVBoxLayout>

DovlinWidget::DovlinWidget(QWidget *parent)
    : QWidget(parent), m_FileManager(std::make_unique<Dovlin_FileManager>()),
      m_ViewState(new Dovlin_ViewState(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    createLayout();
    m_ViewState->SetCanvasSize([this] { return m_ShapeWidget->size(); });
    connect(m_ViewState, &Dovlin_ViewState::cursorCountChanged, this, [this] { UpdateSplittersLayout(false); });
    // The Values column shows the default cursor's time.
    for (auto changed : {&Dovlin_ViewState::cursorsChanged, &Dovlin_ViewState::cursorCountChanged})
        connect(m_ViewState, changed, m_NameWidget, &Dovlin_NameWidget::UpdateVisibleSignalStates);
    for (auto changed : {&Dovlin_ViewState::cursorsChanged, &Dovlin_ViewState::cursorCountChanged})
        connect(m_ViewState, changed, m_ListWidget->viewport(), qOverload<>(&QWidget::update));

    // A simulation writes its dump for a while: the change counts once the file holds still.
    m_StableTimer = new QTimer(this);
    m_StableTimer->setSingleShot(true);
    m_StableTimer->setInterval(m_StableMilliseconds);
    m_DamageTimer = new QTimer(this);
    m_DamageTimer->setSingleShot(true);
    m_DamageTimer->setInterval(0);
    connect(m_DamageTimer, &QTimer::timeout, this, &DovlinWidget::reportDamage);
    m_Watcher = new QFileSystemWatcher(this);
    connect(m_Watcher, &QFileSystemWatcher::fileChanged, this, [this] {
        m_ChangingStamp = stampOf(sourceFile());
        m_StableTimer->start();
    });
    connect(m_StableTimer, &QTimer::timeout, this, [this] {
        const FileStamp now = stampOf(sourceFile());
        // A file replaced by a rename is watched anew; one that is gone is waited for.
        watchSource();
        if (now != m_ChangingStamp || !now.m_Exists) {
            m_ChangingStamp = now;
            m_StableTimer->start();
            return;
        }
        sourceChanged();
    });
}

DovlinWidget::~DovlinWidget()
{
    // The list's lines ask the tree for their height and icons, and every line reads the model's
    // nodes: the list goes first, then the other widgets, all before the model.
    delete m_ListWidget;
    qDeleteAll(findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly));
}

void DovlinWidget::createLayout()
{
    setWindowIcon(QIcon(":/images/child.png"));
    m_MainSplitter = new QSplitter(Qt::Horizontal, this);
    m_NameSplitter = new QFixedSplitter(Qt::Vertical, m_MainSplitter);
    // The filter line sits above the tree; the canvas finds the tree's lines wherever they are.
    auto *namePane = new QWidget(m_NameSplitter);
    m_Tabs = new QTabBar(namePane);
    m_Tabs->addTab(tr("Hierarchy"));
    m_Tabs->addTab(tr("Wave List"));
    m_Tabs->setDrawBase(false);
    m_Tabs->setFocusPolicy(Qt::NoFocus);
    // Lines dragged from the tree onto the Wave List tab open the list to be dropped there.
    m_Tabs->setChangeCurrentOnDrag(true);
    m_Tabs->setAcceptDrops(true);
    m_NameWidget = new Dovlin_NameWidget(namePane, this);
    m_SignalFilter = new Dovlin_SignalFilter(namePane, m_NameWidget);
    m_ListWidget = new Dovlin_ListWidget(namePane, this);
    m_ListWidget->hide();
    auto *nameLayout = new QVBoxLayout(namePane);
    nameLayout->setContentsMargins(0, 0, 0, 0);
    nameLayout->setSpacing(0);
    nameLayout->addWidget(m_Tabs);
    nameLayout->addWidget(m_SignalFilter);
    nameLayout->addWidget(m_NameWidget);
    nameLayout->addWidget(m_ListWidget);
    connect(m_Tabs, &QTabBar::currentChanged, this, [this](int index) { setShowList(index == 1); });
    // Insert in the tree adds its selected nodes to the list.
    auto *addAct = new QAction(tr("Add to &List"), m_NameWidget);
    addAct->setShortcut(QKeySequence(Qt::Key_Insert));
    addAct->setShortcutContext(Qt::WidgetShortcut);
    m_NameWidget->addAction(addAct);
    m_NameWidget->AddContextAction(addAct);
    connect(addAct, &QAction::triggered, this, &DovlinWidget::addToList);
    // The time bar under the pane takes the height its cursors need; the tree gives it up.
    m_NameWidget->setMinimumHeight(1);
    m_ListWidget->setMinimumHeight(1);
    m_ExtraWidget = new Dovlin_ExtraWidget(m_NameSplitter, this);
    m_ShapeWidget = new Dovlin_ShapeWidget(m_MainSplitter, this);
    // The selected line's row is marked on the canvas too.
    for (QTreeWidget *lines : {static_cast<QTreeWidget *>(m_NameWidget), static_cast<QTreeWidget *>(m_ListWidget)})
        connect(lines, &QTreeWidget::itemSelectionChanged, m_ShapeWidget, [this] { m_ShapeWidget->update(); });
    // Each part checks the file before it draws.
    for (QWidget *part : {static_cast<QWidget *>(m_ShapeWidget), m_NameWidget->viewport(), m_ListWidget->viewport(),
                          static_cast<QWidget *>(m_ExtraWidget)})
        part->installEventFilter(this);
    m_ValueBar = new Dovlin_ValueBar(this);
    m_ValueBar->hide();
    m_ValueBar->installEventFilter(this);
    m_NameSplitter->setHandleWidth(2);
    m_NameSplitter->setStretchFactor(0, 1);
    m_NameSplitter->setStretchFactor(1, 0);
}

QSize DovlinWidget::sizeHint() const
{
    return QSize(500, 320);
}

void DovlinWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_ZoomingArea)
        endZoomingArea();
    else
        QWidget::keyPressEvent(event);
}

void DovlinWidget::resizeEvent(QResizeEvent *)
{
    layoutParts();
}

// The changed-file bar on top, the value bar at the bottom, the splitters (or the lost page) between.
void DovlinWidget::layoutParts()
{
    int top = 0;
    if (m_ChangedBar && !m_ChangedBar->isHidden()) {
        top = m_ChangedBar->sizeHint().height();
        m_ChangedBar->setGeometry(0, 0, width(), top);
    }
    const int bottom = m_ValueBar->isHidden() ? 0 : m_ValueBar->sizeHint().height();
    m_ValueBar->setGeometry(0, height() - bottom, width(), bottom);
    const QSize rest(width(), qMax(0, height() - top - bottom));
    m_MainSplitter->move(0, top);
    m_MainSplitter->setFixedSize(rest);
    if (m_LostPage) {
        m_LostPage->move(0, top);
        m_LostPage->setFixedSize(rest);
    }
}

Dovlin_RowsWidget *DovlinWidget::rowsWidget() const
{
    return showsList() ? static_cast<Dovlin_RowsWidget *>(m_ListWidget) : m_NameWidget;
}

bool DovlinWidget::showsList() const
{
    return m_Tabs->currentIndex() == 1;
}

void DovlinWidget::setShowList(bool show)
{
    {
        const QSignalBlocker blocker(m_Tabs);
        m_Tabs->setCurrentIndex(show ? 1 : 0);
    }
    m_NameWidget->setVisible(!show);
    m_ListWidget->setVisible(show);
    // The canvas finds the lines where the layout puts them.
    m_ListWidget->parentWidget()->layout()->activate();
    m_ShapeWidget->invalidatePicture();
}

void DovlinWidget::toggleRowDisplay(QTreeWidgetItem *line)
{
    // A list row has its own display; a tree line shows its node's.
    if (showsList()) {
        m_ListWidget->setCurrentItem(line);
        m_ListWidget->toggleDigital();
        return;
    }
    Dovlin_Hierarchy *node = Dovlin_HierarchyView::GetHierarchy(line);
    if (!node)
        return;
    node->m_Digital = !node->m_Digital;
    setModified(true);
    m_ShapeWidget->invalidatePicture();
}

std::vector<Dovlin_Hierarchy *> DovlinWidget::selectedTreeNodes() const
{
    std::vector<Dovlin_Hierarchy *> nodes;
    for (QTreeWidgetItem *item : m_NameWidget->selectedItems())
        if (Dovlin_Hierarchy *node = Dovlin_HierarchyView::GetHierarchy(item))
            nodes.push_back(node);
    return nodes;
}

void DovlinWidget::addToList()
{
    const std::vector<Dovlin_Hierarchy *> nodes = selectedTreeNodes();
    if (nodes.empty()) {
        Q_EMIT statusMessage(tr("Select signals in the tree to add them to the wave list"));
        return;
    }
    const int before = int(m_ListWidget->waveList().Paths().size());
    m_ListWidget->AddNodes(nodes);
    const int added = int(m_ListWidget->waveList().Paths().size()) - before;
    Q_EMIT statusMessage(added == 1 ? tr("1 signal added to the wave list") : tr("%1 signals added to the wave list").arg(added));
}

bool DovlinWidget::exportView(const QString &path)
{
    Dovlin_ViewFile view;
    view.m_TimeBase = timeBase();
    view.m_List = m_ListWidget->waveList().Rows();
    for (int i = 0; i < nCursor(); ++i)
        view.m_Cursors.push_back(cursorTime(i));
    view.m_DefaultCursor = qMax(0, defaultCursor());
    view.m_Start = m_ViewState->startScopeTime();
    view.m_End = m_ViewState->endScopeTime();
    return view.Write(path, m_ErrorString);
}

bool DovlinWidget::importView(const QString &path, QStringList &missing)
{
    Dovlin_ViewFile view;
    if (!view.Read(path, m_ErrorString))
        return false;
    if (!view.Rebase(timeBase())) {
        m_ErrorString = tr("its times do not fit this file's time unit");
        return false;
    }
    m_ListWidget->SetRows(view.m_List);
    missing = m_ListWidget->waveList().MissingPaths(*m_FileManager);
    // A view file without cursors leaves the document's as they are.
    const int n = qMin(int(view.m_Cursors.size()), m_MaxCursor);
    if (n > 0) {
        setnCursor(n);
        for (int i = 0; i < n; ++i)
            setCursorTime(i, qBound<qint64>(0, view.m_Cursors[size_t(i)], qMax<qint64>(0, endTime())));
        setDefaultCursor(qBound(0, view.m_DefaultCursor, n - 1));
    }
    if (view.m_End > view.m_Start)
        m_ViewState->ZoomTime2Time(qMax<qint64>(0, view.m_Start), qMin(view.m_End, qMax<qint64>(1, endTime())));
    setShowList(true);
    setModified(true);
    return true;
}

void DovlinWidget::exportViewFile()
{
    const QString path = Dovlin_Dialogs::getSaveFileName(this, tr("View files (*.json)"), suggestedPath(QStringLiteral("json")),
                                                         QStringLiteral("json"));
    if (path.isEmpty())
        return;
    const QString name = QDir::toNativeSeparators(path);
    if (!exportView(path)) {
        const QString message = tr("Cannot write the view file %1: %2").arg(name, m_ErrorString);
        Dovlin_Dialogs::critical(this, tr("Export View"), message);
        Q_EMIT statusMessage(message);
        return;
    }
    Q_EMIT statusMessage(tr("View written to %1").arg(name));
}

void DovlinWidget::importViewFile()
{
    const QStringList paths = Dovlin_Dialogs::getOpenFileNames(this, tr("Import View"), tr("View files (*.json)"),
                                                               QFileInfo(suggestedPath(QStringLiteral("json"))).path());
    if (paths.isEmpty())
        return;
    const QString name = QDir::toNativeSeparators(paths.first());
    QStringList missing;
    if (!importView(paths.first(), missing)) {
        const QString message = tr("Cannot read the view file %1: %2").arg(name, m_ErrorString);
        Dovlin_Dialogs::critical(this, tr("Import View"), message);
        Q_EMIT statusMessage(message);
        return;
    }
    if (!missing.isEmpty())
        Dovlin_Dialogs::information(this, tr("Import View"),
                                    (missing.size() == 1 ? tr("%1 names a signal that %2 does not have; its row is kept, greyed:\n%3")
                                                         : tr("%1 names %4 signals that %2 does not have; their rows are kept, greyed:\n%3"))
                                        .arg(name, userFriendlyFileName(), missing.join(QLatin1Char('\n')),
                                             QString::number(missing.size())));
    Q_EMIT statusMessage(tr("View read from %1").arg(name));
}

void DovlinWidget::findSignal()
{
    m_SignalFilter->activate();
}

void DovlinWidget::findValue()
{
    m_ValueBar->activate();
}

void DovlinWidget::findNext()
{
    m_ValueBar->findNext();
}

void DovlinWidget::findPrevious()
{
    m_ValueBar->findPrevious();
}

bool DovlinWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ValueBar && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        layoutParts();
    if (event->type() == QEvent::Paint) {
        if (!checkFile())
            return true;
        // Drawing reads the file: what it finds damaged is told once it is over.
        noticeDamage();
    }
    return QWidget::eventFilter(watched, event);
}

bool DovlinWidget::checkFile()
{
    if (m_FileLost)
        return false;
    if (m_FileManager->FileIntact())
        return true;
    // The mapped pages may be gone: nothing is drawn from them any more. A page that vanishes
    // between this check and a read is mapped as zeros by the model, and the next check sees it.
    m_FileLost = true;
    m_LostReason = tr("%1 was cut short or written by another program while it was open: the document can no "
                              "longer be shown as it was, nor saved.")
                               .arg(QDir::toNativeSeparators(m_FileName));
    m_MainSplitter->hide();
    m_LostPage = new QWidget(this);
    auto *layout = new QVBoxLayout(m_LostPage);
    auto *text = new QLabel(m_LostReason, m_LostPage);
    text->setWordWrap(true);
    auto *button = new QPushButton(tr("&Reload"), m_LostPage);
    button->setObjectName("lostReloadButton");
    connect(button, &QPushButton::clicked, this, &DovlinWidget::reload);
    layout->addStretch();
    layout->addWidget(text);
    layout->addWidget(button, 0, Qt::AlignHCenter);
    layout->addStretch();
    layoutParts();
    m_LostPage->show();
    // Told once, after the paint that found it.
    QTimer::singleShot(0, this, [this] { Dovlin_Dialogs::critical(this, tr("Dovlin"), m_LostReason); });
    return false;
}

bool DovlinWidget::reload()
{
    if (m_Reloading)
        return false;
    const QString source = sourceFile();
    const QString name = QDir::toNativeSeparators(source);
    const FileStamp stamp = stampOf(source);
    QString wave = m_FileName;
    QString reason;
    if (!m_DumpFile.isEmpty()) {
        m_Reloading = true;
        wave = m_DumpConverter ? m_DumpConverter(m_DumpFile, reason) : QString();
        m_Reloading = false;
        if (wave.isEmpty() && reason.isEmpty()) {
            Q_EMIT statusMessage(tr("Reload of %1 cancelled").arg(name));
            return false;
        }
    }
    auto next = std::make_unique<Dovlin_FileManager>();
    int format = Dovlin_WaveFormat::Newest;
    if (!wave.isEmpty() && !next->Load(wave, &format))
        reason = next->ErrorString();
    if (!reason.isEmpty()) {
        // The document stays as it was; a later change of the file is offered again.
        m_ErrorString = reason;
        m_KnownStamp = stamp;
        const QString message = tr("Cannot reload %1: %2").arg(name, reason);
        Q_EMIT statusMessage(message);
        showChangedBar(message);
        return false;
    }

    const int dropped = next->CarryOverViewState(*m_FileManager);
    const Dovlin_ViewState::View view = m_ViewState->CurrentView();
    const int scroll = m_NameWidget->verticalScrollBar()->value();
    // The tree's items point at the old nodes: they go before the old model does.
    m_NameWidget->clear();
    m_ListWidget->clear();
    m_FileManager.swap(next);
    m_FileName = QFileInfo(wave).canonicalFilePath();
    m_Format = formatOfLoaded(format);
    m_ViewState->SetFile(m_FileManager->GetEndTime(), m_FileManager->GetTimeBase());
    m_NameWidget->FilterNewModel(*m_FileManager);
    m_NameWidget->GenerateNameView(*m_FileManager);
    m_SignalFilter->apply();
    m_ListWidget->Rebuild();
    next.reset();
    if (m_FileLost) {
        m_FileLost = false;
        delete m_LostPage;
        m_LostPage = nullptr;
        m_MainSplitter->show();
    }
    showingSource(stamp);
    hideChangedBar();
    m_NameWidget->doItemsLayout();
    m_NameWidget->verticalScrollBar()->setValue(scroll);
    m_ViewState->RestoreView(view);
    m_ShapeWidget->ConfigScrollBar();
    m_NameWidget->UpdateVisibleSignalStates();
    Q_EMIT statusMessage(dropped == 1 ? tr("Reloaded %1: 1 node no longer in the file dropped").arg(name)
                         : dropped  ? tr("Reloaded %1: %2 nodes no longer in the file dropped").arg(name, QString::number(dropped))
                                    : tr("Reloaded %1").arg(name));
    return true;
}

DovlinWidget::FileStamp DovlinWidget::stampOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return {true, info.size(), info.lastModified()};
}

void DovlinWidget::watchSource()
{
    const QString path = sourceFile();
    const QStringList watched = m_Watcher->files();
    if (!watched.isEmpty() && watched != QStringList{path})
        m_Watcher->removePaths(watched);
    if (!m_Watcher->files().contains(path) && QFileInfo::exists(path))
        m_Watcher->addPath(path);
}

bool DovlinWidget::showsDump(const QString &dump) const
{
    return Dovlin_VcdImport::DumpUnchanged(dump, m_FileManager->DumpIdentity());
}

void DovlinWidget::showingSource(const FileStamp &stamp)
{
    watchSource();
    m_KnownStamp = m_DumpFile.isEmpty() ? stamp : FileStamp();
    if (m_DumpFile.isEmpty() || showsDump(m_DumpFile))
        return;
    m_ChangingStamp = stampOf(m_DumpFile);
    m_StableTimer->start();
}

void DovlinWidget::sourceChanged()
{
    // A change met during a reload is looked at once that reload is over.
    if (m_Reloading) {
        m_StableTimer->start();
        return;
    }
    // The document's own save, a file written back as it was, a dump still as the wave file
    // recorded it, or a change the user chose to ignore, is no change.
    if (stampOf(sourceFile()) == m_KnownStamp || (!m_DumpFile.isEmpty() && showsDump(m_DumpFile)))
        return;
    if (Dovlin_Settings().alwaysReload())
        reload();
    else
        showChangedBar(tr("The file changed on disk"));
}

void DovlinWidget::showChangedBar(const QString &text)
{
    if (!m_ChangedBar) {
        auto *bar = new QFrame(this);
        bar->setObjectName("changedBar");
        bar->setFrameShape(QFrame::StyledPanel);
        bar->setAutoFillBackground(true);
        auto *layout = new QHBoxLayout(bar);
        layout->setContentsMargins(6, 3, 6, 3);
        m_ChangedText = new QLabel(bar);
        m_ChangedText->setWordWrap(true);
        auto *reloadButton = new QPushButton(tr("&Reload"), bar);
        reloadButton->setObjectName("reloadButton");
        auto *alwaysButton = new QPushButton(tr("Always reload"), bar);
        alwaysButton->setObjectName("alwaysReloadButton");
        auto *ignoreButton = new QPushButton(tr("&Ignore"), bar);
        ignoreButton->setObjectName("ignoreButton");
        layout->addWidget(m_ChangedText, 1);
        layout->addWidget(reloadButton);
        layout->addWidget(alwaysButton);
        layout->addWidget(ignoreButton);
        connect(reloadButton, &QPushButton::clicked, this, &DovlinWidget::reload);
        connect(alwaysButton, &QPushButton::clicked, this, [this] {
            Dovlin_Settings().setAlwaysReload(true);
            reload();
        });
        connect(ignoreButton, &QPushButton::clicked, this, [this] {
            m_KnownStamp = stampOf(sourceFile());
            hideChangedBar();
        });
        m_ChangedBar = bar;
    }
    m_ChangedText->setText(text);
    m_ChangedBar->show();
    m_ChangedBar->raise();
    layoutParts();
}

void DovlinWidget::hideChangedBar()
{
    if (!m_ChangedBar || m_ChangedBar->isHidden())
        return;
    m_ChangedBar->hide();
    layoutParts();
}

void DovlinWidget::showEvent(QShowEvent *)
{
    UpdateSplittersLayout(true);
}

int DovlinWidget::extraWidgetHeight() const
{
    return (nCursor() + 1) * m_CursorHeight + m_ShapeWidget->shapeScrollHeight();
}

void DovlinWidget::UpdateSplittersLayout(bool resetMainSplitter)
{
    if (resetMainSplitter) {
        const int w = m_MainSplitter->width();
        m_MainSplitter->setSizes({w / 3, w - w / 3 - m_MainSplitter->handleWidth()});
    }
    const int h = m_NameSplitter->height();
    const int e = extraWidgetHeight();
    const int hw = m_NameSplitter->handleWidth();
    m_NameSplitter->setSizes({h - (e - hw) + hw, e - hw});
}

bool DovlinWidget::loadFile(QString path)
{
    int format = Dovlin_WaveFormat::Newest;
    if (!m_FileManager->Load(path, &format)) {
        m_ErrorString = m_FileManager->ErrorString();
        return false;
    }
    m_Format = formatOfLoaded(format);
    // The canonical path lets the already-open check recognise the file however it is named.
    m_FileName = QFileInfo(path).canonicalFilePath();
    m_ViewState->SetFile(m_FileManager->GetEndTime(), m_FileManager->GetTimeBase());
    setModified(false);
    m_NameWidget->GenerateNameView(*m_FileManager);
    m_ListWidget->SetRows(m_FileManager->SavedView().m_List);
    // A file saved with a wave list opens on it, as it was chosen to be looked at.
    if (!m_FileManager->SavedView().m_List.empty())
        setShowList(true);
    updateTitle();
    showingSource(stampOf(sourceFile()));
    return true;
}

int DovlinWidget::formatOfLoaded(int format) const
{
    // A wave file made from a dump is the viewer's own: it is written as a conversion writes it.
    return m_DumpFile.isEmpty() ? format : int(Dovlin_WaveFormat::Newest);
}

void DovlinWidget::showFirstView()
{
    const Dovlin_SavedView &saved = m_FileManager->SavedView();
    if (!saved.m_Present || !m_ViewState->ShowSavedView(saved.m_Window))
        zoomFull();
    if (!saved.m_Present)
        return;
    // A damaged or foreign file may hold any numbers: cursors stay within the file.
    const int n = qMin(int(saved.m_Cursors.size()), m_MaxCursor);
    setnCursor(n);
    for (int i = 0; i < n; ++i)
        setCursorTime(i, qBound<qint64>(0, saved.m_Cursors[size_t(i)], qMax<qint64>(0, endTime())));
    setDefaultCursor(qBound(0, saved.m_DefaultCursor, n - 1));
    // Going to a bookmark holds its numbers to what the window can take.
    m_BookmarkStatus = saved.m_BookmarkSet;
    m_Bookmarks = saved.m_Bookmarks;
    m_ExtraWidget->update();
}

Dovlin_SavedView DovlinWidget::savedView() const
{
    Dovlin_SavedView view;
    view.m_Present = true;
    view.m_Window = m_ViewState->CurrentView();
    for (int i = 0; i < nCursor(); ++i)
        view.m_Cursors.push_back(cursorTime(i));
    // A file keeps one cursor at least: a view without any opens with a document's first cursor.
    if (view.m_Cursors.empty())
        view.m_Cursors.push_back(0);
    view.m_DefaultCursor = qBound(0, defaultCursor(), int(view.m_Cursors.size()) - 1);
    view.m_BookmarkSet = m_BookmarkStatus;
    view.m_Bookmarks = m_Bookmarks;
    view.m_List = m_ListWidget->waveList().Rows();
    return view;
}

bool DovlinWidget::saveFile(QString path, int format)
{
    if (!checkFile()) {
        m_ErrorString = m_LostReason;
        return false;
    }
    // A wave file put in place of the dump it came from would lose the simulation's result.
    if (!m_DumpFile.isEmpty() && Dovlin_FileIo::SameFile(path, m_DumpFile)) {
        m_ErrorString = tr("it is the dump this document was converted from, which is never overwritten");
        return false;
    }
    m_FileManager->SetSavedView(savedView());
    if (!m_FileManager->Save(path, -1, format)) {
        m_ErrorString = m_FileManager->ErrorString();
        return false;
    }
    setModified(false);
    return true;
}

bool DovlinWidget::saveAndReport(const QString &path, int format)
{
    const QString name = QDir::toNativeSeparators(path);
    if (!saveFile(path, format)) {
        Q_EMIT statusMessage(tr("Cannot save %1: %2").arg(name, m_ErrorString));
        Dovlin_Dialogs::critical(this, tr("Dovlin"), tr("Cannot save %1:\n%2").arg(name, m_ErrorString));
        return false;
    }
    const QStringList warnings = m_FileManager->SaveWarnings();
    if (warnings.isEmpty()) {
        Q_EMIT statusMessage(tr("Saved %1").arg(name));
        return true;
    }
    Q_EMIT statusMessage(tr("Saved %1, not exactly: %2").arg(name, warnings.join(QLatin1String("; "))));
    // Saving again with the same losses asks for no box again.
    if (warnings != m_ToldSaveWarnings) {
        m_ToldSaveWarnings = warnings;
        Dovlin_Dialogs::message(this, QMessageBox::Warning, tr("Dovlin"),
                                tr("Saved %1, but not exactly:\n%2\n\nSave As in the newest format keeps everything.")
                                    .arg(name, warnings.join(QLatin1Char('\n'))));
    }
    return true;
}

void DovlinWidget::save()
{
    if (saveAndReport(m_FileName, m_Format) && m_DumpFile.isEmpty())
        m_KnownStamp = stampOf(m_FileName);
}

void DovlinWidget::saveAs()
{
    const QString newest = tr("Dovlin wave files (*.dvn)");
    const QString first = tr("Dovlin wave files, format 1 (*.dvn)");
    QString chosen;
    QString path = Dovlin_Dialogs::getSaveFileName(this, newest + QLatin1String(";;") + first,
                                                   suggestedPath(QStringLiteral("dvn")), QStringLiteral("dvn"),
                                                   &chosen);
    if (path.isEmpty())
        return;
    const int format = chosen == first ? int(Dovlin_WaveFormat::Format1) : int(Dovlin_WaveFormat::Newest);
    // Files are opened by their suffix: a bare name would not open again as a wave file.
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1String(".dvn");
    // The document takes the new name and format only once the file is really there.
    if (!saveAndReport(path, format))
        return;
    m_Format = format;
    m_FileName = QFileInfo(path).canonicalFilePath();
    updateTitle();
    if (m_DumpFile.isEmpty()) {
        m_KnownStamp = stampOf(m_FileName);
        watchSource();
    }
}

QString DovlinWidget::userFriendlyFileName() const
{
    return QFileInfo(m_DumpFile.isEmpty() ? m_FileName : m_DumpFile).fileName();
}

QString DovlinWidget::suggestedPath(const QString &suffix) const
{
    const QFileInfo document(m_DumpFile.isEmpty() ? m_FileName : m_DumpFile);
    return document.absoluteDir().filePath(document.completeBaseName() + QLatin1Char('.') + suffix);
}

bool DovlinWidget::isCachedWaveFile() const
{
    return !m_FileName.isEmpty() && Dovlin_VcdImport::IsCachedWaveFile(m_FileName);
}

void DovlinWidget::updateTitle()
{
    const QString name = userFriendlyFileName();
    setWindowTitle(m_Modified ? name + " *" : name);
}

void DovlinWidget::setModified(bool modified)
{
    if (modified == m_Modified)
        return;
    m_Modified = modified;
    updateTitle();
}

bool DovlinWidget::maybeSave()
{
    // A lost file has nothing left to save.
    if (!m_Modified || m_FileLost)
        return true;
    // A wave file converted from a dump is the viewer's own: it keeps the view without asking.
    // Should that fail, the box says so and the document still closes.
    if (!m_DumpFile.isEmpty() || isCachedWaveFile()) {
        saveAndReport(m_FileName, m_Format);
        return true;
    }
    const QMessageBox::StandardButton answer = Dovlin_Dialogs::message(
        this, QMessageBox::Warning, tr("Dovlin"),
        tr("'%1' has been modified.\nDo you want to save your changes?").arg(m_FileName),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        return saveAndReport(m_FileName, m_Format);
    return answer == QMessageBox::No;
}

void DovlinWidget::closeEvent(QCloseEvent *event)
{
    if (maybeSave())
        event->accept();
    else
        event->ignore();
}

bool DovlinWidget::bookmarkStatus(int index) const
{
    return index >= 0 && index < m_nBookmark && m_BookmarkStatus[size_t(index)];
}

void DovlinWidget::modifySignals()
{
    Dovlin_SignalsDialog dialog(*m_FileManager, this);
    if (Dovlin_Dialogs::exec(&dialog) != QDialog::Accepted || !dialog.Apply())
        return;
    m_NameWidget->ReGenerateNameView(*m_FileManager);
    m_NameWidget->UpdateVisibleSignalStates();
    m_ShapeWidget->invalidatePicture();
    setModified(true);
}

bool DovlinWidget::showsWholeRange() const
{
    return m_ViewState->startScopeTime() == 0 && m_ViewState->endScopeTime() >= m_ViewState->endTime();
}

void DovlinWidget::zoomIn()
{
    m_ViewState->zoomIn();
}

void DovlinWidget::zoomOut()
{
    m_ViewState->zoomOut();
}

void DovlinWidget::zoomFull()
{
    m_ViewState->zoomFull();
}

void DovlinWidget::zoomArea()
{
    setZoomingArea(!m_ZoomingArea);
}

void DovlinWidget::setZoomingArea(bool on)
{
    if (on == m_ZoomingArea)
        return;
    m_ZoomingArea = on;
    if (on)
        m_ShapeWidget->setCursor(Qt::CrossCursor);
    else
        m_ShapeWidget->unsetCursor();
    emit statusMessage(on ? tr("Zoom Area: drag across the waveforms to zoom to that range; Esc cancels") : QString());
}

void DovlinWidget::nextTrans()
{
    moveToChange(true);
}

void DovlinWidget::prevTrans()
{
    moveToChange(false);
}

void DovlinWidget::moveToChange(bool next)
{
    QTreeWidgetItem *item = rowsWidget()->currentItem();
    Dovlin_Hierarchy *node = item && item->isSelected() ? rowsWidget()->LookOf(item).m_Node : nullptr;
    if (!node) {
        Q_EMIT statusMessage(tr("Select a node in the name tree or the wave list to go to its changes"));
        return;
    }
    if (!m_ShapeWidget->moveToChange(node, next))
        Q_EMIT statusMessage(next ? tr("%1 does not change after the cursor").arg(item->text(0))
                                  : tr("%1 does not change before the cursor").arg(item->text(0)));
}

void DovlinWidget::goToTime()
{
    const int base = timeBase();
    // The field starts with the cursor's time in the file's unit, which it reads back as it is.
    QString start;
    if (nCursor() > 0) {
        start = QString::number(cursorTime(defaultCursor()));
        const QString unit = TimeUnitText(base);
        if (unit.startsWith(QLatin1String("1 ")))
            start += unit.mid(1);
    }
    Dovlin_TimeDialog dialog(this, base, qMax<qint64>(0, endTime()), start);
    if (Dovlin_Dialogs::exec(&dialog) != QDialog::Accepted)
        return;
    if (nCursor() == 0)
        addCursor();
    setCursorTime(defaultCursor(), dialog.time());
    m_ViewState->ShowTime(dialog.time());
}

void DovlinWidget::toggleDigitalAnalog()
{
    m_ShapeWidget->toggleDA();
}

void DovlinWidget::addCursor()
{
    m_ViewState->addCursor();
}

void DovlinWidget::removeCursor()
{
    m_ViewState->removeCursor();
}

void DovlinWidget::setBookmark(int index)
{
    if (index < 0 || index >= m_nBookmark)
        return;
    m_BookmarkStatus[size_t(index)] = true;
    m_Bookmarks[size_t(index)] = m_ViewState->CurrentView();
    m_ExtraWidget->update();
    // The file keeps the bookmarks.
    setModified(true);
}

void DovlinWidget::gotoBookmark(int index)
{
    if (!bookmarkStatus(index))
        return;
    m_ViewState->RestoreView(m_Bookmarks[size_t(index)]);
}

void DovlinWidget::print()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(userFriendlyFileName());
    // Waveforms run along the time axis: the long side of the page takes it, unless the user
    // chooses otherwise in the dialog.
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!Dovlin_Dialogs::execPrintDialog(this, &printer))
        return;
    printTo(&printer);
}

QSize DovlinWidget::viewSize() const
{
    return m_MainSplitter->size();
}

void DovlinWidget::paintView(QPainter *painter, bool light)
{
    painter->save();
    painter->fillRect(QRect(QPoint(0, 0), viewSize()), light ? Qt::white : Qt::black);
    Dovlin_RowsWidget *lines = rowsWidget();
    // The tree draws with its palette, and with a font in pixels: a font in points would grow with
    // a printer's resolution while the picture is scaled to the page.
    const QPalette screenPalette = lines->palette();
    const QFont screenFont = lines->font();
    QFont font = screenFont;
    font.setPixelSize(QFontInfo(screenFont).pixelSize());
    lines->setFont(font);
    if (light) {
        QPalette paper = screenPalette;
        for (const QPalette::ColorRole role : {QPalette::Window, QPalette::Base})
            paper.setColor(role, Qt::white);
        for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText})
            paper.setColor(role, QColor(Dovlin_RowRaster::LightColour(screenPalette.color(role).rgb() & 0xFFFFFFu)));
        lines->setPalette(paper);
    }
    // Recorded first: rendered straight to a printer, a widget would come out as one picture of pixels.
    QPicture tree;
    {
        QPainter recorder(&tree);
        lines->render(&recorder, QPoint(0, 0), QRegion(), QWidget::DrawChildren);
    }
    // Playing it back scales it by the device's resolution over the picture's: the painter's own
    // scale already fits it to the device.
    painter->save();
    painter->translate(lines->mapTo(m_MainSplitter, QPoint(0, 0)));
    painter->scale(qreal(tree.logicalDpiX()) / painter->device()->logicalDpiX(),
                   qreal(tree.logicalDpiY()) / painter->device()->logicalDpiY());
    painter->drawPicture(0, 0, tree);
    painter->restore();
    lines->setPalette(screenPalette);
    lines->setFont(screenFont);

    painter->save();
    painter->translate(m_ExtraWidget->mapTo(m_MainSplitter, QPoint(0, 0)));
    painter->setClipRect(m_ExtraWidget->rect());
    m_ExtraWidget->paintView(painter, light);
    painter->restore();
    painter->translate(m_ShapeWidget->mapTo(m_MainSplitter, QPoint(0, 0)));
    painter->setClipRect(m_ShapeWidget->rect());
    m_ShapeWidget->paintView(painter, light);
    painter->restore();
    noticeDamage();
}

bool DovlinWidget::exportImage(const QString &path, bool light, qreal ratio)
{
    if (!checkFile()) {
        m_ErrorString = m_LostReason;
        return false;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QSize size = viewSize();
    if (QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(userFriendlyFileName());
        svg.setResolution(96);
        QPainter painter(&svg);
        paintView(&painter, light);
    } else {
        QImage image(size * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        {
            QPainter painter(&image);
            paintView(&painter, light);
        }
        if (!image.save(&buffer, "PNG")) {
            m_ErrorString = tr("the picture cannot be encoded as PNG");
            return false;
        }
    }
    Dovlin_ReplacingFile file(path);
    file.SetExpectedSize(bytes.size());
    if (!file.Open() || file.write(bytes) != bytes.size() || !file.Commit()) {
        m_ErrorString = file.errorString();
        return false;
    }
    return true;
}

void DovlinWidget::printTo(QPaintDevice *device, bool light)
{
    const QSize picture = viewSize();
    QPainter painter(device);
    // A printer's viewport is its printable area: the margins are already left out.
    const QRect page = painter.viewport();
    // The caption on top in the page's own units, so that its font has the printer's size.
    painter.setPen(Qt::black);
    const QString caption = painter.fontMetrics().elidedText(
        tr("Dovlin: %1").arg(QDir::toNativeSeparators(sourceFile())), Qt::ElideMiddle, page.width());
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    const QRect captionRect = painter.boundingRect(page, flags, caption);
    painter.drawText(page, flags, caption);
    const QRect rest = page.adjusted(0, captionRect.height() * 3 / 2, 0, 0);
    const QRect frame(rest.topLeft(), picture.scaled(rest.size(), Qt::KeepAspectRatio));
    painter.setViewport(frame);
    painter.setWindow(QRect(QPoint(0, 0), picture));
    paintView(&painter, light);
    painter.setViewport(page);
    painter.setWindow(page);
    painter.setPen(QPen(Qt::darkGray, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
}

void DovlinWidget::noticeDamage()
{
    m_DamageTimer->start();
}

void DovlinWidget::reportDamage()
{
    // Damage met while the box is open is told once it closes.
    if (m_DamageBoxOpen || m_FileLost)
        return;
    const QList<QPair<int, QString>> reports = m_FileManager->TakeDamageReports();
    if (reports.isEmpty())
        return;
    // Each signal is named by the first leaf that shows it.
    QSet<int> damaged;
    for (const auto &report : reports)
        damaged.insert(report.first);
    QHash<int, QString> paths;
    m_FileManager->VisitDottedPaths([&](Dovlin_Hierarchy *node, const QString &path) {
        const Dovlin_Signal *signal = node->GetSignal();
        if (signal && damaged.contains(signal->GetIndex()) && !paths.contains(signal->GetIndex()))
            paths.insert(signal->GetIndex(), path);
    });
    QStringList lines;
    for (const auto &report : reports) {
        const QString path = paths.value(report.first);
        lines << tr("%1: %2").arg(path.isEmpty() ? tr("signal %1").arg(report.first) : path, report.second);
    }
    // Values and rows worked out before the damage was found go.
    m_NameWidget->ForgetDamagedValues();
    m_ShapeWidget->invalidatePicture();
    const QString name = QDir::toNativeSeparators(m_FileName);
    Q_EMIT statusMessage(tr("%1 is damaged, not shown: %2").arg(name, lines.join(QLatin1String("; "))));
    constexpr int listed = 20;
    QStringList shown = lines.mid(0, listed);
    if (lines.size() > listed)
        shown << tr("... and %1 more.").arg(lines.size() - listed);
    m_DamageBoxOpen = true;
    Dovlin_Dialogs::message(this, QMessageBox::Warning, tr("Dovlin"),
                            tr("%1 is damaged: these signals cannot be read and are not shown.\n\n%2")
                                .arg(name, shown.join(QLatin1Char('\n'))));
    m_DamageBoxOpen = false;
    noticeDamage();
}
