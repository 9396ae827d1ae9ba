#ifndef DOVLIN_GUIIMPORTREPORTER_H
#define DOVLIN_GUIIMPORTREPORTER_H

#include "Dovlin_ImportReporter.h"

#include <QStringList>

class QWidget;

// Shows an import's errors as message boxes and gathers its warnings into one box at the end.
class Dovlin_GuiImportReporter : public Dovlin_ImportReporter
{
public:
    explicit Dovlin_GuiImportReporter(QWidget *parent);

    void Error(const QString &caption, const QString &text) override;
    void Warning(const QString &text) override;
    void ShowWarnings();

private:
    QWidget *m_Parent;
    QStringList m_Warnings;
};

#endif
