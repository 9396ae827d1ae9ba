#include "Dovlin_Dialogs.h"

#include <QFileDialog>
#include <QPrintDialog>

namespace {
Dovlin_Dialogs::MessageHandler &messageHandler()
{
    static Dovlin_Dialogs::MessageHandler handler;
    return handler;
}
Dovlin_Dialogs::OpenFilesHandler &openFilesHandler()
{
    static Dovlin_Dialogs::OpenFilesHandler handler;
    return handler;
}
Dovlin_Dialogs::SaveFileHandler &saveFileHandler()
{
    static Dovlin_Dialogs::SaveFileHandler handler;
    return handler;
}
Dovlin_Dialogs::PrintHandler &printHandler()
{
    static Dovlin_Dialogs::PrintHandler handler;
    return handler;
}
Dovlin_Dialogs::ExecHandler &execHandler()
{
    static Dovlin_Dialogs::ExecHandler handler;
    return handler;
}
}

void Dovlin_Dialogs::setMessageHandler(MessageHandler handler)
{
    messageHandler() = std::move(handler);
}

void Dovlin_Dialogs::setOpenFilesHandler(OpenFilesHandler handler)
{
    openFilesHandler() = std::move(handler);
}

void Dovlin_Dialogs::setSaveFileHandler(SaveFileHandler handler)
{
    saveFileHandler() = std::move(handler);
}

void Dovlin_Dialogs::setPrintHandler(PrintHandler handler)
{
    printHandler() = std::move(handler);
}

void Dovlin_Dialogs::setExecHandler(ExecHandler handler)
{
    execHandler() = std::move(handler);
}

QMessageBox::StandardButton Dovlin_Dialogs::message(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                                    const QString &text, QMessageBox::StandardButtons buttons,
                                                    QMessageBox::StandardButton defaultButton)
{
    if (messageHandler())
        return messageHandler()(parent, Message{icon, title, text, buttons, defaultButton});
    QMessageBox box(icon, title, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void Dovlin_Dialogs::critical(QWidget *parent, const QString &title, const QString &text)
{
    message(parent, QMessageBox::Critical, title, text);
}

void Dovlin_Dialogs::information(QWidget *parent, const QString &title, const QString &text)
{
    message(parent, QMessageBox::Information, title, text);
}

QStringList Dovlin_Dialogs::getOpenFileNames(QWidget *parent, const QString &caption, const QString &filter,
                                             const QString &directory)
{
    if (openFilesHandler())
        return openFilesHandler()(parent, caption, filter);
    return QFileDialog::getOpenFileNames(parent, caption, directory, filter);
}

QString Dovlin_Dialogs::getSaveFileName(QWidget *parent, const QString &filter, const QString &start,
                                        const QString &defaultSuffix, QString *selectedFilter)
{
    QString chosen = filter.section(QStringLiteral(";;"), 0, 0);
    QString path;
    if (saveFileHandler()) {
        path = saveFileHandler()(parent, filter, start, chosen);
    } else {
        QFileDialog dialog(parent, QString(), start);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(filter);
        // The dialog then asks before replacing the file with the suffix.
        dialog.setDefaultSuffix(defaultSuffix);
        dialog.selectFile(start);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            path = dialog.selectedFiles().first();
            chosen = dialog.selectedNameFilter();
        }
    }
    if (selectedFilter)
        *selectedFilter = chosen;
    return path;
}

bool Dovlin_Dialogs::execPrintDialog(QWidget *parent, QPrinter *printer)
{
    if (printHandler())
        return printHandler()(parent, printer);
    QPrintDialog dialog(printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

int Dovlin_Dialogs::exec(QDialog *dialog)
{
    if (execHandler())
        return execHandler()(dialog);
    return dialog->exec();
}
