#ifndef DOVLIN_EXPORTDIALOG_H
#define DOVLIN_EXPORTDIALOG_H

#include <QDialog>

class QComboBox;

// What File > Export Image asks besides the file's name: the theme and, for a PNG image, how many
// pixels it takes per pixel of the screen.
class Dovlin_ExportDialog : public QDialog
{
    Q_OBJECT

public:
    Dovlin_ExportDialog(QWidget *parent, bool pixels, qreal screenRatio);

    bool light() const;
    qreal ratio() const;

private:
    QComboBox *m_Theme;
    QComboBox *m_Ratio = nullptr;
};

#endif
