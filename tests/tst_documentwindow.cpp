#include "testwaves.h"

#include "Dovlin_ExtraWidget.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_ValueBar.h"
#include "QFixedSplitter.h"
#include "guitest.h"

#include <QBuffer>
#include <QComboBox>
#include <QRandomGenerator>
#include <QStatusBar>

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
        QTest::addColumn<int>("format"); // 0: not saved
        QTest::addColumn<int>("width");  // of the window the file is opened again in; 0: not opened
        QTest::newRow("new name") << "copy.dvn" << "copy.dvn" << 2 << 1000;
        QTest::newRow("bare name, format 1") << "bare" << "bare.dvn" << 1 << 1000;
        QTest::newRow("other suffix") << "copy.1" << "copy.1" << 2 << 0;
        QTest::newRow("narrower window") << "narrow.dvn" << "narrow.dvn" << 2 << 700;
        QTest::newRow("missing folder") << "missing/dir/x.dvn" << "missing/dir/x.dvn" << 0 << 0;
    }

    // The filter chosen gives the format, which later saves keep; the file keeps the view as far as
    // its format can.
    void saveAs()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, target);
        QFETCH(int, format);
        QFETCH(int, width);
        DovlinWidget *document = open("original.dvn");
        QVERIFY(document);
        QCOMPARE(document->windowTitle(), QString("original.dvn"));
        document->fileManager().GetHierarchy(2)->m_Radix = Dovlin_Radix::Hexadecimal;
        // A name that format 1, in Latin-1, cannot hold.
        document->fileManager().GetHierarchy(1)->m_Name = QStringLiteral("clk\u65E5");
        document->addCursor();
        document->addCursor();
        for (int i = 0; i < 3; ++i)
            document->setCursorTime(i, 100 + 300 * i);
        document->setDefaultCursor(1);
        Dovlin_ShapeWidget *shape = document->shapeWidget();
        shape->ZoomTime2Time(200, 600);
        document->setBookmark(2);
        const qint64 bookmark = shape->startScopeTime();
        shape->ZoomTime2Time(130, 470);
        const Dovlin_ViewState::View window = shape->CurrentView();
        const QString original = m_Dir.filePath("original.dvn");
        target = m_Dir.filePath(target);
        QStringList filters;
        QString start;
        Dovlin_Dialogs::setSaveFileHandler([&](QWidget *, const QString &offered, const QString &startPath, QString &selected) {
            start = startPath;
            filters = offered.split(";;");
            selected = format == 1 ? filters.value(1) : selected;
            return m_Dir.filePath(chosen);
        });
        document->saveAs();
        QCOMPARE(filters, QStringList({"Dovlin wave files (*.dvn)", "Dovlin wave files, format 1 (*.dvn)"}));
        QCOMPARE(document->isModified(), !format);
        QCOMPARE(document->windowTitle(), format ? QFileInfo(target).fileName() : QString("original.dvn *"));
        // The dialog started beside the document, under its name.
        QCOMPARE(start, original);
        QCOMPARE(m_Messages.size(), format == 2 ? 0 : 1);
        if (format != 2)
            QVERIFY(m_Messages.first().text.contains(format ? "format 1 writes names in Latin-1" : target));
        QVERIFY(m_Window->statusBar()->currentMessage().startsWith((format ? "Saved " : "Cannot save ") + target));
        // The document is found under the name it was last saved as, and only that one.
        const QString current = format ? target : original;
        QCOMPARE(document->fileName(), QFileInfo(current).canonicalFilePath());
        QCOMPARE(m_Window->findMdiChild(current), document);
        if (!format)
            return;
        QVERIFY(!m_Window->findMdiChild(original));
        // Saved again: in the same format, and format 1's losses are not told in a box again.
        document->setModified(true);
        document->save();
        QCOMPARE(m_Messages.size(), format == 1 ? 1 : 0);
        QFile saved(target);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.read(4) == "\x89\x44\x56\x4E", format == 2);
        if (!width)
            return;
        closeAll();
        m_Window->resize(width, 700);
        QVERIFY(m_Window->DoFileOpen(target));
        document = m_Window->activeMdiChild();
        shape = document->shapeWidget();
        const bool kept = format == 2;
        QCOMPARE(document->fileManager().GetHierarchy(2)->m_Radix, int(kept ? Dovlin_Radix::Hexadecimal : Dovlin_Radix::Unsigned));
        QCOMPARE(document->nCursor(), kept ? 3 : 1);
        for (int i = 0; i < document->nCursor(); ++i)
            QCOMPARE(document->cursorTime(i), kept ? 100 + 300 * i : 0);
        QCOMPARE(document->defaultCursor(), kept ? 1 : 0);
        QCOMPARE(document->bookmarkStatus(2), kept);
        if (!kept) {
            QVERIFY(document->showsWholeRange());
            return;
        }
        // The saved range is in view whatever the width; in the same width, exactly as it was.
        QVERIFY(shape->startScopeTime() <= window.m_Start && shape->endScopeTime() >= window.m_End);
        if (width == 1000)
            QCOMPARE(qMakePair(shape->startScopeTime(), shape->endScopeTime()), qMakePair(window.m_Start, window.m_End));
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
        QTest::addColumn<QSize>("page");
        QTest::newRow("portrait, a screen's 96 dpi") << 3780 << QSize(1000, 1400);
        QTest::newRow("landscape, a printer's 600 dpi") << 23622 << QSize(1400, 1000);
        QTest::newRow("a strip") << 3780 << QSize(3000, 500);
    }

    // The framed picture fills the printable area (here the whole image) in width or in height,
    // under its caption; nothing spills below it.
    void printedPage()
    {
        QFETCH(int, dotsPerMeter);
        QFETCH(QSize, page);
        DovlinWidget *document = open("page.dvn");
        QVERIFY(document);
        QImage image(page, QImage::Format_RGB32);
        image.fill(Qt::white);
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        document->printTo(&image);
        QRect ink;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if (image.pixel(x, y) != qRgb(255, 255, 255))
                    ink |= QRect(x, y, 1, 1);
        // The frame's left edge runs down column 0 from the picture's top to its bottom; the
        // caption's ink lies above it.
        int top = -1, bottom = -1;
        for (int y = 0; y < page.height(); ++y)
            if (qGray(image.pixel(0, y)) < 200)
                (top < 0 ? top : bottom) = y;
        QVERIFY(ink.top() < top && bottom > top + 100);
        const bool wide = page.width() > 2 * page.height();
        QCOMPARE(wide ? bottom : ink.right(), wide ? page.height() - 1 : page.width() - 1);
        QCOMPARE(ink.bottom(), bottom);
        QCOMPARE(ink.left(), 0);
    }

    // A box whose checksum fails hides its signal and the scope above it, and is told once, naming
    // the file, the signal and the section; the other rows are drawn.
    void damagedBoxHidesItsSignal()
    {
        TestWave wave;
        auto *top = wave.Scope("top");
        wave.Logic("clk", top, {{0, 0}, {500, 1}});
        // Random values take several 64 KB chunks; the middle one, which neither the first nor the
        // last box lies in, is found damaged only while the rows are drawn.
        QList<QPair<qint64, qint64>> noise;
        QRandomGenerator random(7);
        for (int i = 0; i < 24000; ++i)
            noise.append({i / 24, qint64(random.generate64())});
        wave.Integer("victim", top, noise);
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::ReadWrite) && wave.m_Model.SaveAll(&buffer, Dovlin_WaveFormat::Format2));
        QByteArray bytes = buffer.data();
        bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x10);
        QVERIFY(m_Window->DoFileOpen(writeFile("damaged.dvn", bytes)));
        DovlinWidget *document = m_Window->activeMdiChild();
        Dovlin_NameWidget *tree = document->nameWidget();
        const auto line = [tree](const QString &name) { return tree->findItems(name, Qt::MatchRecursive).value(0); };
        // The colours of a row besides black and the ruler's grid, right of the cursor.
        const auto colours = [&](const QString &name) {
            const QImage image = document->shapeWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const QRect row = tree->visualItemRect(line(name)).adjusted(2, 1, 0, -2);
            QSet<QRgb> seen{qRgb(0, 0, 0), qRgb(0x70, 0x70, 0x70)};
            for (int y = row.top(); y < row.bottom(); ++y)
                for (int x = row.left(); x < image.width(); ++x)
                    seen.insert(image.pixel(x, y));
            return seen.size() - 2;
        };
        // Drawn again, the rows tell nothing more.
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(colours("top") + colours("victim"), 0);
            QVERIFY(colours("clk") > 0);
            QTRY_COMPARE(m_Messages.size(), 1);
            document->zoomIn();
        }
        for (const QString &text : {m_Messages.first().text, m_Window->statusBar()->currentMessage()})
            QVERIFY2(text.contains(document->fileName()) && text.contains("top.victim: section BOXS"), qPrintable(text));
        // The Values column, painted again, shows nothing for it; a search says why it stops.
        tree->grab();
        QCOMPARE(line("victim")->text(1), QString());
        tree->setCurrentItem(line("victim"));
        document->valueBar()->comparison()->setCurrentText("any change");
        QVERIFY(!document->valueBar()->findNext());
        QVERIFY(m_Window->statusBar()->currentMessage().contains("the search stopped where the file is damaged"));
    }

private:
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
