#ifndef DOVLIN_ABOUTDIALOG_H
#define DOVLIN_ABOUTDIALOG_H

#include <QDialog>

#include "ui_Dovlin_AboutDialog.h"

class Dovlin_AboutDialog : public QDialog, public Ui::Dovlin_AboutDialogClass
{
    Q_OBJECT

public:
    explicit Dovlin_AboutDialog(QWidget *parent = nullptr);
};

#endif
