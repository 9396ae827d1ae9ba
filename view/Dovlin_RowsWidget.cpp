#include "Dovlin_RowsWidget.h"

#include "DovlinWidget.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_HierarchyView.h"
#include "Dovlin_ShapeWidget.h"

#include <QHeaderView>

Dovlin_RowsWidget::Dovlin_RowsWidget(QWidget *parent, DovlinWidget *owner) : QTreeWidget(parent), m_Owner(owner)
{
    setColumnCount(2);
    setSortingEnabled(false);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, QColor(0x00FF00));
    // The styles draw the expand arrows in WindowText, which would be black on black.
    pal.setColor(QPalette::WindowText, QColor(0x00FF00));
    setPalette(pal);
    setHeaderLabels({QStringLiteral("Signals"), QStringLiteral("Values")});
    header()->setSectionsClickable(false);
    // Every line holds one icon and one line of text.
    setUniformRowHeights(true);
}

int Dovlin_RowsWidget::rowOffset() const
{
    return viewport()->mapTo(m_Owner, QPoint()).y() - m_Owner->shapeWidget()->mapTo(m_Owner, QPoint()).y();
}

QRect Dovlin_RowsWidget::visualItemRect(const QTreeWidgetItem *item) const
{
    return QTreeWidget::visualItemRect(item).translated(0, rowOffset());
}

QTreeWidgetItem *Dovlin_RowsWidget::itemAtY(int y) const
{
    return itemAt(QPoint(1, y - rowOffset()));
}

QString Dovlin_RowsWidget::GetSignalState(const QPoint &pos, qint64 time) const
{
    QTreeWidgetItem *item = itemAtY(pos.y());
    if (!item)
        return QString();
    QString text = item->text(0) + " = ";
    const Look look = LookOf(item);
    if (look.m_Node)
        text += ShownValue(look.m_Node, time, look.m_Radix);
    return text;
}

QString Dovlin_RowsWidget::ShownValue(Dovlin_Hierarchy *node, qint64 time, int radix)
{
    // Checked after the value is read, which may be what finds the damage.
    const QString text = node->ValueText(time, radix);
    return Dovlin_HierarchyView::IsDamaged(node) ? QString() : text;
}
