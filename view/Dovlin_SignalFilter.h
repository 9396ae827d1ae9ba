#ifndef DOVLIN_SIGNALFILTER_H
#define DOVLIN_SIGNALFILTER_H

#include <QWidget>

class Dovlin_NameWidget;
class QLabel;
class QLineEdit;
class QTimer;

// The filter line above a document's name tree and wave list, with a line under it on what the
// filter found in the tree. Typing filters the tree and the list once the keys pause; Esc clears
// the line; Enter filters at once and selects the first match of whichever is shown.
class Dovlin_SignalFilter : public QWidget
{
    Q_OBJECT

public:
    Dovlin_SignalFilter(QWidget *parent, Dovlin_NameWidget *tree);

    QLineEdit *line() const { return m_Line; }
    QString statusText() const;
    // Focuses the line with its text selected, so that typing replaces the pattern.
    void activate();
    // Filters the tree by the line's text now, if a pause is still awaited.
    void applyPending();
    // Filters the tree by the line's text now.
    void apply();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:

    Dovlin_NameWidget *m_Tree;
    QLineEdit *m_Line;
    QLabel *m_Status;
    QTimer *m_Pause;
};

#endif
