#include "testwaves.h"

#include "Dovlin_ExtraWidget.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_ValueBar.h"
#include "QFixedSplitter.h"
#include "guitest.h"

#include <QComboBox>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QtEndian>

class tst_DocumentWindow : public GuiTest
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startTestCase(); }
    void init() { openWindow(QSize(1000, 700)); }
    void cleanup() { closeWindow(); }

    void cursors_data()
    {
        QTest::addColumn<QString>("operations");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("defaultCursor");
        // Cursor 0 starts at time 0; every added cursor goes to the middle of the window.
        QTest::newRow("ten at most") << "aaaaaaaaaaaa" << 10 << 9;
        QTest::newRow("remove with none left") << "rr" << 0 << -1;
        QTest::newRow("remove the last makes the one before current") << "aar" << 2 << 1;
    }

    void cursors()
    {
        QFETCH(QString, operations);
        QFETCH(int, count);
        QFETCH(int, defaultCursor);
        DovlinWidget *document = open("cursors.dvn");
        QVERIFY(document);
        document->shapeWidget()->ZoomTime2Time(0, 1000);
        const qint64 middle = (document->shapeWidget()->startScopeTime() + document->shapeWidget()->endScopeTime()) / 2;
        QCoreApplication::processEvents();
        const int tree = document->nameWidget()->height(), bar = document->extraWidget()->height();
        QCOMPARE(bar, document->extraWidgetHeight() - document->nameFixedSplitter()->handleWidth());
        for (const QChar op : operations)
            op == 'a' ? document->addCursor() : document->removeCursor();
        QCOMPARE(document->nCursor(), count);
        QCOMPARE(document->defaultCursor(), defaultCursor);
        for (int i = 0; i < count; ++i)
            QCOMPARE(document->cursorTime(i), i == 0 ? 0 : middle);
        // The time bar grows by a row per cursor and the name tree gives up the same height.
        QCOMPARE(document->extraWidget()->height(), bar + 20 * (count - 1));
        QCOMPARE(document->nameWidget()->height(), tree - 20 * (count - 1));
    }

    void removeCurrentCursor()
    {
        DovlinWidget *document = open("middle.dvn");
        QVERIFY(document);
        // With cursors 0, 1, 2 and cursor 0 current, removing it leaves the former cursor 2 current.
        document->addCursor();
        document->addCursor();
        document->setCursorTime(1, 10);
        document->setCursorTime(2, 20);
        document->setDefaultCursor(0);
        document->removeCursor();
        QCOMPARE(document->nCursor(), 2);
        QCOMPARE(document->cursorTime(0), qint64(10));
        QCOMPARE(document->cursorTime(1), qint64(20));
        QCOMPARE(document->defaultCursor(), 1);
    }

    void bookmarks()
    {
        DovlinWidget *document = open("bookmarks.dvn");
        QVERIFY(document);
        Dovlin_ShapeWidget *shape = document->shapeWidget();
        shape->ZoomTime2Time(200, 400);
        const qint64 start = shape->startScopeTime();
        const qint64 end = shape->endScopeTime();
        document->setBookmark(3);
        QVERIFY(document->bookmarkStatus(3));
        QVERIFY(!document->bookmarkStatus(4));
        QVERIFY(!document->bookmarkStatus(10));

        shape->zoomFull();
        document->gotoBookmark(4);
        QCOMPARE(shape->startScopeTime(), qint64(0));
        document->gotoBookmark(3);
        QCOMPARE(shape->startScopeTime(), start);
        QCOMPARE(shape->endScopeTime(), end);
        // Numbers out of range change nothing.
        document->gotoBookmark(-1);
        document->setBookmark(12);
        QCOMPARE(shape->startScopeTime(), start);
    }

    void saveAs_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("filter");
        QTest::addColumn<bool>("saved");
        QTest::newRow("new name") << "copy.dvn" << "copy.dvn" << 0 << true;
        QTest::newRow("bare name, format 1") << "bare" << "bare.dvn" << 1 << true;
        QTest::newRow("other suffix") << "copy.1" << "copy.1" << 0 << true;
        QTest::newRow("missing folder") << "missing/dir/x.dvn" << "missing/dir/x.dvn" << 1 << false;
    }

    // The filter chosen in the dialog gives the format, which later saves keep.
    void saveAs()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, target);
        QFETCH(int, filter);
        QFETCH(bool, saved);
        DovlinWidget *document = open("original.dvn");
        QVERIFY(document);
        QCOMPARE(document->windowTitle(), QString("original"));
        document->setModified(true);
        const QString original = m_Dir.filePath("original.dvn");
        target = m_Dir.filePath(target);
        QStringList filters;
        QString preselected;
        Dovlin_Dialogs::setSaveFileHandler([&](QWidget *, const QString &offered, QString &selected) {
            filters = offered.split(";;");
            preselected = selected;
            selected = filters.value(filter);
            return m_Dir.filePath(chosen);
        });
        document->saveAs();
        QCOMPARE(filters, QStringList({"Dovlin wave files (*.dvn)", "Dovlin wave files, format 1 (*.dvn)"}));
        QCOMPARE(preselected, filters.first());
        QCOMPARE(document->isModified(), !saved);
        QCOMPARE(document->windowTitle(), saved ? QFileInfo(target).completeBaseName() : QString("original.dvn *"));
        QCOMPARE(m_Messages.size(), saved ? 0 : 1);
        if (!saved)
            QVERIFY(m_Messages.first().text.contains(target));
        QVERIFY(m_Window->statusBar()->currentMessage().startsWith((saved ? "Saved " : "Cannot save ") + target));
        // The document is found under the name it was last saved as, and only that one.
        const QString current = saved ? target : original;
        QCOMPARE(document->fileName(), QFileInfo(current).canonicalFilePath());
        QCOMPARE(m_Window->findMdiChild(current), document);
        const int format = saved && filter == 1 ? 1 : 2;
        QCOMPARE(document->format(), format);
        if (!saved)
            return;
        QVERIFY(!m_Window->findMdiChild(original));
        QCOMPARE(isFormat2(target), format == 2);
        document->setModified(true);
        document->save();
        QVERIFY(!document->isModified());
        QCOMPARE(isFormat2(target), format == 2);
    }

    void saveKeepsTheView_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("width");
        QTest::newRow("format 2") << 2 << 1000;
        QTest::newRow("format 2, narrower window") << 2 << 700;
        QTest::newRow("format 1") << 1 << 1000;
    }

    // What a document shows comes back when its file is opened again, as far as the format holds it.
    void saveKeepsTheView()
    {
        QFETCH(int, format);
        QFETCH(int, width);
        DovlinWidget *document = open("view.dvn");
        QVERIFY(document);
        Dovlin_FileManager &model = document->fileManager();
        model.GetHierarchy(2)->m_Radix = Dovlin_Radix::Hexadecimal;
        model.GetHierarchy(2)->m_Digital = false;
        document->addCursor();
        document->addCursor();
        const QList<qint64> cursors{100, 300, 700};
        for (int i = 0; i < 3; ++i)
            document->setCursorTime(i, cursors.at(i));
        document->setDefaultCursor(1);
        Dovlin_ShapeWidget *shape = document->shapeWidget();
        shape->ZoomTime2Time(200, 600);
        document->setBookmark(2);
        const qint64 bookmark = shape->startScopeTime();
        shape->ZoomTime2Time(130, 470);
        const Dovlin_ViewState::View window = shape->CurrentView();
        const QString path = m_Dir.filePath(QString("view%1.dvn").arg(format));
        Dovlin_Dialogs::setSaveFileHandler([&](QWidget *, const QString &, QString &selected) {
            selected = format == 1 ? "Dovlin wave files, format 1 (*.dvn)" : selected;
            return path;
        });
        // A name Latin-1 cannot hold: format 1 says once, for every save, that it was not kept exactly.
        model.GetHierarchy(1)->m_Name = QStringLiteral("clk\u65E5");
        for (int save = 0; save < 2; ++save) {
            document->setModified(true);
            save == 0 ? document->saveAs() : document->save();
            QVERIFY(!document->isModified());
            QCOMPARE(m_Messages.size(), format == 1 ? 1 : 0);
            QCOMPARE(m_Window->statusBar()->currentMessage().contains("format 1 writes names in Latin-1: 1 of them"), format == 1);
        }
        QCOMPARE(isFormat2(path), format == 2);
        closeAll();

        m_Window->resize(width, 700);
        QVERIFY(m_Window->DoFileOpen(path));
        document = m_Window->activeMdiChild();
        shape = document->shapeWidget();
        const bool kept = format == 2;
        QCOMPARE(document->fileManager().GetHierarchy(2)->m_Radix,
                 int(kept ? Dovlin_Radix::Hexadecimal : Dovlin_Radix::Unsigned));
        QVERIFY(!document->fileManager().GetHierarchy(2)->m_Digital);
        QCOMPARE(document->nCursor(), kept ? 3 : 1);
        for (int i = 0; i < document->nCursor(); ++i)
            QCOMPARE(document->cursorTime(i), kept ? cursors.at(i) : 0);
        QCOMPARE(document->defaultCursor(), kept ? 1 : 0);
        QCOMPARE(document->bookmarkStatus(2), kept);
        QVERIFY(!document->bookmarkStatus(3));
        if (!kept) {
            QVERIFY(document->showsWholeRange());
            return;
        }
        // The saved range is in view whatever the width; in the same width, exactly.
        QVERIFY(shape->startScopeTime() <= window.m_Start && shape->endScopeTime() >= window.m_End);
        if (width == 1000) {
            QCOMPARE(shape->startScopeTime(), window.m_Start);
            QCOMPARE(shape->endScopeTime(), window.m_End);
        }
        document->gotoBookmark(2);
        QCOMPARE(shape->startScopeTime(), bookmark);
    }

    void maybeSave_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("written");
        QTest::addColumn<bool>("mainWindow");
        QTest::newRow("yes") << int(QMessageBox::Yes) << true << true << false;
        QTest::newRow("no") << int(QMessageBox::No) << true << false << false;
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << false << false;
        QTest::newRow("main window closed, no") << int(QMessageBox::No) << true << false << true;
        QTest::newRow("main window closed, cancel") << int(QMessageBox::Cancel) << false << false << true;
    }

    void maybeSave()
    {
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(bool, written);
        QFETCH(bool, mainWindow);
        DovlinWidget *document = open("prompt.dvn");
        QVERIFY(document);
        // The open document keeps the bytes it mapped; a save shows as a file at the path again.
        const QString path = m_Dir.filePath("prompt.dvn"), canonical = QFileInfo(path).canonicalFilePath();
        QFile::remove(path + ".moved");
        QVERIFY(QFile::rename(path, path + ".moved"));
        document->nameWidget()->topLevelItem(0)->setExpanded(false);
        QVERIFY(document->isModified());

        m_Answer = QMessageBox::StandardButton(answer);
        QPointer<QMdiSubWindow> window = qobject_cast<QMdiSubWindow *>(document->parentWidget());
        // A refused document keeps the main window open too.
        QCOMPARE(mainWindow ? m_Window->close() : window->close(), closes);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(m_Window->isVisible(), !mainWindow || !closes);
        QCOMPARE(m_Window->activeMdiChild() == document, !closes);

        QCOMPARE(m_Messages.size(), 1);
        const Dovlin_Dialogs::Message &message = m_Messages.first();
        QCOMPARE(message.text, QString("'%1' has been modified.\nDo you want to save your changes?").arg(canonical));
        QCOMPARE(message.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(message.defaultButton, QMessageBox::Yes);
        QCOMPARE(window.isNull() || !window->isVisible(), closes);
        QCOMPARE(QFileInfo::exists(path), written);
        if (written) {
            Dovlin_FileManager reread;
            QVERIFY2(reread.Load(path), qPrintable(reread.ErrorString()));
            auto *top = dynamic_cast<Dovlin_CompositeHierarchy *>(reread.GetHierarchy(0));
            QVERIFY(top && !top->m_Expanded);
        }
    }

    void printedPage_data()
    {
        QTest::addColumn<int>("dotsPerMeter");
        QTest::newRow("a screen's 96 dpi") << 3780;
        QTest::newRow("a printer's 600 dpi") << 23622;
    }

    // At a printer's resolution too, every part keeps its place in the picture: nothing spills
    // below it and its caption.
    void printedPage()
    {
        QFETCH(int, dotsPerMeter);
        DovlinWidget *document = open("page.dvn");
        QVERIFY(document);
        QImage page(1000, 2000, QImage::Format_RGB32);
        page.fill(Qt::white);
        page.setDotsPerMeterX(dotsPerMeter);
        page.setDotsPerMeterY(dotsPerMeter);
        document->printTo(&page);
        // The picture fills the width less a margin of a twentieth of the page on each side.
        const int mx = 1000 / 20, my = 2000 / 20;
        const QRgb white = qRgb(255, 255, 255);
        const int pictureBottom = my + document->viewSize().scaled(1000 - 2 * mx, 2000 - 2 * my, Qt::KeepAspectRatio).height();
        // The light theme leaves much of the window white: some ink in a column is what tells.
        const auto inked = [&](int x) {
            for (int y = my; y < pictureBottom; ++y)
                if (page.pixel(x, y) != white)
                    return true;
            return false;
        };
        QVERIFY(!inked(mx - 2));
        QVERIFY(inked(mx + 2));
        QVERIFY(inked(1000 - mx - 3));
        QVERIFY(!inked(1000 - mx + 2));
        QCOMPARE(page.pixel(mx + 5, pictureBottom + 3), white);
        // The caption stands under the picture's left edge: dark pixels there.
        int captionPixels = 0;
        for (int y = pictureBottom; y < pictureBottom + 150; ++y)
            for (int x = mx; x < mx + 400; ++x)
                captionPixels += qGray(page.pixel(x, y)) < 128;
        QVERIFY(captionPixels > 20);
        for (int y = pictureBottom + 150; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                QVERIFY2(page.pixel(x, y) == white, qPrintable(QString("%1, %2").arg(x).arg(y)));
    }

    // A box whose checksum fails hides its signal, and the scope above it, with one box that names
    // the file, the signal and the section; the other rows are drawn.
    void damagedBoxHidesItsSignal()
    {
        TestWave wave;
        wave.m_Model.SetTimeBase(-9);
        auto *top = wave.Scope("top");
        wave.Logic("clk", top, {{0, 0}, {500, 1}});
        wave.Integer("count", top, {{0, 5}, {250, 6}});
        // Random values fill the boxes past the first 64 KB chunk: the damage lies in one of the
        // victim's chunks that neither its first nor its last box reads, where only drawing the
        // whole row finds it.
        QList<QPair<qint64, qint64>> noise;
        QRandomGenerator random(7);
        for (int i = 0; i < 24000; ++i)
            noise.append({i / 24, qint64(random.generate64())});
        wave.Integer("victim", top, noise);
        const QString path = m_Dir.filePath("damaged.dvn");
        QVERIFY(wave.Save(path, 1000));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        const int sections = qFromLittleEndian<quint32>(bytes.constData() + 12);
        qint64 boxes = -1, boxesSize = 0;
        for (int i = 0; i < sections; ++i) {
            const char *entry = bytes.constData() + 16 + 32 * i;
            if (QByteArray(entry, 4) == "BOXS") {
                boxes = qFromLittleEndian<qint64>(entry + 8);
                boxesSize = qFromLittleEndian<qint64>(entry + 16);
            }
        }
        QVERIFY(boxesSize > 3 * 65536);
        bytes[boxes + 100000] = char(bytes[boxes + 100000] ^ 0x10);
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
        file.close();

        QVERIFY(m_Window->DoFileOpen(path));
        DovlinWidget *document = m_Window->activeMdiChild();
        QVERIFY(document);
        Dovlin_NameWidget *tree = document->nameWidget();
        const auto line = [tree](const QString &name) { return tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0); };
        const auto colours = [&](const QImage &image, const QString &name) {
            const QRect row = tree->visualItemRect(line(name));
            QSet<QRgb> seen;
            for (int y = row.top() + 1; y < row.bottom() - 1; ++y)
                for (int x = 2; x < image.width(); ++x)
                    seen.insert(image.pixel(x, y));
            // The ruler's grid lines run through every row.
            seen.remove(qRgb(0, 0, 0));
            seen.remove(qRgb(0x70, 0x70, 0x70));
            return seen.size();
        };
        const auto grab = [document] { return document->shapeWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32); };
        // The first picture finds the damage while it draws the scope's row.
        const QImage first = grab();
        QTRY_COMPARE(m_Messages.size(), 1);
        QCOMPARE(colours(first, "top"), 0);
        QCOMPARE(colours(first, "victim"), 0);
        QVERIFY(colours(first, "clk") > 0);
        QVERIFY(colours(first, "count") > 0);
        const QString name = QDir::toNativeSeparators(QFileInfo(path).canonicalFilePath());
        for (const QString &text : {m_Messages.first().text, m_Window->statusBar()->currentMessage()})
            QVERIFY2(text.contains(name) && text.contains("top.victim: section BOXS") && !text.contains("clk"), qPrintable(text));
        // The Values column, painted again, shows nothing for the victim.
        tree->grab();
        QCOMPARE(line("victim")->text(1), QString());
        QCOMPARE(line("clk")->text(1), QString("0"));
        tree->setCurrentItem(line("victim"));
        document->valueBar()->comparison()->setCurrentText("any change");
        QVERIFY(!document->valueBar()->findNext());
        QVERIFY2(m_Window->statusBar()->currentMessage().startsWith("victim any change: the search stopped where the file is damaged (section BOXS"),
                 qPrintable(m_Window->statusBar()->currentMessage()));

        // Drawn again, the rows tell nothing more.
        document->zoomIn();
        const QImage again = grab();
        QCoreApplication::processEvents();
        QCOMPARE(m_Messages.size(), 1);
        QCOMPARE(colours(again, "victim"), 0);
        QVERIFY(colours(again, "clk") > 0);
    }

private:
    static bool isFormat2(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) && file.read(4) == QByteArray("\x89\x44\x56\x4E", 4);
    }

    // Writes a small wave file under name and opens it in the main window.
    DovlinWidget *open(const QString &name)
    {
        TestWave wave;
        wave.m_Model.SetTimeBase(-9);
        auto *top = wave.Scope("top");
        wave.Logic("clk", top, {{0, 0}, {500, 1}});
        wave.Integer("count", top, {{0, 5}, {250, 6}});
        if (!wave.Save(m_Dir.filePath(name), 1000) || !m_Window->DoFileOpen(m_Dir.filePath(name)))
            return nullptr;
        return m_Window->activeMdiChild();
    }
};

QTEST_MAIN(tst_DocumentWindow)
#include "tst_documentwindow.moc"
