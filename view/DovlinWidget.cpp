#include "DovlinWidget.h"

#include <QFile>
#include <QFileInfo>

DovlinWidget::DovlinWidget(Dovlin_MainWindow *owner)
    : m_Owner(owner)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(QIcon(":/images/child.png"));
}

bool DovlinWidget::loadFile(QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_ErrorString = file.errorString();
        return false;
    }
    // The canonical path lets the already-open check recognise the file however it is named.
    m_FileName = QFileInfo(path).canonicalFilePath();
    setWindowTitle(QFileInfo(m_FileName).completeBaseName());
    return true;
}

QString DovlinWidget::userFriendlyFileName() const
{
    return QFileInfo(m_FileName).fileName();
}

void DovlinWidget::zoomIn() {}
void DovlinWidget::zoomOut() {}
void DovlinWidget::zoomFull() {}
void DovlinWidget::zoomArea() {}
void DovlinWidget::addCursor() {}
void DovlinWidget::removeCursor() {}
void DovlinWidget::print() {}
