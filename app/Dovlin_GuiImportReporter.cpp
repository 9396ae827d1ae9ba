#include "Dovlin_GuiImportReporter.h"

#include "Dovlin_Dialogs.h"

#include <QApplication>
#include <QFileInfo>
#include <QProgressDialog>

namespace {
// A box lists this many warnings and counts the rest.
constexpr int ShownWarnings = 20;
}

Dovlin_GuiImportReporter::Dovlin_GuiImportReporter(QWidget *parent, const QString &fileName,
                                                   const QString &waveFileName)
    : m_Parent(parent), m_FileName(fileName), m_WaveFileName(waveFileName)
{
    m_Timer.start();
}

Dovlin_GuiImportReporter::~Dovlin_GuiImportReporter()
{
    delete m_Dialog;
}

void Dovlin_GuiImportReporter::Error(const QString &)
{
    // The window shows the reason in a box of its own, which the progress dialog must not cover.
    if (m_Dialog)
        m_Dialog->hide();
}

void Dovlin_GuiImportReporter::Warning(const QString &text)
{
    m_Warnings << text;
}

bool Dovlin_GuiImportReporter::Progress(qint64 bytesRead, qint64 bytesTotal)
{
    const qint64 value = bytesTotal > 0 ? qMin(bytesTotal, bytesRead) * m_ReadShare / bytesTotal : 0;
    return Advance(false, int(value));
}

bool Dovlin_GuiImportReporter::WriteProgress(qint64 written, qint64 total)
{
    const qint64 value = m_ReadShare + (total > 0 ? qMin(total, written) * (1000 - m_ReadShare) / total : 0);
    return Advance(true, int(value));
}

// Called for every block read and every signal written: it does nothing but compare times until
// there is something to show.
bool Dovlin_GuiImportReporter::Advance(bool writing, int value)
{
    const qint64 now = m_Timer.elapsed();
    if (now < m_ShowAfterMs || now - m_LastUpdate < m_UpdateEveryMs)
        return !(m_Dialog && m_Dialog->wasCanceled());
    m_LastUpdate = now;
    const QString label =
        writing ? QObject::tr("Writing %1").arg(QFileInfo(m_WaveFileName).fileName())
                : QObject::tr("Reading %1").arg(QFileInfo(m_FileName).fileName());
    if (!m_Dialog) {
        m_Dialog = new QProgressDialog(label, QObject::tr("Cancel"), 0, 1000, m_Parent);
        m_Dialog->setWindowTitle(QObject::tr("Dovlin"));
        m_Dialog->setWindowModality(Qt::WindowModal);
        m_Dialog->setMinimumDuration(0);
        m_Dialog->setAutoClose(false);
        m_Dialog->setAutoReset(false);
        m_Dialog->show();
    } else if (m_Dialog->labelText() != label) {
        m_Dialog->setLabelText(label);
    }
    m_Dialog->setValue(value);
    QApplication::processEvents();
    return !m_Dialog->wasCanceled();
}

void Dovlin_GuiImportReporter::ShowWarnings()
{
    if (m_Dialog)
        m_Dialog->hide();
    if (m_Warnings.isEmpty())
        return;
    QStringList shown = m_Warnings.mid(0, ShownWarnings);
    if (m_Warnings.size() > ShownWarnings)
        shown << QObject::tr("... and %1 more.").arg(m_Warnings.size() - ShownWarnings);
    m_Warnings.clear();
    Dovlin_Dialogs::information(m_Parent, QObject::tr("Import warnings"), shown.join('\n'));
}
