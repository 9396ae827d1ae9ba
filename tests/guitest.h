#ifndef GUITEST_H
#define GUITEST_H

// What the tests of the main window share: a window shown for each test, the boxes it would have
// shown, and files written into a folder of the test's own.

#include "DovlinWidget.h"
#include "Dovlin_Dialogs.h"
#include "Dovlin_MainWindow.h"
#include "Dovlin_Settings.h"

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QtTest>

class GuiTest : public QObject
{
protected:
    // From initTestCase(), before the first QSettings: the user's settings and cache are never touched.
    void startTestCase()
    {
        Q_INIT_RESOURCE(Dovlin);
        QVERIFY(m_Dir.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_Dir.filePath("config")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_Dir.filePath("cache")));
    }

    // An invalid size leaves the window the size it chooses.
    void openWindow(const QSize &size = QSize())
    {
        Dovlin_Settings().clear();
        m_Messages.clear();
        m_Answer = QMessageBox::Ok;
        Dovlin_Dialogs::setMessageHandler([this](QWidget *, const Dovlin_Dialogs::Message &message) {
            m_Messages << message;
            return m_Answer;
        });
        m_Window = new Dovlin_MainWindow;
        if (size.isValid())
            m_Window->resize(size);
        m_Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_Window));
    }

    void closeWindow()
    {
        // Nothing may ask any more: every document is left unmodified before the window goes.
        for (QMdiSubWindow *window : m_Window->workspace()->subWindowList())
            if (auto *document = qobject_cast<DovlinWidget *>(window->widget()))
                document->setModified(false);
        delete m_Window;
        m_Window = nullptr;
        Dovlin_Dialogs::setMessageHandler({});
        Dovlin_Dialogs::setSaveFileHandler({});
        Dovlin_Dialogs::setOpenFilesHandler({});
        Dovlin_Dialogs::setExecHandler({});
        Dovlin_Dialogs::setPrintHandler({});
    }

    // By default the smallest valid wave file: time base 0, no signals, no nodes.
    QString writeFile(const QString &relativePath, const QByteArray &content = QByteArray(12, '\0'))
    {
        const QString path = QDir::isAbsolutePath(relativePath) ? relativePath : m_Dir.filePath(relativePath);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return QString();
        return path;
    }

    static QByteArray dump(int endTime)
    {
        return "$timescale 1ns $end\n$scope module top $end\n$var wire 1 ! clk $end\n$upscope $end\n"
               "$enddefinitions $end\n#0\n0!\n#5\n1!\n#" + QByteArray::number(endTime) + "\n";
    }

    static bool setModified(const QString &path, const QDateTime &time)
    {
        QFile file(path);
        return file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime);
    }

    void closeAll()
    {
        m_Window->workspace()->closeAllSubWindows();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QTemporaryDir m_Dir;
    Dovlin_MainWindow *m_Window = nullptr;
    QList<Dovlin_Dialogs::Message> m_Messages;
    QMessageBox::StandardButton m_Answer = QMessageBox::Ok;
};

#endif
