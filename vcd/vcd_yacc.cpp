#include "vcd_yacc.h"

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_ImportReporter.h"
#include "Dovlin_Signals.h"
#include "Dovlin_Utilities.h"
#include "vcd_yacc_tables.h"
#include "vcd_yacc_tokens.h"

#include <QDir>
#include <QFileInfo>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {
// Variable kinds, the value of var_type.
enum Kind { Logic = 0, Integer = 1, Real = 2 };

// A real value given to an integer variable: truncated, pinned to the 64-bit range, NaN as 0.
qint64 toInteger(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 9223372036854775807.0)
        return LLONG_MAX;
    if (value <= -9223372036854775808.0)
        return LLONG_MIN;
    return qint64(value);
}
}

vcd_yacc::vcd_yacc()
    : m_pFileManager(new Dovlin_FileManager)
{
    yytables();
}

vcd_yacc::~vcd_yacc()
{
    m_HierarchyMap.clear();
    delete m_pFileManager;
}

void vcd_yacc::yytables()
{
    yyinstall(vcd_yacc_tables());
}

void vcd_yacc::SetVCDFileName(QString path)
{
    m_VCDFileName = path;
    const QFileInfo info(path);
    m_WaveFileName = QDir::toNativeSeparators(info.absolutePath() + "/" + info.completeBaseName()) + ".dvn";
}

bool vcd_yacc::Convert()
{
    if (m_pFileManager->Save(m_WaveFileName, m_LastTime))
        return true;
    m_ErrorString = m_pFileManager->ErrorString();
    return false;
}

int vcd_yacc::GetStateCode(char c) const
{
    switch (c) {
    case '0':
        return 0;
    case '1':
        return 1;
    case 'z':
    case 'Z':
        return 2;
    default:
        return 3;
    }
}

QString vcd_yacc::CompleteVectorState(QString value, int width)
{
    const int missing = width - int(value.size());
    if (missing <= 0 || value.isEmpty())
        return value;
    const QChar first = value.at(0);
    const QChar fill = first == QLatin1Char('1') ? QLatin1Char('0') : first;
    return QString(missing, fill) + value;
}

const char *vcd_yacc::TokenText() const
{
    return yylexerptr->yytext;
}

int vcd_yacc::TokenLength() const
{
    return yylexerptr->yyleng;
}

int vcd_yacc::Line() const
{
    return yylexerptr->yylineno;
}

void vcd_yacc::Fail(const QString &reason)
{
    if (m_ErrorString.isEmpty())
        m_ErrorString = QStringLiteral("%1 at line %2").arg(reason).arg(Line());
    yyexitflg = true;
    yyexitcode = FailedParse;
}

void vcd_yacc::yysyntaxerror()
{
    m_SyntaxErrorLine = Line();
    yyparser::yysyntaxerror();
}

bool vcd_yacc::ParseNumber(int offset, qint64 &value) const
{
    const char *text = TokenText();
    quint64 result = 0;
    for (int i = offset; i < TokenLength(); ++i) {
        const char c = text[i];
        if (c == '_')
            continue;
        if (c < '0' || c > '9')
            break;
        if (result > (quint64(LLONG_MAX) - quint64(c - '0')) / 10)
            return false;
        result = result * 10 + quint64(c - '0');
    }
    value = qint64(result);
    return true;
}

void vcd_yacc::SetTimeUnit(int exponent)
{
    m_pFileManager->SetTimeBase(exponent);
}

int vcd_yacc::yyaction(int action)
{
    switch (action) {
    case 9: { // timescale_command : TIMESCALE timescale_number time_unit END
        const qint64 multiplier = yyarg<qint64>(2);
        if (multiplier <= 0) {
            Fail(QStringLiteral("timescale %1 is not a positive number of time units").arg(multiplier));
            break;
        }
        m_TimeMultiplier = multiplier;
        SetTimeUnit(yyarg<int>(3));
        break;
    }
    case 10: // timescale_command : TIMESCALE time_unit END
        SetTimeUnit(yyarg<int>(2));
        break;
    case 13: { // scope_begin : (the name before END names the new scope)
        auto *scope = new Dovlin_CompositeHierarchy(m_pFileManager);
        scope->SetName(QString::fromLatin1(m_Name));
        m_Scopes.push_back(scope);
        yysetvalue<Dovlin_Hierarchy *>(scope);
        break;
    }
    case 14: { // scope : SCOPE scope_type name END scope_begin scope_items UPSCOPE END
        Dovlin_Hierarchy *scope = m_Scopes.back();
        m_Scopes.pop_back();
        yysetvalue<Dovlin_Hierarchy *>(scope);
        break;
    }
    case 15: // scope_items : scope_items scope
    case 16: // scope_items : scope_items var_declaration
        m_Scopes.back()->AddHierarchy(yyarg<Dovlin_Hierarchy *>(2));
        break;
    case 17: // scope_items : scope
    case 18: // scope_items : var_declaration
        m_Scopes.back()->AddHierarchy(yyarg<Dovlin_Hierarchy *>(1));
        break;
    case 20: // var_declaration : VAR var_type var_size identifier_code reference END
        DeclareVariable(yyarg<int>(2), yyarg<qint64>(3));
        break;
    case 22: { // number : DECIMAL_NUMBER
        qint64 value = 0;
        if (!ParseNumber(0, value))
            Fail(QStringLiteral("number %1 does not fit in 64 bits").arg(QString::fromLatin1(TokenText())));
        yysetvalue<qint64>(value);
        break;
    }
    case 26: // time_unit : UNIT_S
        yysetvalue<int>(0);
        break;
    case 27: // UNIT_MS
        yysetvalue<int>(-3);
        break;
    case 28: // UNIT_US
        yysetvalue<int>(-6);
        break;
    case 29: // UNIT_NS
        yysetvalue<int>(-9);
        break;
    case 30: // UNIT_PS
        yysetvalue<int>(-12);
        break;
    case 31: // UNIT_FS
        yysetvalue<int>(-15);
        break;
    case 32: { // time_unit : TIME_VALUE, a number and a unit in one token
        qint64 multiplier = 0;
        if (!ParseNumber(0, multiplier) || multiplier <= 0) {
            Fail(QStringLiteral("timescale %1 is not a positive number of time units")
                     .arg(QString::fromLatin1(TokenText())));
            break;
        }
        m_TimeMultiplier = multiplier;
        const char *unit = TokenText();
        while (*unit == '_' || (*unit >= '0' && *unit <= '9'))
            ++unit;
        static const struct { char letter; int exponent; } units[] = {
            {'f', -15}, {'m', -3}, {'n', -9}, {'p', -12}, {'s', 0}, {'u', -6}};
        int exponent = 0;
        for (const auto &u : units)
            if (*unit == u.letter)
                exponent = u.exponent;
        yysetvalue<int>(exponent);
        break;
    }
    case 38: // var_type : EVENT
    case 42: // REG
    case 43: // SUPPLY0
    case 44: // SUPPLY1
    case 46: // TRI
    case 47: // TRIAND
    case 48: // TRIOR
    case 49: // TRIREG
    case 50: // TRI0
    case 51: // TRI1
    case 52: // WIRE
    case 53: // WAND
    case 54: // WOR
        yysetvalue<int>(Logic);
        break;
    case 39: // INTEGER
    case 40: // PARAMETER
    case 45: // TIME
        yysetvalue<int>(Integer);
        break;
    case 41: // REAL
        yysetvalue<int>(Real);
        break;
    case 55: // name : UNIT_S ... IDENTIFIER
    case 56:
    case 57:
    case 58:
    case 59:
    case 60:
    case 61:
    case 62:
    case 63:
    case 64:
        m_Name = QByteArray(TokenText(), TokenLength());
        break;
    case 65: // identifier_code : name
        m_Code = m_Name;
        break;
    case 66: // identifier_code : DECIMAL_NUMBER, TIME_VALUE, IDENTIFIER_CODE, BIT_ or RANGE_REFERENCE
    case 67:
    case 68:
    case 69:
    case 70:
        m_Code = QByteArray(TokenText(), TokenLength());
        break;
    case 71: // reference : name
        m_Reference = {QString::fromLatin1(m_Name), -1, -1};
        break;
    case 72: { // reference : name LEFT_BRACKET number RIGHT_BRACKET
        const qint64 index = yyarg<qint64>(3);
        if (index > INT_MAX) {
            Fail(QStringLiteral("index %1 is too large").arg(index));
            break;
        }
        m_Reference = {QString::fromLatin1(m_Name), 0, int(index) - 1};
        break;
    }
    case 73: { // reference : name LEFT_BRACKET number COLON number RIGHT_BRACKET
        const qint64 left = yyarg<qint64>(3), right = yyarg<qint64>(5);
        if (left > INT_MAX || right > INT_MAX) {
            Fail(QStringLiteral("index range [%1:%2] is too large").arg(left).arg(right));
            break;
        }
        m_Reference = {QString::fromLatin1(m_Name), int(left), int(right)};
        break;
    }
    case 74: // reference : BIT_REFERENCE
    case 75: { // reference : RANGE_REFERENCE
        QByteArray text;
        for (int i = 0; i < TokenLength(); ++i) {
            const char c = TokenText()[i];
            if (c != ' ' && c != '\n' && c != '\t' && c != '\v' && c != '\r' && c != '\f')
                text += c;
        }
        const int bracket = int(text.indexOf('['));
        qint64 numbers[2] = {0, 0};
        int count = 0;
        qint64 current = 0;
        bool overflow = false;
        for (int i = bracket + 1; i < text.size() && count < 2; ++i) {
            const char c = text.at(i);
            if (c >= '0' && c <= '9') {
                current = current * 10 + (c - '0');
                overflow |= current > INT_MAX;
            } else if (c == ':' || c == ']') {
                numbers[count++] = current;
                current = 0;
            }
        }
        if (overflow) {
            Fail(QStringLiteral("index in %1 is too large").arg(QString::fromLatin1(text)));
            break;
        }
        const QString name = QString::fromLatin1(text.left(bracket));
        if (action == 74)
            m_Reference = {name, 0, int(numbers[0]) - 1};
        else
            m_Reference = {name, int(numbers[0]), int(numbers[1])};
        break;
    }
    case 82: // simulation_command : SIMULATION_TIME
        SetTime();
        break;
    case 85: // value_change : BINARY_VALUE
        ScalarChange();
        break;
    case 86: // value_change : vector_value identifier_code
        VectorChange();
        break;
    case 87: // value_change : real_value identifier_code
        RealChange();
        break;
    case 88: // vector_value : BINARYVECTOR_VALUE
    case 89: // real_value : REAL_VALUE
        m_Value = QByteArray(TokenText(), TokenLength());
        break;
    default:
        break;
    }
    return 0;
}

void vcd_yacc::DeclareVariable(int kind, qint64 size)
{
    yysetvalue<Dovlin_Hierarchy *>(nullptr);
    if (m_HierarchyMap.contains(m_Code))
        return;
    const VcdReference &ref = m_Reference;
    if (kind == Logic && (size < 1 || size > MaxVectorWidth)) {
        if (m_Reporter)
            m_Reporter->Warning(QStringLiteral("%1, line %2: variable '%3' of width %4 is skipped (widths from 1 to %5 "
                                               "are imported)")
                                    .arg(m_VCDFileName)
                                    .arg(Line())
                                    .arg(ref.name)
                                    .arg(size)
                                    .arg(MaxVectorWidth));
        return;
    }

    if (size == 1 || kind != Logic) {
        Dovlin_Signal *signal;
        if (kind == Integer)
            signal = new Dovlin_IntSignal(m_pFileManager);
        else if (kind == Real)
            signal = new Dovlin_RealSignal(m_pFileManager);
        else
            signal = new Dovlin_StateSignalT<Dovlin_VerilogType>(m_pFileManager);
        auto *node = new Dovlin_ScalarHierarchy(m_pFileManager);
        node->SetName(ref.right != -1 ? QStringLiteral("%1[%2]").arg(ref.name).arg(ref.right) : ref.name);
        node->SetSignal(signal);
        m_HierarchyMap.insert(m_Code, node);
        yysetvalue<Dovlin_Hierarchy *>(node);
        return;
    }

    const int width = int(size);
    auto *bus = new Dovlin_CompositeHierarchy(m_pFileManager);
    bus->SetName(ref.name);
    m_HierarchyMap.insert(m_Code, bus);
    int lo = qMin(ref.left, ref.right);
    if (lo < 0)
        lo = 0;
    // The declared width wins over the declared range.
    for (int i = 0; i < width; ++i) {
        auto *signal = new Dovlin_StateSignalT<Dovlin_VerilogType>(m_pFileManager);
        auto *bit = new Dovlin_ScalarHierarchy(m_pFileManager);
        bit->SetName(QStringLiteral("%1[%2]").arg(ref.name).arg(qint64(lo) + i));
        bit->SetSignal(signal);
        bus->AddHierarchy(bit);
    }
    yysetvalue<Dovlin_Hierarchy *>(bus);
}

void vcd_yacc::SetTime()
{
    qint64 stamp = 0;
    qint64 time = 0;
    if (!ParseNumber(1, stamp) || __builtin_mul_overflow(stamp, m_TimeMultiplier, &time)) {
        Fail(QStringLiteral("time stamp %1 does not fit in 64 bits").arg(QString::fromLatin1(TokenText())));
        return;
    }
    m_CurrentTime = time;
    if (m_CurrentTime > m_LastTime)
        m_LastTime = m_CurrentTime;
}

Dovlin_Hierarchy *vcd_yacc::Lookup(const char *caption)
{
    if (Dovlin_Hierarchy *node = m_HierarchyMap.value(m_Code))
        return node;
    if (m_UndeclaredChanges++ == 0 && m_Reporter)
        m_Reporter->Error(QString::fromLatin1(caption),
                          QStringLiteral("VCD Error\n\nThe identifier code '%1' at line %2 of %3 was never declared; "
                                         "its value changes are left out.")
                              .arg(QString::fromLatin1(m_Code))
                              .arg(Line())
                              .arg(m_VCDFileName));
    return nullptr;
}

void vcd_yacc::AddBits(Dovlin_CompositeHierarchy *bus, const QByteArray &digits)
{
    const int width = bus->GetnChild();
    if (digits.isEmpty() || width == 0)
        return;
    const QByteArray value = CompleteVectorState(QString::fromLatin1(digits), width).toLatin1();
    for (int i = 0; i < width && i < value.size(); ++i)
        if (Dovlin_Signal *signal = bus->GetHierarchy(i)->GetSignal())
            signal->AddEvent(m_CurrentTime, GetStateCode(value.at(i)));
}

void vcd_yacc::ScalarChange()
{
    m_Code = QByteArray(TokenText() + 1, TokenLength() - 1);
    const char value = TokenText()[0];
    Dovlin_Hierarchy *node = Lookup("BINARY_VALUE");
    if (!node)
        return;
    if (node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite) {
        AddBits(static_cast<Dovlin_CompositeHierarchy *>(node), QByteArray(1, value));
        return;
    }
    Dovlin_Signal *signal = node->GetSignal();
    const int state = GetStateCode(value);
    switch (signal->GetTypeCode()) {
    case Dovlin_TypeCode::Integer:
        signal->AddEvent(m_CurrentTime, qint64(state == 1 ? 1 : 0));
        break;
    case Dovlin_TypeCode::Real:
        signal->AddEvent(m_CurrentTime, state == 1 ? 1.0 : 0.0);
        break;
    default:
        signal->AddEvent(m_CurrentTime, state);
        break;
    }
}

void vcd_yacc::VectorChange()
{
    const QByteArray digits = m_Value.mid(1);
    Dovlin_Hierarchy *node = Lookup("BINARYVECTOR_VALUE");
    if (!node)
        return;
    if (node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite) {
        AddBits(static_cast<Dovlin_CompositeHierarchy *>(node), digits);
        return;
    }
    Dovlin_Signal *signal = node->GetSignal();
    const QString bits = QString::fromLatin1(digits);
    switch (signal->GetTypeCode()) {
    case Dovlin_TypeCode::Integer:
        signal->AddEvent(m_CurrentTime, BinToUnsigned(bits));
        break;
    case Dovlin_TypeCode::Real:
        signal->AddEvent(m_CurrentTime, double(quint64(BinToUnsigned(bits))));
        break;
    default:
        signal->AddEvent(m_CurrentTime, GetStateCode(digits.isEmpty() ? 'x' : digits.at(0)));
        break;
    }
}

void vcd_yacc::RealChange()
{
    Dovlin_Hierarchy *node = Lookup("REAL_VALUE");
    if (!node)
        return;
    bool ok = false;
    const double value = m_Value.mid(1).toDouble(&ok);
    Dovlin_Signal *signal = node->GetSignal();
    if (!signal)
        return;
    if (signal->GetTypeCode() == Dovlin_TypeCode::Real)
        signal->AddEvent(m_CurrentTime, ok ? value : 0.0);
    else if (signal->GetTypeCode() == Dovlin_TypeCode::Integer)
        signal->AddEvent(m_CurrentTime, ok ? toInteger(value) : qint64(0));
}
