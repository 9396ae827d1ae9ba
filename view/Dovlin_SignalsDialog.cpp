#include "Dovlin_SignalsDialog.h"

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_HierarchyView.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

Dovlin_SignalsDialog::Dovlin_SignalsDialog(Dovlin_FileManager &fileManager, QWidget *parent)
    : QDialog(parent), m_FileManager(fileManager), m_Tree(new QTreeWidget(this))
{
    setWindowTitle(tr("Show Signals"));
    m_Tree->setColumnCount(1);
    m_Tree->header()->hide();
    for (int i = 0; i < fileManager.GetnHierarchy(); ++i) {
        Dovlin_Hierarchy *node = fileManager.GetHierarchy(i);
        if (node && node->m_Level == 0)
            Dovlin_HierarchyView::GenerateSignalsDlg(m_Tree, node, nullptr);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_Tree);
    layout->addWidget(buttons);
    resize(360, 480);
}

bool Dovlin_SignalsDialog::Apply()
{
    bool changed = false;
    for (QTreeWidgetItemIterator it(m_Tree); *it; ++it) {
        Dovlin_Hierarchy *node = Dovlin_HierarchyView::GetHierarchy(*it);
        const bool shown = (*it)->checkState(0) == Qt::Checked;
        if (node && node->m_Shown != shown) {
            node->m_Shown = shown;
            changed = true;
        }
    }
    return changed;
}
