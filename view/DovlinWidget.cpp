#include "DovlinWidget.h"

#include "Dovlin_Dialogs.h"
#include "Dovlin_ExtraWidget.h"
#include "Dovlin_MainWindow.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_SignalFilter.h"
#include "Dovlin_SignalsDialog.h"
#include "Dovlin_ValueBar.h"
#include "QFixedSplitter.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>
#include <QKeyEvent>
#include <QVBoxLayout>

DovlinWidget::DovlinWidget(Dovlin_MainWindow *owner)
    : m_Owner(owner)
{
    setAttribute(Qt::WA_DeleteOnClose);
    createLayout();
}

DovlinWidget::~DovlinWidget() = default;

void DovlinWidget::createLayout()
{
    setWindowIcon(QIcon(":/images/child.png"));
    m_MainSplitter = new QSplitter(Qt::Horizontal, this);
    m_NameSplitter = new QFixedSplitter(Qt::Vertical, m_MainSplitter);
    // The filter line sits above the tree; the canvas finds the tree's lines wherever they are.
    auto *namePane = new QWidget(m_NameSplitter);
    m_NameWidget = new Dovlin_NameWidget(namePane, this);
    m_SignalFilter = new Dovlin_SignalFilter(namePane, m_NameWidget);
    auto *nameLayout = new QVBoxLayout(namePane);
    nameLayout->setContentsMargins(0, 0, 0, 0);
    nameLayout->setSpacing(0);
    nameLayout->addWidget(m_SignalFilter);
    nameLayout->addWidget(m_NameWidget);
    // The time bar under the pane takes the height its cursors need; the tree gives it up.
    m_NameWidget->setMinimumHeight(1);
    m_ExtraWidget = new Dovlin_ExtraWidget(m_NameSplitter, this);
    m_ShapeWidget = new Dovlin_ShapeWidget(m_MainSplitter, this);
    // Each part checks the file before it draws.
    for (QWidget *part : {static_cast<QWidget *>(m_ShapeWidget), m_NameWidget->viewport(), static_cast<QWidget *>(m_ExtraWidget)})
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
    placeParts();
    if (m_LostPage)
        m_LostPage->setFixedSize(size());
}

void DovlinWidget::placeParts()
{
    const int bar = m_ValueBar->isHidden() ? 0 : m_ValueBar->sizeHint().height();
    m_MainSplitter->setFixedSize(width(), height() - bar);
    m_ValueBar->setGeometry(0, height() - bar, width(), bar);
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
        placeParts();
    if (event->type() == QEvent::Paint && !checkFile())
        return true;
    return QWidget::eventFilter(watched, event);
}

bool DovlinWidget::checkFile()
{
    if (m_FileLost)
        return false;
    if (m_FileManager.FileIntact())
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
    connect(button, &QPushButton::clicked, this, &DovlinWidget::reload);
    layout->addStretch();
    layout->addWidget(text);
    layout->addWidget(button, 0, Qt::AlignHCenter);
    layout->addStretch();
    m_LostPage->setFixedSize(size());
    m_LostPage->show();
    // Told once, after the paint that found it.
    QTimer::singleShot(0, this, [this] { Dovlin_Dialogs::critical(this, tr("Dovlin"), m_LostReason); });
    return false;
}

void DovlinWidget::reload()
{
    const QString path = m_FileName;
    Dovlin_MainWindow *owner = m_Owner;
    // The main window must not find this document under the file's name any more.
    m_FileName.clear();
    QWidget *frame = parentWidget() ? parentWidget() : this;
    frame->close();
    if (owner)
        owner->DoFileOpen(path);
}

void DovlinWidget::showEvent(QShowEvent *)
{
    UpdateSplittersLayout(true);
}

int DovlinWidget::extraWidgetHeight() const
{
    return (m_nCursor + 1) * m_CursorHeight + m_ShapeWidget->shapeScrollHeight();
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
    if (!m_FileManager.Load(path)) {
        m_ErrorString = m_FileManager.ErrorString();
        return false;
    }
    // The canonical path lets the already-open check recognise the file however it is named.
    m_FileName = QFileInfo(path).canonicalFilePath();
    m_EndTime = m_FileManager.GetEndTime();
    m_TimeBase = m_FileManager.GetTimeBase();
    setModified(false);
    m_NameWidget->GenerateNameView(m_FileManager);
    setWindowTitle(QFileInfo(m_FileName).completeBaseName());
    return true;
}

bool DovlinWidget::saveFile(QString path)
{
    if (!checkFile()) {
        m_ErrorString = m_LostReason;
        return false;
    }
    if (!m_FileManager.Save(path)) {
        m_ErrorString = m_FileManager.ErrorString();
        return false;
    }
    setModified(false);
    return true;
}

bool DovlinWidget::saveAndReport(const QString &path)
{
    const QString name = QDir::toNativeSeparators(path);
    if (saveFile(path)) {
        Q_EMIT statusMessage(tr("Saved %1").arg(name));
        return true;
    }
    Q_EMIT statusMessage(tr("Cannot save %1: %2").arg(name, m_ErrorString));
    Dovlin_Dialogs::critical(this, tr("Dovlin"), tr("Cannot save %1:\n%2").arg(name, m_ErrorString));
    return false;
}

void DovlinWidget::save()
{
    saveAndReport(m_FileName);
}

void DovlinWidget::saveAs()
{
    QString path = Dovlin_Dialogs::getSaveFileName(this, tr("Wave files (*.dvn)"));
    if (path.isEmpty())
        return;
    // Files are opened by their suffix: a bare name would not open again as a wave file.
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1String(".dvn");
    // The document takes the new name only once the file is really there.
    if (!saveAndReport(path))
        return;
    m_FileName = QFileInfo(path).canonicalFilePath();
    setWindowTitle(QFileInfo(m_FileName).completeBaseName());
}

QString DovlinWidget::userFriendlyFileName() const
{
    return QFileInfo(m_FileName).fileName();
}

void DovlinWidget::setModified(bool modified)
{
    if (modified == m_Modified)
        return;
    m_Modified = modified;
    const QString name = userFriendlyFileName();
    setWindowTitle(modified ? name + " *" : name);
}

bool DovlinWidget::maybeSave()
{
    // A lost file has nothing left to save.
    if (!m_Modified || m_FileLost)
        return true;
    const QMessageBox::StandardButton answer = Dovlin_Dialogs::message(
        this, QMessageBox::Warning, tr("Dovlin"),
        tr("'%1' has been modified.\nDo you want to save your changes?").arg(m_FileName),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        return saveAndReport(m_FileName);
    return answer == QMessageBox::No;
}

void DovlinWidget::closeEvent(QCloseEvent *event)
{
    if (maybeSave())
        event->accept();
    else
        event->ignore();
}

void DovlinWidget::setnCursor(int n)
{
    m_nCursor = qBound(0, n, m_MaxCursor);
}

void DovlinWidget::setDefaultCursor(int index)
{
    m_DefaultCursor = index;
}

qint64 DovlinWidget::cursorTime(int index) const
{
    return index >= 0 && index < m_MaxCursor ? m_CursorTime[index] : 0;
}

void DovlinWidget::setCursorTime(int index, qint64 time)
{
    if (index >= 0 && index < m_MaxCursor)
        m_CursorTime[index] = time;
}

bool DovlinWidget::bookmarkStatus(int index) const
{
    return index >= 0 && index < m_nBookmark && m_BookmarkStatus[index];
}

void DovlinWidget::modifySignals()
{
    Dovlin_SignalsDialog dialog(m_FileManager, this);
    if (Dovlin_Dialogs::exec(&dialog) != QDialog::Accepted || !dialog.Apply())
        return;
    m_NameWidget->ReGenerateNameView(m_FileManager);
    m_NameWidget->UpdateVisibleSignalStates();
    m_ShapeWidget->update(true);
    setModified(true);
}

void DovlinWidget::zoomIn()
{
    m_ShapeWidget->zoomIn();
}

void DovlinWidget::zoomOut()
{
    m_ShapeWidget->zoomOut();
}

void DovlinWidget::zoomFull()
{
    m_ShapeWidget->zoomFull();
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
    m_ShapeWidget->nextTrans();
}

void DovlinWidget::prevTrans()
{
    m_ShapeWidget->prevTrans();
}

void DovlinWidget::toggleDigitalAnalog()
{
    m_ShapeWidget->toggleDA();
}

void DovlinWidget::addCursor()
{
    if (m_nCursor >= m_MaxCursor)
        return;
    const int n = m_nCursor;
    m_CursorTime[n] = (m_ShapeWidget->startScopeTime() + m_ShapeWidget->endScopeTime()) / 2;
    m_DefaultCursor = n;
    m_nCursor = n + 1;
    UpdateSplittersLayout(false);
    m_ShapeWidget->update(true);
}

void DovlinWidget::removeCursor()
{
    if (m_nCursor == 0)
        return;
    const int n = m_nCursor;
    const int d = m_DefaultCursor;
    for (int i = d; i < n - 1; ++i)
        m_CursorTime[i] = m_CursorTime[i + 1];
    m_nCursor = n - 1;
    m_DefaultCursor = d - 1 >= 0 ? d - 1 : n - 2;
    UpdateSplittersLayout(false);
    m_ShapeWidget->update(true);
}

void DovlinWidget::setBookmark(int index)
{
    if (index < 0 || index >= m_nBookmark)
        return;
    m_BookmarkStatus[index] = true;
    m_Bookmarks[index] = m_ShapeWidget->CurrentView();
    m_ExtraWidget->update();
}

void DovlinWidget::gotoBookmark(int index)
{
    if (!bookmarkStatus(index))
        return;
    m_ShapeWidget->RestoreView(m_Bookmarks[index]);
}

void DovlinWidget::print()
{
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setDocName(QFileInfo(m_FileName).baseName());
    if (!Dovlin_Dialogs::execPrintDialog(this, &printer))
        return;
    printTo(&printer);
}

void DovlinWidget::printTo(QPaintDevice *device)
{
    const QPixmap picture = grab();
    QPainter painter(device);
    QRect rect = painter.viewport();
    const int mx = rect.width() / 20;
    const int my = rect.height() / 20;
    rect.adjust(mx, my, -mx, -my);
    QSize size = picture.size();
    size.scale(rect.size(), Qt::KeepAspectRatio);
    painter.setViewport(rect.x(), rect.y(), size.width(), size.height());
    painter.setWindow(picture.rect());
    painter.drawPixmap(0, 0, picture);
    painter.drawText(0, picture.height() + my / 2, tr("Dovlin: %1").arg(m_FileName));
}
