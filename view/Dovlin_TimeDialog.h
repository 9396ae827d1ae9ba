#ifndef DOVLIN_TIMEDIALOG_H
#define DOVLIN_TIMEDIALOG_H

#include <QDialog>

class QLabel;
class QLineEdit;

// Wave > Go To Time: asks for a time with its unit, and stays open saying why while the text is
// no time within the file.
class Dovlin_TimeDialog : public QDialog
{
    Q_OBJECT

public:
    // text: what the field starts with.
    Dovlin_TimeDialog(QWidget *parent, int timeBase, qint64 endTime, const QString &text);

    QLineEdit *field() const { return m_Field; }
    QString errorText() const;
    // The time accepted, in the file's unit.
    qint64 time() const { return m_Time; }

    void accept() override;

private:
    int m_TimeBase;
    qint64 m_EndTime;
    qint64 m_Time = 0;
    QLineEdit *m_Field;
    QLabel *m_Error;
};

#endif
