#include "QFixedSplitter.h"

QFixedSplitter::QFixedSplitter(Qt::Orientation orientation, QWidget *parent)
    : QSplitter(orientation, parent)
{
}

QSplitterHandle *QFixedSplitter::createHandle()
{
    return new QFixedSplitterHandle(orientation(), this);
}

QFixedSplitterHandle::QFixedSplitterHandle(Qt::Orientation orientation, QSplitter *parent)
    : QSplitterHandle(orientation, parent)
{
    setCursor(Qt::ArrowCursor);
}
