#ifndef DOVLIN_DIALOGS_H
#define DOVLIN_DIALOGS_H

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

class QDialog;
class QPrinter;
class QWidget;

// Every modal box and dialog the program shows goes through here, so that tests can answer
// them without a user and without blocking.
class Dovlin_Dialogs
{
public:
    struct Message
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
    };
    using MessageHandler = std::function<QMessageBox::StandardButton(QWidget *parent, const Message &message)>;
    using OpenFilesHandler = std::function<QStringList(QWidget *parent, const QString &caption, const QString &filter)>;
    // selectedFilter comes in as the first of the filters; the handler may choose another. start:
    // the folder and name the dialog starts with.
    using SaveFileHandler =
        std::function<QString(QWidget *parent, const QString &filter, const QString &start, QString &selectedFilter)>;
    using PrintHandler = std::function<bool(QWidget *parent, QPrinter *printer)>;
    using ExecHandler = std::function<int(QDialog *dialog)>;

    // An empty handler restores the real dialog.
    static void setMessageHandler(MessageHandler handler);
    static void setOpenFilesHandler(OpenFilesHandler handler);
    static void setSaveFileHandler(SaveFileHandler handler);
    static void setPrintHandler(PrintHandler handler);
    static void setExecHandler(ExecHandler handler);

    static QMessageBox::StandardButton message(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                               const QString &text,
                                               QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                               QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static void critical(QWidget *parent, const QString &title, const QString &text);
    static void information(QWidget *parent, const QString &title, const QString &text);

    // The real dialog starts in directory.
    static QStringList getOpenFileNames(QWidget *parent, const QString &caption, const QString &filter,
                                        const QString &directory = QString());
    // The real dialog starts in start's folder with its name, and adds defaultSuffix to a name
    // without one. selectedFilter, when given, tells which of the filters (separated by ";;") the
    // user chose.
    static QString getSaveFileName(QWidget *parent, const QString &filter, const QString &start,
                                   const QString &defaultSuffix = QStringLiteral("dvn"),
                                   QString *selectedFilter = nullptr);
    static bool execPrintDialog(QWidget *parent, QPrinter *printer);
    // Runs a dialog of the program's own modally.
    static int exec(QDialog *dialog);
};

#endif
