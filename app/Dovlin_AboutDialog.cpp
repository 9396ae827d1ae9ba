#include "Dovlin_AboutDialog.h"

Dovlin_AboutDialog::Dovlin_AboutDialog(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    label_3->setText(label_3->text().arg(QStringLiteral(DOVLIN_VERSION)));
    resize(size().expandedTo(minimumSizeHint()));
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}
