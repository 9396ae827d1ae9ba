#ifndef DOVLINWIDGET_H
#define DOVLINWIDGET_H

#include <QWidget>

class Dovlin_MainWindow;

class DovlinWidget : public QWidget
{
    Q_OBJECT

public:
    explicit DovlinWidget(Dovlin_MainWindow *owner);

    bool loadFile(QString path);
    QString errorString() const { return m_ErrorString; }
    QString fileName() const { return m_FileName; }
    QString userFriendlyFileName() const;

public Q_SLOTS:
    void zoomIn();
    void zoomOut();
    void zoomFull();
    void zoomArea();
    void addCursor();
    void removeCursor();
    void print();

private:
    Dovlin_MainWindow *m_Owner;
    QString m_FileName;
    QString m_ErrorString;
};

#endif
