#include "Dovlin_ExportDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>

Dovlin_ExportDialog::Dovlin_ExportDialog(QWidget *parent, bool pixels, qreal screenRatio)
    : QDialog(parent), m_Theme(new QComboBox(this))
{
    setWindowTitle(tr("Export Image"));
    auto *layout = new QFormLayout(this);
    m_Theme->setObjectName("themeBox");
    m_Theme->addItem(tr("Light: dark traces on white"), true);
    m_Theme->addItem(tr("Dark: as on the screen"), false);
    layout->addRow(tr("&Theme:"), m_Theme);
    if (pixels) {
        m_Ratio = new QComboBox(this);
        m_Ratio->setObjectName("ratioBox");
        if (screenRatio != 2.0)
            m_Ratio->addItem(tr("Screen (%1x)").arg(screenRatio), screenRatio);
        m_Ratio->addItem(tr("2x"), 2.0);
        layout->addRow(tr("&Resolution:"), m_Ratio);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addRow(buttons);
}

bool Dovlin_ExportDialog::light() const
{
    return m_Theme->currentData().toBool();
}

qreal Dovlin_ExportDialog::ratio() const
{
    return m_Ratio ? m_Ratio->currentData().toReal() : 1.0;
}
