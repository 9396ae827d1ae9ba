#ifndef QFIXEDSPLITTER_H
#define QFIXEDSPLITTER_H

#include <QSplitter>
#include <QSplitterHandle>

// A splitter whose handle shows the plain arrow cursor: its sizes are set by the document window.
class QFixedSplitter : public QSplitter
{
    Q_OBJECT

public:
    QFixedSplitter(Qt::Orientation orientation, QWidget *parent = nullptr);

protected:
    QSplitterHandle *createHandle() override;
};

class QFixedSplitterHandle : public QSplitterHandle
{
    Q_OBJECT

public:
    QFixedSplitterHandle(Qt::Orientation orientation, QSplitter *parent);
};

#endif
