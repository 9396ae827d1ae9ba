#include "Dovlin_GuiImportReporter.h"

#include "Dovlin_Dialogs.h"

#include <QObject>

namespace {
// A box lists this many warnings and counts the rest.
constexpr int ShownWarnings = 20;
}

Dovlin_GuiImportReporter::Dovlin_GuiImportReporter(QWidget *parent)
    : m_Parent(parent)
{
}

void Dovlin_GuiImportReporter::Error(const QString &caption, const QString &text)
{
    Dovlin_Dialogs::critical(m_Parent, caption, text);
}

void Dovlin_GuiImportReporter::Warning(const QString &text)
{
    m_Warnings << text;
}

void Dovlin_GuiImportReporter::ShowWarnings()
{
    if (m_Warnings.isEmpty())
        return;
    QStringList shown = m_Warnings.mid(0, ShownWarnings);
    if (m_Warnings.size() > ShownWarnings)
        shown << QObject::tr("... and %1 more.").arg(m_Warnings.size() - ShownWarnings);
    m_Warnings.clear();
    Dovlin_Dialogs::information(m_Parent, QObject::tr("Import warnings"), shown.join('\n'));
}
