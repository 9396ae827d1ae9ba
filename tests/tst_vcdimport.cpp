// The VCD import end to end: dump text in, wave file out, read back with the model.
#include "Dovlin_VcdImport.h"
#include "scopedseams.h"
#include "testfiles.h"
#include "tst_vcdimport_support.h"
#include "vcd_lex.h"
#include "vcd_yacc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdio>

using namespace VcdTesting;

class TestVcdImport : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Dir;
    // Far above what the tests' dumps declare, far below a machine's memory.
    static constexpr qint64 MaxSignals = 100000;
    static constexpr int MaxToken = 200;
    QString write(const QString &name, const QByteArray &text)
    {
        const QString path = m_Dir.filePath(name);
        QFile file(path);
        if (!QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return QString();
        return path;
    }

    // Imports text, by the fast path for value changes unless fast is false, on three threads
    // unless told; on success loads the wave file into model.
    bool import(const QByteArray &text, RecordingReporter &reporter, Dovlin_FileManager &model, bool fast = true,
                int threads = 3);
    static QByteArray toggles(qint64 size)
    {
        QByteArray vcd("$var wire 1 ! a $end\n");
        for (int i = 0; vcd.size() < size; ++i)
            vcd += QStringLiteral("#%1\n%2!\n").arg(i).arg(i % 2).toLatin1();
        return vcd;
    }

    // Not ASCII, and only the last suffix gives way to the wave file's.
    const QString m_DumpPath = m_Dir.filePath(QStringLiteral("wäve ü/dümp €.b.vcd"));
    const QString m_WavePath = m_Dir.filePath(QStringLiteral("wäve ü/dümp €.b.dvn"));

private slots:
    void model_data()
    {
        QTest::addColumn<QByteArray>("vcd");
        QTest::addColumn<QString>("tree");
        QTest::addColumn<int>("timeBase");
        QTest::addColumn<qint64>("endTime");
        QTest::addColumn<QStringList>("warnings");
        const auto row = [](const char *name, const QByteArray &vcd, const char *tree, int timeBase, qint64 endTime,
                            const QStringList &warnings = {}) {
            QTest::newRow(name) << vcd << QString::fromUtf8(tree) << timeBase << endTime << warnings;
        };

        const QByteArray top("$timescale 1ns $end\n$scope module top $end\n");
        row("no range, ascending range, range of another width",
            top + "$var wire 2 # d $end $var wire 2 $ rev [0:1] $end $var wire 3 % m [1:0] $end $upscope $end\n"
                  "b10 # b10 $ b100 %",
            "top(d(d[1]=4:1@0 d[0]=4:0@0) rev(rev[0]=4:1@0 rev[1]=4:0@0) m(m[2]=4:1@0 m[1]=4:0@0 m[0]=4:0@0))", -9, 0);
        row("integers",
            top + "$var integer 32 $ i [31:0] $end $var time 64 ! t $end $var parameter 3 : p $end $upscope $end\n"
                  "#0 b101 $ b101 ! b111 : #1 b11111111111111111111111111111101 $ #2 b0 $",
            "top(i=i:5@0,-3@1,0@2,0@2 t=i:5@0,5@2 p=i:7@0,7@2)", -9, 2);
        row("real values in every form strtod reads",
            top + "$var real 64 % r $end $upscope $end\n#0 r1.5 % #1 r1E3 % #2 r-3.5 % #3 r1e-3 % #4 rNaN % "
                  "#5 rinf % #6 r-inf % #7 r0x1p3 % #8 R.5 % #9 r+2 %",
            "top(r=r:1.5@0,1000@1,-3.5@2,0.001@3,nan@4,inf@5,-inf@6,8@7,0.5@8,2@9,2@9)", -9, 9);
        // GTKWave's fst2vcd writes Verilator's real parameters so.
        row("real parameters", top + "$var real_parameter 64 % rp $end $upscope $end\n#0 r2.5 % #1", "top(rp=r:2.5@0,2.5@1)", -9, 1);
        row("one-bit variables keep their index, integers and reals drop it",
            top + "$var wire 1 ! clk [3] $end $var wire 1 \" en [5:5] $end $var integer 8 # n [7:0] $end\n"
                  "$var real 64 $ x[1] $end $upscope $end",
            "top(clk[3]=4: en[5]=4: n=i: x=r:)", -9, -1);
        row("64-bit time stamps and multipliers",
            "$timescale 100ps $end $var wire 1 ! a $end #55000000 1! #92233720368547758 0!",
            "a=4:1@5500000000,0@9223372036854775800,0@9223372036854775800", -12, 9223372036854775800);
        // Whitespace is passed over unbuffered, however far it runs past the longest word and the read block.
        row("whitespace runs longer than a word, across read blocks",
            "$var wire 1 ! a $end\n#0" + QByteArray(200000, ' ') + "1!\n#1" + QByteArray(150000, '\n') + "0!",
            "a=4:1@0,0@1,0@1", 0, 1);
        row("variables outside scopes, values before the first time stamp, no end of definitions",
            "$var wire 1 ! a $end\n$var wire 1 \" b $end\n0! $dumpvars\n$end\n#0\n1\"\n", "a=4:0@0,0@0 b=4:1@0,1@0", 0, 0);
        row("codes that look like other tokens",
            top + "$var wire 1 0 a $end $var wire 1 1s b $end $var wire 2 0ns c [1:0] $end $var real 64 10 r $end\n"
                  "$var wire 1 # d $end $upscope $end\n#0 10 01s b01 0ns r2.5 10 1 #",
            "top(a=4:1@0,1@0 b=4:0@0,0@0 c(c[1]=4:0@0,0@0 c[0]=4:1@0,1@0) r=r:2.5@0,2.5@0 d=4:1@0,1@0)", -9, 0);
        row("values apart from their codes by any whitespace, CRLF line ends, no line end at the end",
            "$var wire 1 ! a $end\r\n$var wire 2 \" v $end\r\n$var real 64 # r $end\r\n#1 1! b10 \"\r\n#2\r\n0\r\n\t!\r\n"
            "b01\v\f\"\r\nR2.5\r\n#\r\n1\r\n\r\n%\r\n#3 z! r1e1 # b1x \"",
            "a=4:1@1,0@2,Z@3,Z@3 v(v[1]=4:1@1,0@2,1@3,1@3 v[0]=4:0@1,1@2,X@3,X@3) r=r:2.5@2,10@3,10@3", 0, 3,
            {"line 13: value change of the undeclared identifier code '%' left out"});
        row("codes that look like numbers and time stamps", "$var wire 1 5 n $end $var wire 1 #5 t $end #1 15 1#5 #2 0 5 b0 #5",
            "n=4:1@1,0@2,0@2 t=4:1@1,0@2,0@2", 0, 2);
        // Wherever a read block ends in the last lines, a word it may cut is left to the scanner.
        QByteArray filled("$var wire 1 ! a $end $var wire 3 \" v $end $var real 64 # r $end\n#0 0!\n");
        while (filled.size() < vcd_lex::BlockSize - 40)
            filled += "1!\n";
        const QByteArray tail("#7 b101 \" 0\n! r2.5 # x\n%\n#8 b1 \" 1!\n");
        for (int cut = 0; cut <= tail.size(); ++cut) {
            const QByteArray vcd = filled + QByteArray(vcd_lex::BlockSize - cut - filled.size(), ' ') + tail;
            row(qPrintable(QStringLiteral("a read block ending %1 bytes before the end").arg(cut)), vcd,
                "a=4:0@0,1@0,0@7,1@8,1@8 v(v[2]=4:1@7,0@8,0@8 v[1]=4:0@7,0@8 v[0]=4:1@7,1@8) r=r:2.5@7,2.5@8", 0, 8,
                {QStringLiteral("line %1: value change of the undeclared identifier code '%' left out").arg(vcd.count('\n') - 1)});
        }
        row("binary literal prefix in vector values", "$var wire 2 ! p $end $var integer 8 \" n $end b0b10 ! b0b101 \"",
            "p(p[1]=4:1@0 p[0]=4:0@0) n=i:5@0", 0, 0);
        row("escaped names, names with brackets and dots",
            "$scope module gen[0] $end $scope module u.core $end\n"
            "$var wire 1 ! \\bus[3] $end $var wire 1 \" \\a.b $end $var wire 1 # cfg.east_ctr $end\n"
            "$var wire 2 $ mem[0] [1:0] $end $var wire 2 % delays[1][1:0] $end $var wire 2 & x [ 1 : 0 ] $end\n"
            "$upscope $end $upscope $end 1! 0\" 1# b10 $ b01 % b11 &",
            "gen[0](u.core(\\bus[3]=4:1@0 \\a.b=4:0@0 cfg.east_ctr=4:1@0 mem[0](mem[0][1]=4:1@0 mem[0][0]=4:0@0) "
            "delays[1](delays[1][1]=4:0@0 delays[1][0]=4:1@0) x(x[1]=4:1@0 x[0]=4:1@0)))",
            0, 0);
        row("names with percent signs", "$var wire 2 ! a%2b $end b10 !", "a%2b(a%2b[1]=4:1@0 a%2b[0]=4:0@0)", 0, 0);
        row("SystemVerilog and VHDL types",
            "$scope interface bus_if $end $var logic 2 ! l $end $var bit 1 \" b $end $var int 32 # n $end\n"
            "$var string 0 $ s $end $var enum 2 % e $end $var shortreal 32 & f $end $var byte 8 ' y $end\n"
            "$upscope $end $scope vhdl_architecture arch $end $scope vhdl_record rec $end $upscope $end\n"
            "$upscope $end\nb10 ! 1\" b101 # sfoo\\040bar $ b01 % r0.5 & b11111111 '",
            "bus_if(l(l[1]=4:1@0 l[0]=4:0@0) b=4:1@0 n=i:5@0 s=s:\"foo bar\"@0 e(e[1]=4:0@0 e[0]=4:1@0) f=r:0.5@0 "
            "y=i:-1@0) arch(rec())",
            0, 0);
        // Escapes undone (nvc: \040 a blank, \" a quote), then UTF-8, else Latin-1: "\303\251t\303\251" and
        // "\351t\351" are the same text; a byte order mark makes another.
        row("string changes: repeated, empty, escaped, aliased, of the wrong kind",
            "$scope module a $end $var string 0 ! s $end $upscope $end\n"
            "$scope module b $end $var string 0 ! t $end $var string 8 \" u [1:8] $end $var string 0 # v $end\n"
            "$var string 0 $ w $end $upscope $end\n"
            "#0 $dumpvars sidle ! s \" sx $ $end #5 sidle ! s\\040say\\040\\\"hi\\\" ! s\\303\\251t\\303\\251 \"\n"
            "#7 s ! s\\351t\\351 \" sa\\qb\\x41\\ \" s\\357\\273\\277x $ #9 b1 ! 1! r1 !",
            "a(s=s:\"idle\"@0,\" say \"hi\"\"@5,\"\"@7,\"\"@9) "
            "b(t=s:\"idle\"@0,\" say \"hi\"\"@5,\"\"@7,\"\"@9 u=s:\"\"@0,\"été\"@5,\"a\\qbA\\\"@7,\"a\\qbA\\\"@9 v=s: "
            "w=s:\"x\"@0,\"\xEF\xBB\xBFx\"@7,\"\xEF\xBB\xBFx\"@9)",
            0, 9, {"line 5: vector value 'b1' for the string variable '!' left out (and 2 more like it)"});
        row("comments and attributes anywhere, with any text",
            "$comment bus [7:0] $var x $end $scope module m $end $comment [ $end\n"
            "$attrbegin misc 02 STD_LOGIC 1028 $end $var wire 1 ! a $end $attrend $end $upscope $end\n"
            "$date \xc3\xa9t\xc3\xa9 $end #0 $comment ] $end 1! $dumpvars $comment x $end 0! $end",
            "m(a=4:1@0,0@0,0@0)", 0, 0);
        // As fst2vcd -e writes them: a bus and a bit name theirs; one defined with too few items and one
        // never defined are told (the first, with the count), and their variables show numbers.
        row("enumeration tables",
            "$attrbegin misc 07 $unit::s_t 2 IDLE RUN\\040ON 00 01 1 $end $scope module t $end\n"
            "$attrbegin misc 07 \"\" 1 $end $var logic 2 ! s [1:0] $end $attrbegin misc 07 \"\" 1 $end $var logic 1 \" b $end\n"
            "$var wire 1 % d $end $attrbegin misc 07 m_t 3 A B 0 1 2 $end $attrbegin misc 07 \"\" 2 $end $var logic 1 # m $end\n"
            "$attrbegin misc 07 \"\" 9 $end $var wire 1 $ c $end $upscope $end #0 b01 ! 1\" 0# 0$ 0%",
            "t(s<names $unit::s_t IDLE=00 RUN ON=01>(s[1]=4:0@0,0@0 s[0]=4:1@0,1@0) "
            "b<names $unit::s_t IDLE=00 RUN ON=01>=4:1@0,1@0 d=4:0@0,0@0 m=4:0@0,0@0 c=4:0@0,0@0)",
            0, 0, {"line 3: enumeration table 2 not shown (6 items where its count of 3 literals calls for 8): its "
                   "variables show numbers (and 1 more like it)"});
        row("dump commands with and without changes",
            "$var wire 1 ! a $end $enddefinitions $end #0 $dumpvars 0! $end #1 $dumpoff x! $end\n"
            "#2 $dumpon 1! $end $dumpall $end #3 $dumpvars",
            "a=4:0@0,X@1,1@2,1@3", 0, 3);
        row("a scope opened again is the same node",
            "$scope module tb $end $var wire 1 ! a $end $upscope $end\n"
            "$scope module tb $end $scope module d $end $var wire 1 \" b $end $upscope $end $upscope $end\n"
            "$scope module tb $end $scope module d $end $var wire 1 # c $end $upscope $end $upscope $end",
            "tb(a=4: d(b=4: c=4:))", 0, -1);
        row("scope without a name",
            "$scope module  $end $scope module top $end $var wire 1 V clk $end $upscope $end $upscope $end",
            "(top(clk=4:))", 0, -1);
        row("four-state values before the first nine-state one are mapped",
            "$var logic 2 ! v $end $var logic 1 \" w $end #0 b01 ! 1\" #5 b0L ! z\" #6 bx1 ! l\"",
            "v(v[1]=9:0@0,X@6,X@6 v[0]=9:1@0,L@5,1@6,1@6) w=9:1@0,Z@5,L@6,L@6", 0, 6);
        // Only real changes are stored: a bit of a vector that did not change, a repeated value, NaN again.
        row("counter bits change only when they flip",
            "$var reg 3 ! cnt [2:0] $end #0 b0 ! #1 b1 ! #2 b10 ! #3 b11 ! #4 b100 ! #5 b101 ! #6 b110 ! #7 b111 !",
            "cnt(cnt[2]=4:0@0,1@4,1@7 cnt[1]=4:0@0,1@2,0@4,1@6,1@7 cnt[0]=4:0@0,1@1,0@2,1@3,0@4,1@5,0@6,1@7,1@7)", 0, 7);
        // Wider than a word of eight bits: a change in its first and last byte, and in the bits after it.
        row("wide vector bits change only when they flip, short values extended",
            "$var wire 10 ! w $end #0 b0 ! #1 b1000000001 ! #2 bz1 ! #3 b1x00000000 !",
            "w(w[9]=4:0@0,1@1,Z@2,1@3,1@3 w[8]=4:0@0,Z@2,X@3,X@3 w[7]=4:0@0,Z@2,0@3,0@3 w[6]=4:0@0,Z@2,0@3,0@3 w[5]=4:0@0,Z@2,0@3,0@3 w[4]=4:0@0,Z@2,0@3,0@3 w[3]=4:0@0,Z@2,0@3,0@3 w[2]=4:0@0,Z@2,0@3,0@3 w[1]=4:0@0,Z@2,0@3,0@3 "
            "w[0]=4:0@0,1@1,0@3,0@3)", 0, 3);
        row("wide nine-state vector, short values extended",
            "$var logic 9 ! n $end #0 bU ! #1 b1 ! #2 bh0000000l !",
            "n(n[8]=9:U@0,0@1,H@2,H@2 n[7]=9:U@0,0@1,0@2 n[6]=9:U@0,0@1,0@2 n[5]=9:U@0,0@1,0@2 n[4]=9:U@0,0@1,0@2 n[3]=9:U@0,0@1,0@2 n[2]=9:U@0,0@1,0@2 n[1]=9:U@0,0@1,0@2 n[0]=9:U@0,1@1,L@2,L@2)", 0, 2);
        // Words are scanned eight bytes at a time, and binary digits taken so: what stops either.
        row("long codes of high and control bytes, digits other than 0 and 1 in and after the first eight",
            "$var wire 12 \xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9 v $end $var wire 1 abc\x01" "defghij c $end\n"
            "#0 b101010101010 \xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9 1abc\x01" "defghij\n"
            "#1 b1010x0101010 \xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9 0abc\x01" "defghij\n"
            "#2 b101010101x10 \xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\n",
            "v(v[11]=4:1@0,1@2 v[10]=4:0@0,0@2 v[9]=4:1@0,1@2 v[8]=4:0@0,0@2 v[7]=4:1@0,X@1,1@2,1@2 v[6]=4:0@0,0@2 "
            "v[5]=4:1@0,1@2 v[4]=4:0@0,0@2 v[3]=4:1@0,1@2 v[2]=4:0@0,X@2,X@2 v[1]=4:1@0,1@2 v[0]=4:0@0,0@2) "
            "c=4:1@0,0@1,0@2",
            0, 2);
        row("repeated values are not stored again",
            "$var wire 1 ! a $end $var wire 4 \" v $end $var integer 8 # i $end $var real 64 $ r $end\n"
            "#0 1! 0! 1! b0101 \" b101 # rnan $ #2 $dumpall 1! b0101 \" b0101 # rNaN $ $end #3 b101 \" b110 # r1 $ "
            "#4 r1.0 $ 0!",
            "a=4:1@0,0@0,1@0,0@4,0@4 v(v[3]=4:0@0,0@4 v[2]=4:1@0,1@4 v[1]=4:0@0,0@4 v[0]=4:1@0,1@4) i=i:5@0,6@3,6@4 "
            "r=r:nan@0,1@3,1@4",
            0, 4);
        row("events keep every trigger, a repeated one too, without a closing copy",
            "$var event 1 ! ev $end $var wire 1 \" w $end #0 $dumpvars 1! 0\" $end #50 1! #100 1! 1! 1\" #120 0\"",
            "ev=e:1@0,1@50,1@100,1@100 w=4:0@0,1@100,0@120,0@120", 0, 120);
        row("unknown commands counted once", "$var wire 1 ! a $end\n$crash\n$version x $end\n$vcdclose #5 $end\n#1 1!",
            "a=4:1@1,1@1", 0, 1, {"line 2: unknown command '$crash' skipped (and 1 more like it)"});
        row("values of the wrong kind converted or left out",
            "$var integer 32 ! i $end $var real 64 \" r $end $var wire 1 # w $end\n"
            "#0 r2.7 ! b101 \" 1\" #1 rnan ! bx1 \" r1.5 # sword #\n#2 x\"",
            "i=i:3@0,3@2 r=r:5@0,1@0,1@2 w=4:", 0, 2,
            {"line 2: real value 'rnan' does not fit the integer variable '!': left out (and 4 more like it)"});
        row("invalid and too wide values",
            "$var wire 2 ! v $end $var real 64 \" r $end\n#0 b10101 !\nb012 ! r1.5x \" rabc \" b !\n",
            "v(v[1]=4:0@0,0@0 v[0]=4:1@0,1@0) r=r:", 0, 0,
            {"line 3: invalid value '012' for '!' left out (and 3 more like it)",
             "line 2: value '10101' is wider than the 2 bits of '!': its leftmost digits are dropped"});
        row("time going backwards", "$var wire 1 ! a $end\n#10 1!\n#5\n0!\n#7 1!\n#20 0!\n",
            "a=4:1@10,0@10,1@10,0@20,0@20", 0, 20,
            {"line 3: time stamp #5 goes back before 10; value changes are kept at 10 until the time passes it (and 1 "
             "more like it)"});
        row("fractional time stamps refine the time unit",
            "$timescale 10 ns $end $var wire 1 ! a $end\n#1 1!\n#2.25 0!\n#3.5 1!\n", "a=4:1@10000,0@22500,1@35000,1@35000",
            -12, 35000, {"line 3: time stamp #2.25 has a fraction: the time unit is refined to 1 ps"});
        row("fractions finer than femtoseconds are rounded", "$timescale 1 fs $end $var wire 1 ! a $end\n#1.5 1!\n",
            "a=4:1@2,1@2", -15, 2, {"line 2: time stamp #1.5 is finer than the time unit: rounded"});
        row("timescale after the first time stamp", "$var wire 1 ! a $end #1 1! $timescale 1 ns $end #2 0!",
            "a=4:1@1,0@2,0@2", 0, 2, {"line 1: $timescale after the first time stamp ignored"});
        // Six nodes, three signals: each alias reads its original's events.
        row("aliases in another scope and bit order",
            "$scope module tb $end $var wire 1 ! clk $end $var wire 2 \" bus [1:0] $end\n"
            "$scope module dut $end $var wire 1 ! c $end $var wire 2 \" b [0:1] $end $upscope $end\n"
            "$upscope $end #0 1! b10 \" #5 0!",
            "tb(clk=4:1@0,0@5,0@5 bus(bus[1]=4:1@0,1@5 bus[0]=4:0@0,0@5) "
            "dut(c=4:1@0,0@5,0@5 b(b[0]=4:1@0,1@5 b[1]=4:0@0,0@5)))", 0, 5);
        row("changes of undeclared codes reported once", "$var wire 1 ! a $end\n#0\n1!\n1\"\n0\"\nb01 #\nr1 $\n0!\n",
            "a=4:1@0,0@0,0@0", 0, 0,
            {"line 4: value change of the undeclared identifier code '\"' left out (and 3 more like it)"});
        row("alias of another size, vector too wide",
            "$var wire 1 ! a $end $var wire 2 ! b $end $var wire 70000 \" big $end 1! b1 \"", "a=4:1@0", 0, 0,
            {"line 1: 'b' reuses identifier code '!' with another type or size: left out",
             "line 1: variable 'big' of width 70000 left out (widths from 1 to 65536 are imported)"});
    }

    void model()
    {
        QFETCH(QByteArray, vcd);
        QFETCH(QString, tree);
        QFETCH(int, timeBase);
        QFETCH(qint64, endTime);
        QFETCH(QStringList, warnings);

        for (QString &warning : warnings)
            warning.prepend(m_DumpPath + ": ");
        for (const bool fast : {true, false}) {
            RecordingReporter reporter;
            Dovlin_FileManager model;
            QVERIFY2(import(vcd, reporter, model, fast), qPrintable(reporter.m_Errors.join('\n')));
            QCOMPARE(modelText(model), tree);
            QCOMPARE(model.GetTimeBase(), timeBase);
            QCOMPARE(model.GetEndTime(), endTime);
            QCOMPARE(reporter.m_Errors, QStringList());
            QCOMPARE(reporter.m_Warnings, warnings);
        }
    }

    void namesAsWritten_data()
    {
        QTest::addColumn<QByteArray>("declarations");
        QTest::addColumn<QStringList>("paths");

        QTest::newRow("UTF-8, up to four bytes a character")
            << QByteArray("$scope module tëst_日本 $end $var wire 2 ! αβ [1:0] $end $var wire 1 \" 😀 $end $upscope $end")
            << QStringList{"tëst_日本", "tëst_日本.αβ", "tëst_日本.αβ.αβ[0]", "tëst_日本.αβ.αβ[1]", "tëst_日本.😀"};
        QTest::newRow("Latin-1 beside UTF-8, name by name")
            << QByteArray("$scope module caf\xe9 $end $var wire 1 ! größe $end $var wire 1 \" ü\xff $end $upscope $end")
            << QStringList{"café", "café.größe", "café.Ã¼ÿ"};
        QTest::newRow("overlong forms and surrogates are not UTF-8")
            << QByteArray("$var wire 1 ! \xc0\xaf $end $var wire 1 \" \xed\xa0\x80 $end")
            << QStringList{"À¯", QString::fromLatin1("\xed\xa0\x80")};
        // Only what comes before the zero byte is kept, so only that part decides.
        QTest::newRow("cut at the zero byte, then read")
            << QByteArrayLiteral("$scope module ü\0\xff $end $var wire 1 ! a $end $upscope $end") << QStringList{"ü", "ü.a"};
        QTest::newRow("a byte order mark is part of the name")
            << QByteArray("$var wire 1 ! \xef\xbb\xbf" "a $end $var wire 1 \" a $end")
            << QStringList{"a", QChar(0xfeff) + QStringLiteral("a")};
    }

    // The names of the import's own model, before the wave file (which stores Latin-1 for now) is written.
    void namesAsWritten()
    {
        QFETCH(QByteArray, declarations);
        QFETCH(QStringList, paths);

        const QString path = write(QStringLiteral("names.vcd"), declarations + "\n#0\n1!\n");
        FILE *file = std::fopen(QFile::encodeName(path).constData(), "rb");
        QVERIFY(file);
        const auto closeFile = qScopeGuard([file] { std::fclose(file); });
        vcd_lex lexer;
        vcd_yacc parser;
        QVERIFY(parser.yycreate(&lexer) && lexer.yycreate(&parser));
        lexer.yyin = file;
        QCOMPARE(parser.yyparse(), 0);
        QStringList imported = nodesByPath(*parser.m_pFileManager).keys();
        std::sort(imported.begin(), imported.end());
        QCOMPARE(imported, paths);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("vcd");
        QTest::addColumn<QString>("error");

        const QByteArray scope("$scope module m $end\n$var wire 1 ! a $end\n");
        QTest::newRow("syntax error") << scope + "$upscope $end\n#1\n1!\nfoo\n" << "line 6: syntax error: unexpected 'foo'";
        QTest::newRow("end of file inside a scope") << scope << "line 2: syntax error: unexpected end of file inside scope 'm'";
        QTest::newRow("variable without a name") << QByteArray("$var wire 1 ! $end") << "line 1: syntax error: unexpected '$end'";
        QTest::newRow("declaration without its end")
            << QByteArray("$scope module m $end $var wire 1 ! a $var wire 1 \" b $end $upscope $end")
            << "line 1: syntax error: unexpected '$var'";
        QTest::newRow("stray upscope") << QByteArray("$upscope $end") << "line 1: syntax error: unexpected '$upscope'";
        QTest::newRow("value without a code") << QByteArray("b0101") << "line 1: syntax error: unexpected end of file";
        QTest::newRow("stray end") << QByteArray("$var wire 1 ! a $end\n#1\n1!\n$end") << "line 4: $end without a command to end";
        QTest::newRow("invalid time stamp") << QByteArray("#1\n#12a\n") << "line 2: invalid time stamp '#12a'";
        QTest::newRow("time stamp past 2^63")
            << QByteArray("#9223372036854775808") << "line 1: time stamp #9223372036854775808 does not fit in 64 bits";
        QTest::newRow("time stamp times timescale past 2^63")
            << QByteArray("$timescale 100 ps $end\n#92233720368547759")
            << "line 2: time stamp #92233720368547759 times the timescale 100 does not fit in 64 bits";
        QTest::newRow("invalid size") << QByteArray("$var wire x ! a $end") << "line 1: invalid variable size 'x'";
        QTest::newRow("invalid timescale") << QByteArray("$timescale 1 xs $end") << "line 1: invalid timescale '1xs'";
        QTest::newRow("scopes nested too deep") << QByteArray("$scope module s $end\n").repeated(1025)
                                                << "line 1025: scopes and variables nested more than 1024 levels deep";
        // A few lines can declare millions of signals, each taking memory: refused before they do.
        QTest::newRow("too many signals")
            << QByteArray("$var wire 1 ! a $end\n$var wire 65536 \" b $end\n$var wire 65536 # c $end\n")
            << QStringLiteral("line 3: more than %1 signals declared (each bit of a vector and each alias counts), "
                              "the most an import takes; dovlin-convert --max-signals N or the environment variable "
                              "DOVLIN_MAX_SIGNALS=N sets another limit").arg(MaxSignals);
        QTest::newRow("word too long")
            << "$var wire 1 ! a $end\n#0\n1" + QByteArray(MaxToken + 1, 'c')
            << QStringLiteral("line 3: a word longer than %1 bytes (lex text buffer overflow (%1))").arg(MaxToken);
        // The scanner keeps the byte after a word too.
        QTest::newRow("word of the longest length, in a line")
            << "$var wire 1 ! a $end\n#0 1!\n\n1" + QByteArray(MaxToken - 1, 'c') + " 0!\n"
            << QStringLiteral("line 4: a word longer than %1 bytes (lex text buffer overflow (%1))").arg(MaxToken);
    }

    void refused()
    {
        QFETCH(QByteArray, vcd);
        QFETCH(QString, error);

        for (const bool fast : {true, false}) {
            RecordingReporter reporter;
            Dovlin_FileManager model;
            QVERIFY(!import(vcd, reporter, model, fast));
            QCOMPARE(reporter.m_Errors, QStringList{"Cannot import " + m_DumpPath + ": " + error});
            QVERIFY(!QFile::exists(m_WavePath));
        }
    }

    void unopenableFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");

        QTest::newRow("missing") << "missing.vcd" << "No such file or directory";
        QTest::newRow("directory") << "" << "it is a directory";
    }

    void unopenableFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);

        const QString path = name.isEmpty() ? m_Dir.path() : m_Dir.filePath(name);
        RecordingReporter reporter;
        Dovlin_VcdImport importer(&reporter);
        QVERIFY(!importer.Convert(path));
        QCOMPARE(reporter.m_Errors, QStringList{"Cannot import " + path + ": " + reason});
        QCOMPARE(reporter.m_Progress, QList<qint64>());
        QVERIFY(!QFile::exists(importer.WaveFileName()));
    }

    void unwritableWaveFile_data()
    {
        QTest::addColumn<bool>("named");
        QTest::newRow("named, in a missing folder") << true;
        QTest::newRow("a folder where it goes, a file where the cache folder goes") << false;
    }

    // A wave file named by the caller is not moved to the cache; one that cannot go beside the dump
    // goes there, and fails when neither place takes it (tst_mainwindow opens cached ones). A
    // folder in the way stops root too.
    void unwritableWaveFile()
    {
        QFETCH(bool, named);
        const QString folder = QStringLiteral("unwritable/%1/").arg(named);
        const QString path = write(folder + "run.vcd", "$var wire 1 ! a $end #1 1!");
        const QString cache = write(folder + "cache", "a file");
        QVERIFY(QDir().mkpath(m_Dir.filePath(folder + "run.dvn")));
        const ScopedEnvironment cacheHome("XDG_CACHE_HOME", QFile::encodeName(cache));
        const QString wave = named ? m_Dir.filePath(folder + "missing/run.dvn") : m_Dir.filePath(folder + "run.dvn");
        RecordingReporter reporter;
        Dovlin_VcdImport importer(&reporter);
        QVERIFY(!(named ? importer.Convert(path, wave) : importer.Convert(path)));
        const QString cached = Dovlin_VcdImport::CachedWaveFileFor(path);
        const QString cannot = named ? "cannot write " + wave : QStringLiteral("cannot write %1, nor %2").arg(wave, cached);
        QCOMPARE(reporter.m_Errors.size(), 1);
        QVERIFY2(reporter.m_Errors.first().startsWith("Cannot import " + path + ": " + cannot + ": "),
                 qPrintable(reporter.m_Errors.first()));
        QVERIFY(!QFileInfo(wave).isFile() && !QFileInfo(cached).isFile());
    }

    void failureKeepsOldWaveFile_data()
    {
        QTest::addColumn<QByteArray>("vcd");
        QTest::addColumn<qint64>("cancelAt");
        QTest::addColumn<qint64>("cancelWriteAt");

        QTest::newRow("syntax error") << QByteArray("$var wire 1 ! a $end\n#1 1!\nfoo") << qint64(-1) << qint64(-1);
        QTest::newRow("cancelled") << toggles(3 * vcd_lex::BlockSize) << qint64(vcd_lex::BlockSize) << qint64(-1);
        // Past the first block the scanner jumps over chunks that workers read and reports there.
        QTest::newRow("cancelled with chunks in flight") << toggles(6 << 20) << qint64(3 << 20) << qint64(-1);
        QTest::newRow("cancelled while writing")
            << QByteArray("$var wire 1 ! a $end $var wire 1 \" b $end\n#1 1! 0\"") << qint64(-1) << qint64(1);
    }

    void failureKeepsOldWaveFile()
    {
        QFETCH(QByteArray, vcd);
        QFETCH(qint64, cancelAt);
        QFETCH(qint64, cancelWriteAt);

        const QString path = write(QStringLiteral("old.vcd"), vcd);
        const QString wave = write(QStringLiteral("old.dvn"), "previous wave file");
        RecordingReporter reporter;
        reporter.m_CancelAt = cancelAt;
        reporter.m_CancelWriteAt = cancelWriteAt;
        Dovlin_VcdImport importer(&reporter);
        Dovlin_ImportLimits limits;
        limits.m_Threads = 2;
        importer.SetLimits(limits);
        QVERIFY(!importer.Convert(path));
        const bool cancelled = cancelAt >= 0 || cancelWriteAt >= 0;
        QCOMPARE(importer.Cancelled(), cancelled);
        QCOMPARE(reporter.m_Errors.size(), cancelled ? 0 : 1);
        QCOMPARE(TestFiles::ReadAll(wave), QByteArray("previous wave file"));
        // Neither a temporary wave file nor an event file is left.
        QCOMPARE(QDir(m_Dir.path()).entryList({"old*", ".*"}, QDir::Files | QDir::Hidden), (QStringList{"old.dvn", "old.vcd"}));
    }

    // The old file's nodes are found by dotted path, not by table position or by name alone: the
    // second dump declares the scopes in another order and adds a signal. Only the tree and the view
    // of the old file are read: a file whose events are lost hands them on all the same.
    void viewFlagsCarriedOver_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("eventsLost");
        QTest::newRow("format 2") << int(Dovlin_WaveFormat::Format2) << false;
        QTest::newRow("format 2, events damaged") << int(Dovlin_WaveFormat::Format2) << true;
        QTest::newRow("format 1, its header alone") << int(Dovlin_WaveFormat::Format1) << true;
    }

    void viewFlagsCarriedOver()
    {
        QFETCH(int, format);
        QFETCH(bool, eventsLost);
        const QByteArray u("$scope module u $end $var wire 1 # a $end $upscope $end\n");
        const QByteArray w("$scope module w $end $var wire 1 $ a $end $upscope $end\n");
        const QByteArray head("$scope module top $end $var wire 1 ! clk $end $var wire 2 \" v [1:0] $end\n");
        const QByteArray tail("$upscope $end $enddefinitions $end #0 0! b01 \" 1# 0$ #5 1!\n");
        const QString path = write(QStringLiteral("flags.vcd"), head + u + w + tail);
        RecordingReporter reporter;
        Dovlin_VcdImport importer(&reporter);
        QVERIFY(importer.Convert(path));
        const QString wave = importer.WaveFileName();
        Dovlin_SavedView view;
        view.m_Present = true;
        view.m_Cursors = {1, 3};
        {
            Dovlin_FileManager chosen;
            QVERIFY(chosen.Load(wave));
            const QHash<QString, Dovlin_Hierarchy *> nodes = nodesByPath(chosen);
            static_cast<Dovlin_CompositeHierarchy *>(nodes.value("top"))->m_Expanded = false;
            nodes.value("top.clk")->m_Shown = false;
            nodes.value("top.v")->m_Digital = false;
            nodes.value("top.v")->m_Radix = Dovlin_Radix::Signed;
            static_cast<Dovlin_CompositeHierarchy *>(nodes.value("top.v"))->m_Expanded = false;
            nodes.value("top.u.a")->m_Shown = false;
            chosen.SetSavedView(view);
            // Format 1 as its header alone, format 2 with its last checksum, which is of the events, damaged.
            QFile old(wave);
            QVERIFY(eventsLost && format == Dovlin_WaveFormat::Format1 ? old.open(QIODevice::WriteOnly) && chosen.SaveHeader(&old)
                                                                      : chosen.Save(wave, -1, format));
            QVERIFY(!eventsLost || format == Dovlin_WaveFormat::Format1
                    || (old.open(QIODevice::ReadWrite) && old.seek(old.size() - 4) && old.write("\xff\xff\xff\xff") == 4));
        }
        QVERIFY(!eventsLost || !Dovlin_FileManager().Load(wave));
        // The file still holds the dump it recorded; one of format 1 records none.
        QCOMPARE(Dovlin_VcdImport::WaveFileUpToDate(path, wave), format == Dovlin_WaveFormat::Format2);

        QVERIFY(!write(QStringLiteral("flags.vcd"), head + "$var wire 1 % n $end\n" + w + u + tail).isEmpty());
        QVERIFY(importer.Convert(path));
        Dovlin_FileManager model;
        QVERIFY(model.Load(wave));
        const QHash<QString, Dovlin_Hierarchy *> nodes = nodesByPath(model);
        QVERIFY(!static_cast<Dovlin_CompositeHierarchy *>(nodes.value("top"))->m_Expanded);
        QVERIFY(!nodes.value("top.clk")->m_Shown);
        QVERIFY(!nodes.value("top.v")->m_Digital);
        QVERIFY(!static_cast<Dovlin_CompositeHierarchy *>(nodes.value("top.v"))->m_Expanded);
        QVERIFY(nodes.value("top.v.v[1]")->m_Digital);
        QVERIFY(!nodes.value("top.u.a")->m_Shown);
        QVERIFY(nodes.value("top.w.a")->m_Shown);
        QVERIFY(nodes.value("top.n")->m_Shown);
        QVERIFY(static_cast<Dovlin_CompositeHierarchy *>(nodes.value("top.w"))->m_Expanded);
        // Format 1 keeps neither a radix nor a view.
        QCOMPARE(nodes.value("top.v")->m_Radix == Dovlin_Radix::Signed, format == Dovlin_WaveFormat::Format2);
        QCOMPARE(model.SavedView().m_Cursors, format == Dovlin_WaveFormat::Format2 ? view.m_Cursors : std::vector<qint64>());
    }

    void progressPerBlock()
    {
        const QByteArray vcd = toggles(3 * vcd_lex::BlockSize);
        RecordingReporter reporter;
        Dovlin_FileManager model;
        // On one thread: with more, the scanner jumps over the chunks that others read.
        QVERIFY(import(vcd, reporter, model, true, 1));
        const qint64 size = vcd.size();
        QCOMPARE(reporter.m_Total, size);
        QList<qint64> expected;
        for (qint64 read = vcd_lex::BlockSize; read < size; read += vcd_lex::BlockSize)
            expected << read;
        expected << size;
        QCOMPARE(reporter.m_Progress, expected);
    }

    // The changes are stored by other threads: a command after many of them (a finer time unit, a
    // declaration reusing a code, a nine-state value) must see every change before it stored.
    void queuedChangesMeetLaterCommands_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<qint64>("scale");
        QTest::addColumn<int>("typeCode");
        QTest::addColumn<QStringList>("leaves");
        QTest::newRow("fractional time stamp") << QByteArray("#200000.5 1!\n") << qint64(1000)
                                               << int(Dovlin_TypeCode::Verilog) << QStringList{"a"};
        QTest::newRow("declaration reusing a code") << QByteArray("$var wire 1 ! late $end\n#200000 1!\n") << qint64(1)
                                                    << int(Dovlin_TypeCode::Verilog) << QStringList{"a", "late"};
        QTest::newRow("nine-state value") << QByteArray("#200000 u!\n") << qint64(1) << int(Dovlin_TypeCode::StdLogic)
                                          << QStringList{"a"};
    }

    void queuedChangesMeetLaterCommands()
    {
        QFETCH(QByteArray, tail);
        QFETCH(qint64, scale);
        QFETCH(int, typeCode);
        QFETCH(QStringList, leaves);
        constexpr int changes = 200000;
        // The body is read in chunks by other threads until the command stops them.
        QByteArray vcd("$timescale 1 ns $end\n$var wire 1 ! a $end\n$enddefinitions $end\n");
        for (int i = 0; i < changes; ++i)
            vcd += "#" + QByteArray::number(i) + (i % 2 ? "\n0!\n" : "\n1!\n");
        vcd += tail;
        RecordingReporter reporter;
        Dovlin_FileManager model;
        QVERIFY2(import(vcd, reporter, model), qPrintable(reporter.m_Errors.join('\n')));
        QCOMPARE(model.GetnSignal(), 1);
        Dovlin_Signal *signal = model.GetSignal(0);
        QCOMPARE(signal->GetTypeCode(), typeCode);
        // The sentinel, every toggle, the last change and its closing copy.
        QCOMPARE(signal->GetnEvent(), qint64(changes) + 3);
        for (qint64 i = 1; i <= changes; ++i) {
            if (signal->GetEvent(i)->m_Time != (i - 1) * scale)
                QFAIL(qPrintable(QString("event %1 at %2").arg(i).arg(signal->GetEvent(i)->m_Time)));
        }
        QStringList names;
        for (int h = 0; h < model.GetnHierarchy(); ++h) {
            Dovlin_Hierarchy *node = model.GetHierarchy(h);
            names << node->GetName();
            QCOMPARE(node->GetSignal(), signal);
        }
        QCOMPARE(names, leaves);
    }

    void sameForAnyThreads_data()
    {
        QTest::addColumn<int>("late");
        // Integers that take an unknown bit and four-state vectors that take a nine-state value, early
        // (the signals are made so) or late (after many values, some of them in the temporary file).
        QTest::newRow("early") << 0;
        QTest::newRow("late") << 15000;
    }

    // A dump of every kind of variable, with problems strewn in, converts to the same wave file and
    // messages on one thread, on two, and on eight with every packed box in the temporary file.
    void sameForAnyThreads()
    {
        QFETCH(int, late);
        QByteArray vcd("$timescale 1 ps $end\n$scope module top $end\n");
        constexpr int variables = 60;
        for (int v = 0; v < variables; ++v) {
            const char *declarations[] = {"wire 1", "reg 8", "wire 33", "integer 32", "real 64", "event 1", "string 1"};
            vcd += QStringLiteral("$var %1 v%2 n%2 $end\n").arg(declarations[v % 7]).arg(v).toLatin1();
        }
        vcd += "$upscope $end\n$enddefinitions $end\n";
        quint32 random = 7;
        const auto next = [&random](quint32 bound) {
            random = random * 1664525u + 1013904223u;
            return (random >> 8) % bound;
        };
        for (int step = 0; step < 25000; ++step) {
            // Now and then a time stamp that goes back.
            vcd += "#" + QByteArray::number(step % 997 == 5 ? step - 3 : step) + "\n";
            if (step % 1009 == 0)
                vcd += step % 2 ? "$dumpoff\n" : "$dumpvars\n";
            if (step % 3001 == 7)
                vcd += "$comment read by the parser $end\n";
            for (int change = 0; change < 6; ++change) {
                const int v = int(next(variables));
                const QByteArray code = "v" + QByteArray::number(v);
                QByteArray digits;
                for (int b = 0, width = v % 7 == 1 ? 8 : 33; b < width; ++b)
                    digits += "01"[next(2)];
                const bool odd = step >= late && next(50) == 0;
                switch (v % 7) {
                case 0: vcd += (odd ? "u" : QByteArray(1, "01"[next(2)])) + code + "\n"; break;
                case 1: vcd += "b" + (odd ? "w" + digits.mid(1) : digits) + " " + code + "\n"; break;
                case 2: vcd += "b" + (next(300) == 0 ? "1" + digits : digits) + " " + code + "\n"; break;
                case 3: vcd += "b" + (odd ? "x" + digits.left(31) : digits.left(32)) + " " + code + "\n"; break;
                case 4: vcd += "r" + QByteArray::number(next(1000) / 8.0) + " " + code + "\n"; break;
                case 5: vcd += "1" + code + "\n"; break;
                default: vcd += "sstate" + QByteArray::number(next(4)) + " " + code + "\n"; break;
                }
            }
            // A text for a wire, an escaped text and an empty one, each where a worker may read it.
            if (step % 5003 == 17)
                vcd += "bz2 v1\n1nowhere\nsstray v0\nsa\\x20b\\tc v6\ns v13\n";
            if (step % 1009 == 500)
                vcd += "$end\n";
        }
        const QString path = write(QStringLiteral("threads.vcd"), vcd);
        QByteArray first;
        QStringList firstMessages;
        for (const int threads : {1, 2, 8}) {
            const QString wave = m_Dir.filePath(QStringLiteral("threads%1.dvn").arg(threads));
            RecordingReporter reporter;
            Dovlin_VcdImport importer(&reporter);
            Dovlin_ImportLimits limits;
            limits.m_Threads = threads;
            limits.m_MemoryBudget = threads == 8 ? 0 : limits.m_MemoryBudget;
            importer.SetLimits(limits);
            QVERIFY2(importer.Convert(path, wave), qPrintable(reporter.m_Errors.join('\n')));
            const QByteArray bytes = TestFiles::ReadAll(wave);
            QVERIFY(!bytes.isEmpty());
            if (threads == 1) {
                first = bytes;
                firstMessages = reporter.m_Warnings;
                // Time going back, an invalid and a wide value, an undeclared code, a text for a wire.
                QCOMPARE(firstMessages.size(), 5);
                continue;
            }
            QCOMPARE(reporter.m_Warnings, firstMessages);
            QVERIFY2(bytes == first, qPrintable(QStringLiteral("%1 threads").arg(threads)));
        }
    }
};

bool TestVcdImport::import(const QByteArray &text, RecordingReporter &reporter, Dovlin_FileManager &model, bool fast,
                           int threads)
{
    const QString path = write(QStringLiteral("wäve ü/dümp €.b.vcd"), text);
    QFile::remove(m_WavePath);
    Dovlin_VcdImport importer(&reporter);
    importer.SetFastPath(fast);
    Dovlin_ImportLimits limits;
    limits.m_MaxSignals = MaxSignals;
    limits.m_MaxTokenLength = MaxToken;
    // More threads than the variables of most cases: some own none.
    limits.m_Threads = threads;
    importer.SetLimits(limits);
    if (!importer.Convert(path))
        return false;
    if (importer.WaveFileName() != m_WavePath)
        reporter.m_Errors << "wave file named " + importer.WaveFileName();
    return importer.WaveFileName() == m_WavePath && model.Load(m_WavePath);
}

QTEST_GUILESS_MAIN(TestVcdImport)
#include "tst_vcdimport.moc"
