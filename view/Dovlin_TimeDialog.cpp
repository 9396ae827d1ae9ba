#include "Dovlin_TimeDialog.h"

#include "Dovlin_Utilities.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

Dovlin_TimeDialog::Dovlin_TimeDialog(QWidget *parent, int timeBase, qint64 endTime, const QString &text)
    : QDialog(parent), m_TimeBase(timeBase), m_EndTime(endTime), m_Field(new QLineEdit(text, this)),
      m_Error(new QLabel(this))
{
    setWindowTitle(tr("Go To Time"));
    auto *layout = new QVBoxLayout(this);
    // Wrapped texts take the room the dialog gives them: it gives enough, and grows for an error.
    m_Field->setMinimumWidth(fontMetrics().averageCharWidth() * 60);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    auto *prompt = new QLabel(
        tr("&Time, such as 1.5us or 1500 ns, or a number of the file's unit (%1):").arg(TimeUnitText(timeBase)), this);
    prompt->setBuddy(m_Field);
    m_Field->setObjectName("timeField");
    m_Field->selectAll();
    m_Error->setObjectName("timeError");
    m_Error->setWordWrap(true);
    m_Error->setStyleSheet(QStringLiteral("color: #c00000"));
    m_Error->hide();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &Dovlin_TimeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &Dovlin_TimeDialog::reject);
    layout->addWidget(prompt);
    layout->addWidget(m_Field);
    layout->addWidget(m_Error);
    layout->addWidget(buttons);
}

QString Dovlin_TimeDialog::errorText() const
{
    return m_Error->isHidden() ? QString() : m_Error->text();
}

void Dovlin_TimeDialog::accept()
{
    QString error;
    if (!ParseTimeText(m_Field->text(), m_TimeBase, m_EndTime, m_Time, error)) {
        m_Error->setText(error);
        m_Error->show();
        m_Field->setFocus();
        m_Field->selectAll();
        return;
    }
    QDialog::accept();
}
