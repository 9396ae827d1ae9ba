#include "Dovlin_AboutDialog.h"

Dovlin_AboutDialog::Dovlin_AboutDialog(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    resize(size().expandedTo(minimumSizeHint()));
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}
