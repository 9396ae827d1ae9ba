#ifndef DOVLIN_SIGNALSDIALOG_H
#define DOVLIN_SIGNALSDIALOG_H

#include <QDialog>

class Dovlin_FileManager;
class QTreeWidget;

// A check-list of every node of a wave file: unchecked nodes, and everything below them, are
// left out of the name tree and the canvas.
class Dovlin_SignalsDialog : public QDialog
{
    Q_OBJECT

public:
    Dovlin_SignalsDialog(Dovlin_FileManager &fileManager, QWidget *parent = nullptr);

    QTreeWidget *tree() const { return m_Tree; }
    // Writes the check marks back to the nodes; true when any node changed.
    bool Apply();

private:
    Dovlin_FileManager &m_FileManager;
    QTreeWidget *m_Tree;
};

#endif
