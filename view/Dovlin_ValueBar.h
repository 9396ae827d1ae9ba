#ifndef DOVLIN_VALUEBAR_H
#define DOVLIN_VALUEBAR_H

#include <QWidget>

class DovlinWidget;
class QComboBox;
class QLabel;
class QLineEdit;

// The bar under a document that finds when the selected node takes a value: a comparison, a
// value in the node's radix (a text for a string signal), and Previous and Next, which move the
// active cursor there.
class Dovlin_ValueBar : public QWidget
{
    Q_OBJECT

public:
    explicit Dovlin_ValueBar(DovlinWidget *owner);

    QComboBox *comparison() const { return m_Compare; }
    QLineEdit *value() const { return m_Value; }
    // Shows the bar for the selected node, the value line focused when the comparison takes one.
    void activate();

public Q_SLOTS:
    // Moves the active cursor to the next or previous time at which the condition becomes true;
    // false (and a status message) when there is none or the condition cannot be searched.
    bool findNext();
    bool findPrevious();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool find(bool forward);
    void showNode();

    DovlinWidget *m_Owner;
    QLabel *m_Node;
    QComboBox *m_Compare;
    QLineEdit *m_Value;
};

#endif
