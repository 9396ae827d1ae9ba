#include "testwaves.h"
#include "tst_vcdimport_support.h"

#include "DovlinWidget.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_ValueBar.h"
#include "Dovlin_ValueSearch.h"
#include "Dovlin_VcdImport.h"
#include "Dovlin_Utilities.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using Search = Dovlin_ValueSearch;
Q_DECLARE_METATYPE(Dovlin_ValueSearch::Compare)

// Finding the times at which a node's value meets a condition: the model's search, and the value
// bar that moves the cursor there.
class tst_Find : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        auto *top = m_Wave.Scope("top");
        // 0 to X is a rising edge, X to 1 another; the closing copy at 1000 is no change.
        m_Wave.Logic("flag", top, {{0, 0}, {600, 3}, {700, 1}, {900, 0}, {1000, 0}});
        m_Wave.Bus("bus", top, 4,
                   {{0, "0000"}, {250, "0001"}, {500, "0011"}, {750, "0x11"}, {800, "0111"}, {900, "0010"}});
        // 80 repeats the value of 40.
        m_Wave.Integer("count", top, {{0, -2}, {40, 7}, {80, 7}, {100, 3}});
        m_Wave.Real("volts", top, {{0, 1.5}});
        // Texts match as shown, without the blanks around them: "  busy " is busy again.
        m_Wave.Text("state", top, {{0, "idle"}, {100, "busy"}, {300, "idle"}, {400, "  busy "}, {500, "Busy"}});
        // Long enough for the search to pass over whole runs and pairs of boxes by their summaries.
        QList<QPair<qint64, qint64>> ramp;
        QList<QPair<qint64, int>> toggles;
        QList<QPair<qint64, QString>> words, counting, quiet;
        for (int i = 0; i < 5000; ++i) {
            ramp.append({10 * i, i});
            toggles.append({10 * i, i == 3000 ? 3 : i % 2});
            words.append({10 * i, i == 3000 ? QString("stop") : i % 2 ? QString("tick") : QString("tock")});
            counting.append({10 * i, i == 3000 ? QString("x1z0") : QString::number(i % 16, 2).rightJustified(4, '0')});
            // The top bit of quiet is set once, at 0: later stretches hold no event of it, only its value in force.
            quiet.append({10 * i, i < 4000 ? QString(i % 2 ? "101" : "100") : QString("111")});
        }
        m_Wave.Text("words", top, words);
        m_Wave.Integer("ramp", top, ramp);
        m_Wave.Bus("nibble", top, 4, counting);
        Dovlin_EnumTable names;
        names.m_Literals = {"FIVE", "TEN"};
        names.m_Values = {"0101", "1010"};
        find("nibble")->m_EnumTable = m_Wave.m_Model.AddEnumTable(names);
        m_Wave.Bus("quiet", top, 3, quiet);
        m_Wave.Logic("toggle", top, toggles);
        QVERIFY(m_Wave.Save(m_Dir.filePath("find.dvn")));
    }

    void search_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<Search::Compare>("compare");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("radix");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<qint64>("found");
        const int bin = Dovlin_Radix::Binary, hex = Dovlin_Radix::Hexadecimal, dec = Dovlin_Radix::Unsigned,
                  sig = Dovlin_Radix::Signed;
        QTest::newRow("scalar = first change") << "flag" << Search::Equal << "0" << bin << qint64(-1) << true << qint64(0);
        QTest::newRow("scalar = last change") << "flag" << Search::Equal << "0" << bin << qint64(0) << true << qint64(900);
        QTest::newRow("scalar = back") << "flag" << Search::Equal << "1" << bin << qint64(1000) << false << qint64(700);
        QTest::newRow("scalar = X") << "flag" << Search::Equal << "x" << bin << qint64(0) << true << qint64(600);
        QTest::newRow("scalar != stays true") << "flag" << Search::NotEqual << "0" << bin << qint64(600) << true << qint64(-1);
        QTest::newRow("scalar < skips X") << "flag" << Search::Less << "1" << bin << qint64(0) << true << qint64(900);
        QTest::newRow("scalar rises to X") << "flag" << Search::Rises << "" << bin << qint64(0) << true << qint64(600);
        QTest::newRow("scalar rises from X") << "flag" << Search::Rises << "" << bin << qint64(600) << true << qint64(700);
        QTest::newRow("scalar rises back") << "flag" << Search::Rises << "" << bin << qint64(700) << false << qint64(600);
        QTest::newRow("scalar falls back") << "flag" << Search::Falls << "" << bin << qint64(900) << false << qint64(-1);
        QTest::newRow("scalar falls") << "flag" << Search::Falls << "" << bin << qint64(0) << true << qint64(900);
        QTest::newRow("scalar unknown") << "flag" << Search::Unknown << "" << bin << qint64(0) << true << qint64(600);
        QTest::newRow("scalar unknown back") << "flag" << Search::Unknown << "" << bin << qint64(600) << false << qint64(-1);
        QTest::newRow("scalar change after last") << "flag" << Search::AnyChange << "" << bin << qint64(900) << true << qint64(-1);
        QTest::newRow("scalar change before first") << "flag" << Search::AnyChange << "" << bin << qint64(0) << false << qint64(-1);
        QTest::newRow("scalar change first") << "flag" << Search::AnyChange << "" << bin << qint64(1) << false << qint64(0);

        QTest::newRow("bus = decimal") << "bus" << Search::Equal << "3" << dec << qint64(0) << true << qint64(500);
        QTest::newRow("bus = binary back") << "bus" << Search::Equal << "0011b" << bin << qint64(1000) << false << qint64(500);
        QTest::newRow("bus = hex") << "bus" << Search::Equal << "7h" << hex << qint64(0) << true << qint64(800);
        QTest::newRow("bus = octal") << "bus" << Search::Equal << "02o" << int(Dovlin_Radix::Octal) << qint64(0) << true
                                     << qint64(900);
        QTest::newRow("bus = all X") << "bus" << Search::Equal << "X" << hex << qint64(0) << true << qint64(-1);
        QTest::newRow("bus > again after X") << "bus" << Search::Greater << "2" << dec << qint64(500) << true << qint64(800);
        QTest::newRow("bus < first change") << "bus" << Search::Less << "2" << dec << qint64(-1) << true << qint64(0);
        QTest::newRow("bus signed <") << "bus" << Search::Less << "-1" << sig << qint64(-1) << true << qint64(-1);
        QTest::newRow("bus rises") << "bus" << Search::Rises << "" << dec << qint64(0) << true << qint64(250);
        QTest::newRow("bus rises not through X") << "bus" << Search::Rises << "" << dec << qint64(500) << true << qint64(-1);
        QTest::newRow("bus falls") << "bus" << Search::Falls << "" << dec << qint64(0) << true << qint64(900);
        QTest::newRow("bus unknown") << "bus" << Search::Unknown << "" << dec << qint64(0) << true << qint64(750);
        QTest::newRow("bus unknown back") << "bus" << Search::Unknown << "" << dec << qint64(1000) << false << qint64(750);
        QTest::newRow("bus change back") << "bus" << Search::AnyChange << "" << dec << qint64(800) << false << qint64(750);
        QTest::newRow("bus change last") << "bus" << Search::AnyChange << "" << dec << qint64(800) << true << qint64(900);
        QTest::newRow("bus change first") << "bus" << Search::AnyChange << "" << dec << qint64(250) << false << qint64(0);

        QTest::newRow("integer = skips repeat") << "count" << Search::Equal << "7" << dec << qint64(40) << true << qint64(-1);
        QTest::newRow("integer = back") << "count" << Search::Equal << "7" << dec << qint64(1000) << false << qint64(40);
        QTest::newRow("integer unsigned >") << "count" << Search::Greater << "5" << dec << qint64(-1) << true << qint64(0);
        QTest::newRow("integer signed >") << "count" << Search::Greater << "5" << sig << qint64(-1) << true << qint64(40);
        QTest::newRow("integer signed rises") << "count" << Search::Rises << "" << sig << qint64(-1) << true << qint64(40);
        QTest::newRow("integer unsigned rises") << "count" << Search::Rises << "" << dec << qint64(-1) << true << qint64(-1);
        QTest::newRow("integer unsigned falls") << "count" << Search::Falls << "" << dec << qint64(-1) << true << qint64(40);
        QTest::newRow("integer last change") << "count" << Search::AnyChange << "" << dec << qint64(40) << true << qint64(100);
        QTest::newRow("integer unknown") << "count" << Search::Unknown << "" << dec << qint64(-1) << true << qint64(-1);
        QTest::newRow("integer hex") << "count" << Search::Equal << "fffffffeh" << hex << qint64(-1) << true << qint64(0);

        QTest::newRow("text =") << "state" << Search::Equal << "busy" << dec << qint64(100) << true << qint64(400);
        QTest::newRow("text = back") << "state" << Search::Equal << " busy" << dec << qint64(400) << false << qint64(100);
        QTest::newRow("text !=") << "state" << Search::NotEqual << "idle" << dec << qint64(-1) << true << qint64(100);
        QTest::newRow("text change, case counts") << "state" << Search::AnyChange << "" << dec << qint64(400) << true << qint64(500);
        QTest::newRow("long text =") << "words" << Search::Equal << "stop" << dec << qint64(0) << true << qint64(30000);
        QTest::newRow("long text = back") << "words" << Search::Equal << "stop" << dec << qint64(49990) << false << qint64(30000);

        QTest::newRow("long = forward") << "ramp" << Search::Equal << "4321" << dec << qint64(0) << true << qint64(43210);
        QTest::newRow("long = back") << "ramp" << Search::Equal << "1234" << dec << qint64(49990) << false << qint64(12340);
        QTest::newRow("long = absent") << "ramp" << Search::Equal << "9999" << dec << qint64(-1) << true << qint64(-1);
        QTest::newRow("long > back") << "ramp" << Search::Greater << "4990" << dec << qint64(49990) << false << qint64(49910);
        QTest::newRow("long unknown") << "toggle" << Search::Unknown << "" << bin << qint64(0) << true << qint64(30000);
        QTest::newRow("long unknown back") << "toggle" << Search::Unknown << "" << bin << qint64(49990) << false << qint64(30000);
        QTest::newRow("long bus = ") << "nibble" << Search::Equal << "5" << dec << qint64(30000) << true << qint64(30130);
        QTest::newRow("long bus = back") << "nibble" << Search::Equal << "1010b" << bin << qint64(49990) << false << qint64(49860);
        // In Names, a literal reads as its value.
        QTest::newRow("literal =") << "nibble" << Search::Equal << " FIVE" << int(Dovlin_Radix::Names) << qint64(30000) << true
                                   << qint64(30130);
        QTest::newRow("long bus = absent") << "nibble" << Search::Equal << "x" << hex << qint64(-1) << true << qint64(-1);
        QTest::newRow("long bus unknown") << "nibble" << Search::Unknown << "" << hex << qint64(0) << true << qint64(30000);
        QTest::newRow("long bus unknown back") << "nibble" << Search::Unknown << "" << hex << qint64(49990) << false
                                               << qint64(30000);
        QTest::newRow("long bus >") << "nibble" << Search::Greater << "14" << dec << qint64(0) << true << qint64(150);
        QTest::newRow("long bus > back") << "nibble" << Search::Greater << "14" << dec << qint64(49990) << false << qint64(49910);
        QTest::newRow("long bus > absent") << "nibble" << Search::Greater << "15" << dec << qint64(-1) << true << qint64(-1);
        QTest::newRow("long bus signed <") << "nibble" << Search::Less << "-7" << sig << qint64(-1) << true << qint64(80);
        QTest::newRow("long bus !=") << "nibble" << Search::NotEqual << "0" << dec << qint64(49600) << true << qint64(49610);
        QTest::newRow("quiet bit = ") << "quiet" << Search::Equal << "111" << bin << qint64(-1) << true << qint64(40000);
        QTest::newRow("quiet bit = back") << "quiet" << Search::Equal << "100" << bin << qint64(49990) << false << qint64(39980);
        QTest::newRow("quiet bit >") << "quiet" << Search::Greater << "5" << dec << qint64(-1) << true << qint64(40000);
        QTest::newRow("long = X absent") << "toggle" << Search::Equal << "z" << bin << qint64(-1) << true << qint64(-1);
    }

    void search()
    {
        QFETCH(QString, node);
        QFETCH(Search::Compare, compare);
        QFETCH(QString, value);
        QFETCH(int, radix);
        QFETCH(qint64, from);
        QFETCH(bool, forward);
        QFETCH(qint64, found);
        Search search;
        QVERIFY2(search.Set(find(node), compare, value, radix), qPrintable(search.ErrorString()));
        QCOMPARE(search.Find(from, forward), found);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("radix");
        QTest::addColumn<Search::Compare>("compare");
        QTest::newRow("too wide") << "bus" << "17" << int(Dovlin_Radix::Unsigned) << Search::Equal;
        QTest::newRow("signed out of range") << "bus" << "-9" << int(Dovlin_Radix::Signed) << Search::Equal;
        QTest::newRow("not hex") << "bus" << "g" << int(Dovlin_Radix::Hexadecimal) << Search::Equal;
        QTest::newRow("two bits on one") << "flag" << "10" << int(Dovlin_Radix::Binary) << Search::Equal;
        QTest::newRow("empty") << "flag" << " " << int(Dovlin_Radix::Binary) << Search::Equal;
        QTest::newRow("integer X") << "count" << "x" << int(Dovlin_Radix::Unsigned) << Search::Equal;
        QTest::newRow("real") << "volts" << "1" << int(Dovlin_Radix::Unsigned) << Search::Equal;
        QTest::newRow("scope") << "top" << "1" << int(Dovlin_Radix::Unsigned) << Search::Equal;
        // Texts are equal or not; they have no order, no edges and no unknown bits.
        QTest::newRow("text <") << "state" << "busy" << int(Dovlin_Radix::Unsigned) << Search::Less;
        QTest::newRow("text empty") << "state" << " " << int(Dovlin_Radix::Unsigned) << Search::Equal;
    }

    void refused()
    {
        QFETCH(QString, node);
        QFETCH(QString, value);
        QFETCH(int, radix);
        QFETCH(Search::Compare, compare);
        Search search;
        QVERIFY(!search.Set(find(node), compare, value, radix));
        QVERIFY(!search.ErrorString().isEmpty());
        QCOMPARE(search.Find(0, true), qint64(-1));
    }

    // Every text the Values column shows for an integer or a bus, taken as it is, is found where
    // the dump sets that value.
    void shownTextIsFound_data()
    {
        QTest::addColumn<int>("radix");
        for (const Dovlin_RadixFormat &format : Dovlin_RadixFormats())
            QTest::newRow(format.m_Name) << format.m_Code;
    }

    void shownTextIsFound()
    {
        QFETCH(int, radix);
        const QString vcd = m_Dir.filePath("numbers.vcd"), wave = m_Dir.filePath("numbers.dvn");
        if (!QFile::exists(wave)) {
            QVERIFY(QFile::copy(QStringLiteral(DOVLIN_TEST_DATA "/values/numbers.vcd"), vcd));
            RecordingReporter reporter;
            QVERIFY(Dovlin_VcdImport(&reporter).Convert(vcd, wave));
        }
        Dovlin_FileManager model;
        QVERIFY2(model.Load(wave), qPrintable(model.ErrorString()));
        int checked = 0;
        for (int i = 0; i < model.GetnHierarchy(); ++i) {
            Dovlin_Hierarchy *node = model.GetHierarchy(i);
            const Dovlin_Signal *signal = node->GetSignal();
            const bool bus = node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite
                             && static_cast<Dovlin_CompositeHierarchy *>(node)->IsBus();
            if (!bus && !(signal && signal->GetTypeCode() == Dovlin_TypeCode::Integer))
                continue;
            node->m_Radix = radix;
            qint64 previous = -1;
            QString before;
            for (const qint64 t : {0, 5, 9, 12}) {
                const QString text = node->ValueText(t);
                if (text == before)
                    continue;
                Search search;
                QVERIFY2(search.Set(node, Search::Equal, text, radix), qPrintable(text + ": " + search.ErrorString()));
                QVERIFY2(search.Find(previous, true) == t, qPrintable(QString("%1 at %2").arg(text).arg(t)));
                previous = t;
                before = text;
                ++checked;
            }
        }
        QCOMPARE(checked, 28);
    }

    // The bar moves the active cursor and keeps the row and the time in view; it says when there is none.
    void valueBar()
    {
        DovlinWidget document(nullptr);
        QVERIFY(document.loadFile(m_Dir.filePath("find.dvn")));
        document.resize(900, 500);
        document.show();
        QVERIFY(QTest::qWaitForWindowExposed(&document));
        Dovlin_NameWidget *tree = document.nameWidget();
        QTreeWidgetItem *line = tree->findItems("bus", Qt::MatchExactly | Qt::MatchRecursive).first();
        tree->setCurrentItem(line);
        document.findValue();
        Dovlin_ValueBar *bar = document.valueBar();
        QTRY_VERIFY(bar->isVisible());
        QVERIFY(document.shapeWidget()->parentWidget()->height() < document.height());
        bar->comparison()->setCurrentIndex(bar->comparison()->findText("="));
        QTest::keyClicks(bar->value(), "3");
        document.setCursorTime(document.defaultCursor(), 0);
        QSignalSpy status(&document, &DovlinWidget::statusMessage);
        QTest::keyClick(bar->value(), Qt::Key_Return);
        QCOMPARE(document.cursorTime(document.defaultCursor()), qint64(500));
        document.findNext();
        QCOMPARE(document.cursorTime(document.defaultCursor()), qint64(500));
        QVERIFY(status.last().first().toString().contains("not after"));

        bar->comparison()->setCurrentIndex(bar->comparison()->findText("is unknown"));
        QVERIFY(!bar->value()->isEnabled());
        // The time lies far right of a zoomed-in window: the canvas scrolls to it.
        document.shapeWidget()->ZoomTime2Time(0, 100);
        document.findNext();
        QCOMPARE(document.cursorTime(document.defaultCursor()), qint64(750));
        QVERIFY(document.shapeWidget()->startScopeTime() <= 750 && 750 < document.shapeWidget()->endScopeTime());
        document.findPrevious();
        QCOMPARE(document.cursorTime(document.defaultCursor()), qint64(750));

        document.findValue();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(bar->comparison()));
        QTest::keyClick(bar->comparison(), Qt::Key_Escape);
        QVERIFY(bar->isHidden());
        QCOMPARE(document.shapeWidget()->parentWidget()->height(), document.height());
    }

private:
    Dovlin_Hierarchy *find(const QString &name) const
    {
        for (int i = 0; i < m_Wave.m_Model.GetnHierarchy(); ++i)
            if (m_Wave.m_Model.GetHierarchy(i)->GetName() == name)
                return m_Wave.m_Model.GetHierarchy(i);
        return nullptr;
    }

    QTemporaryDir m_Dir;
    TestWave m_Wave;
};

QTEST_MAIN(tst_Find)
#include "tst_find.moc"
