#ifndef DOVLIN_GUIIMPORTREPORTER_H
#define DOVLIN_GUIIMPORTREPORTER_H

#include "Dovlin_ImportReporter.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QStringList>

class QProgressDialog;
class QWidget;

// Gathers an import's warnings for one box at the end and shows a progress dialog with Cancel
// once the import has taken more than a second; the window tells why an import failed. The dialog
// names the stage, reading the dump or writing its wave file; one bar runs through both.
class Dovlin_GuiImportReporter : public Dovlin_ImportReporter
{
public:
    Dovlin_GuiImportReporter(QWidget *parent, const QString &fileName, const QString &waveFileName);
    ~Dovlin_GuiImportReporter() override;

    void Error(const QString &text) override;
    void Warning(const QString &text) override;
    bool Progress(qint64 bytesRead, qint64 bytesTotal) override;
    bool WriteProgress(qint64 written, qint64 total) override;
    // After a successful import: hides the progress dialog and shows the warnings, if any.
    void ShowWarnings();

    // The dialog appears after this long; it is redrawn at most this often.
    static constexpr int m_ShowAfterMs = 1000;
    static constexpr int m_UpdateEveryMs = 100;
    // The bar counts to 1000; reading, much the longer stage, fills it up to here.
    static constexpr int m_ReadShare = 800;

private:
    // Moves the bar to value of 1000 under the label of the stage; false once the user has cancelled.
    bool Advance(bool writing, int value);

    QWidget *m_Parent;
    QString m_FileName;
    QString m_WaveFileName;
    QStringList m_Warnings;
    QElapsedTimer m_Timer;
    qint64 m_LastUpdate = 0;
    QPointer<QProgressDialog> m_Dialog;
};

#endif
