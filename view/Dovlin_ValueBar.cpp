#include "Dovlin_ValueBar.h"

#include "DovlinWidget.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_HierarchyView.h"
#include "Dovlin_ListWidget.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_Signals.h"
#include "Dovlin_ValueSearch.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

Dovlin_ValueBar::Dovlin_ValueBar(DovlinWidget *owner)
    : QWidget(owner), m_Owner(owner), m_Node(new QLabel(this)), m_Compare(new QComboBox(this)),
      m_Value(new QLineEdit(this))
{
    m_Compare->addItem(QStringLiteral("="), Dovlin_ValueSearch::Equal);
    m_Compare->addItem(QStringLiteral("!="), Dovlin_ValueSearch::NotEqual);
    m_Compare->addItem(QStringLiteral("<"), Dovlin_ValueSearch::Less);
    m_Compare->addItem(QStringLiteral(">"), Dovlin_ValueSearch::Greater);
    m_Compare->addItem(tr("rises"), Dovlin_ValueSearch::Rises);
    m_Compare->addItem(tr("falls"), Dovlin_ValueSearch::Falls);
    m_Compare->addItem(tr("any change"), Dovlin_ValueSearch::AnyChange);
    m_Compare->addItem(tr("is unknown"), Dovlin_ValueSearch::Unknown);
    auto *previous = new QToolButton(this);
    previous->setText(tr("Previous"));
    previous->setToolTip(tr("Previous time (Shift+F3)"));
    auto *next = new QToolButton(this);
    next->setText(tr("Next"));
    next->setToolTip(tr("Next time (F3)"));
    auto *close = new QToolButton(this);
    close->setText(QStringLiteral("\u00D7"));
    close->setToolTip(tr("Close (Esc)"));
    close->setAutoRaise(true);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(new QLabel(tr("Find value:"), this));
    layout->addWidget(m_Node);
    layout->addWidget(m_Compare);
    layout->addWidget(m_Value, 1);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(close);

    connect(m_Compare, &QComboBox::currentIndexChanged, this, [this] {
        m_Value->setEnabled(Dovlin_ValueSearch::TakesValue(Dovlin_ValueSearch::Compare(m_Compare->currentData().toInt())));
    });
    connect(m_Value, &QLineEdit::returnPressed, this, &Dovlin_ValueBar::findNext);
    connect(previous, &QToolButton::clicked, this, &Dovlin_ValueBar::findPrevious);
    connect(next, &QToolButton::clicked, this, &Dovlin_ValueBar::findNext);
    connect(close, &QToolButton::clicked, this, &QWidget::hide);
    for (QTreeWidget *lines : {static_cast<QTreeWidget *>(m_Owner->nameWidget()), static_cast<QTreeWidget *>(m_Owner->listWidget())})
        connect(lines, &QTreeWidget::currentItemChanged, this, &Dovlin_ValueBar::showNode);
}

void Dovlin_ValueBar::activate()
{
    showNode();
    show();
    // A comparison without a value leaves the line disabled: the comparison takes the keys then.
    QWidget *focus = m_Value->isEnabled() ? static_cast<QWidget *>(m_Value) : m_Compare;
    focus->setFocus(Qt::ShortcutFocusReason);
    m_Value->selectAll();
}

void Dovlin_ValueBar::showNode()
{
    const Dovlin_Hierarchy *node = m_Owner->rowsWidget()->LookOf(m_Owner->rowsWidget()->currentItem()).m_Node;
    m_Node->setText(node ? node->m_Name : tr("(select a signal)"));
    const Dovlin_Signal *signal = node ? node->GetSignal() : nullptr;
    const bool text = signal && signal->GetTypeCode() == Dovlin_TypeCode::String;
    m_Value->setPlaceholderText(text ? tr("text") : tr("value in the node's radix"));
}

bool Dovlin_ValueBar::findNext()
{
    return find(true);
}

bool Dovlin_ValueBar::findPrevious()
{
    return find(false);
}

bool Dovlin_ValueBar::find(bool forward)
{
    // The node of the selected line, in the line's radix: a wave list's row has its own.
    Dovlin_RowsWidget *tree = m_Owner->rowsWidget();
    QTreeWidgetItem *item = tree->currentItem();
    const Dovlin_RowsWidget::Look look = tree->LookOf(item);
    const Dovlin_Hierarchy *node = look.m_Node;
    if (!node) {
        Q_EMIT m_Owner->statusMessage(tr("Select a signal, a bus, an integer or a text to find its values"));
        return false;
    }
    const auto compare = Dovlin_ValueSearch::Compare(m_Compare->currentData().toInt());
    Dovlin_ValueSearch search;
    if (!search.Set(node, compare, m_Value->text(), look.m_Radix)) {
        Q_EMIT m_Owner->statusMessage(search.ErrorString());
        return false;
    }
    if (m_Owner->nCursor() == 0)
        m_Owner->addCursor();
    const int cursor = m_Owner->defaultCursor();
    const qint64 time = search.Find(m_Owner->cursorTime(cursor), forward);
    const QString condition = compare <= Dovlin_ValueSearch::Greater
                                  ? m_Compare->currentText() + QLatin1Char(' ') + m_Value->text().trimmed()
                                  : m_Compare->currentText();
    QString damage;
    // The search stops at a box it cannot read: nothing past it is known.
    if (time < 0 && Dovlin_HierarchyView::IsDamaged(node, &damage)) {
        m_Owner->reportDamage();
        Q_EMIT m_Owner->statusMessage(tr("%1 %2: the search stopped where the file is damaged (%3)")
                                          .arg(node->m_Name, condition, damage));
        return false;
    }
    if (time < 0) {
        Q_EMIT m_Owner->statusMessage(forward ? tr("%1 %2: not after the cursor").arg(node->m_Name, condition)
                                              : tr("%1 %2: not before the cursor").arg(node->m_Name, condition));
        return false;
    }
    m_Owner->setCursorTime(cursor, time);
    tree->scrollToItem(item);
    m_Owner->viewState().ShowTime(time);
    Q_EMIT m_Owner->statusMessage(tr("%1 %2 at %3")
                                      .arg(node->m_Name, condition,
                                           m_Owner->viewState().GetActualTimeStr(time).trimmed()));
    return true;
}

void Dovlin_ValueBar::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        m_Owner->nameWidget()->setFocus(Qt::OtherFocusReason);
        return;
    }
    QWidget::keyPressEvent(event);
}
