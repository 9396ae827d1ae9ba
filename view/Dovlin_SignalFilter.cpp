#include "Dovlin_SignalFilter.h"

#include "DovlinWidget.h"
#include "Dovlin_NameWidget.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

Dovlin_SignalFilter::Dovlin_SignalFilter(QWidget *parent, Dovlin_NameWidget *tree)
    : QWidget(parent), m_Tree(tree), m_Line(new QLineEdit(this)), m_Status(new QLabel(this)),
      m_Pause(new QTimer(this))
{
    // A pattern that picks most of a large tree takes a tenth of a second to show: keys
    // typed faster than this are taken together.
    m_Pause->setSingleShot(true);
    m_Pause->setInterval(150);
    connect(m_Pause, &QTimer::timeout, this, &Dovlin_SignalFilter::apply);
    m_Line->setPlaceholderText(tr("Find signal: text, * and ?, or /regular expression"));
    m_Line->setClearButtonEnabled(true);
    m_Line->installEventFilter(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 2);
    layout->setSpacing(1);
    layout->addWidget(m_Line);
    layout->addWidget(m_Status);
    connect(m_Line, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text.isEmpty())
            apply();
        else
            m_Pause->start();
    });
    connect(m_Line, &QLineEdit::returnPressed, this, [this] {
        applyPending();
        Dovlin_RowsWidget *lines = m_Tree->owner()->rowsWidget();
        if (lines->SelectFirstMatch())
            lines->setFocus(Qt::ShortcutFocusReason);
    });
}

QString Dovlin_SignalFilter::statusText() const
{
    return m_Status->text();
}

void Dovlin_SignalFilter::activate()
{
    m_Line->setFocus(Qt::ShortcutFocusReason);
    m_Line->selectAll();
}

void Dovlin_SignalFilter::applyPending()
{
    if (m_Pause->isActive())
        apply();
}

void Dovlin_SignalFilter::apply()
{
    m_Pause->stop();
    if (!m_Tree->SetFilter(m_Line->text()))
        m_Status->setText(m_Tree->FilterStopped() ? m_Tree->FilterError()
                                                  : tr("Not a regular expression: %1").arg(m_Tree->FilterError()));
    else if (!m_Tree->IsFiltered())
        m_Status->clear();
    else if (m_Tree->FilterMatches() == 0)
        m_Status->setText(tr("No node matches"));
    else
        m_Status->setText(m_Tree->FilterMatches() == 1 ? tr("1 node matches")
                                                       : tr("%1 nodes match").arg(m_Tree->FilterMatches()));
}

bool Dovlin_SignalFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_Line && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && !m_Line->text().isEmpty()) {
        m_Line->clear();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
