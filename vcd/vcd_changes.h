// Value changes read from a dump's text, checked and recorded for the storing threads: by the
// parser, and by the workers that read chunks of a dump's body side by side. Both go through these
// functions, so a change gives the same record and the same problem whoever reads it.
//
// Out says where records go and what a problem becomes:
//   VcdVariable *Find(VcdWord code)        the variable of an identifier code, or null
//   void Warn(vcd_yacc::Problem, QString)  a problem at the line of the change being read
//   char *Reserve(const VcdVariable &, size_t bytes)
//                                          room for a record in the lane of the variable
//   void Commit(VcdVariable &, VcdChangeTag, bool nineState, char *record, size_t bytes)
//                                          keeps the record written at record
//   void MakeSignal(VcdVariable &)         an integer's signal, made without a value
//   void String(VcdVariable &, VcdWord)    a string variable's value, as the dump writes it: its
//                                          record carries the index of the text, which the parser
//                                          gives each text in the order the texts come in the dump
#ifndef VCD_CHANGES_H
#define VCD_CHANGES_H

#include "vcd_yacc.h"

#include <QString>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>

namespace vcd_changes {

// The extended four-state code of every byte: 0 1 z x as in the four-state type, then u w l h -
// as 4 to 8; -1 for bytes that are no logic value.
struct StateCodes
{
    signed char code[256];
    constexpr StateCodes() : code()
    {
        for (int c = 0; c < 256; ++c)
            code[c] = -1;
        const char *values[] = {"0", "1", "zZ", "xX", "uU", "wW", "lL", "hH", "-"};
        for (int state = 0; state < 9; ++state)
            for (const char *v = values[state]; *v; ++v)
                code[static_cast<unsigned char>(*v)] = static_cast<signed char>(state);
    }
};
inline constexpr StateCodes stateCodes;
constexpr int firstNineState = 4;

inline int StateCode(char c)
{
    return stateCodes.code[static_cast<unsigned char>(c)];
}

// The scanner's whitespace; words are the runs of all other bytes.
inline bool IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A token text for a message: at most 40 characters, other bytes than printable ASCII as \xHH.
inline QString Shown(const char *text, int length)
{
    QString result;
    for (int i = 0; i < length && i < 40; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        result += c > 32 && c < 127 ? QString(QChar(c)) : QStringLiteral("\\x%1").arg(c, 2, 16, QChar('0'));
    }
    if (length > 40)
        result += QStringLiteral("...");
    return result;
}

inline QString Shown(VcdWord word)
{
    return Shown(word.m_Text, word.m_Length);
}

// strtod in the "C" locale, whatever locale the application runs in.
inline locale_t CLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return locale;
}

// A decimal number with optional underscores between digits; false when it is none or does not
// fit in 63 bits.
inline bool ParseDecimal(const char *text, int length, qint64 &value)
{
    quint64 result = 0;
    bool digits = false;
    for (int i = 0; i < length; ++i) {
        const char c = text[i];
        if (c == '_' && digits)
            continue;
        if (c < '0' || c > '9')
            return false;
        if (result > (quint64(LLONG_MAX) - quint64(c - '0')) / 10)
            return false;
        result = result * 10 + quint64(c - '0');
        digits = true;
    }
    value = qint64(result);
    return digits;
}

// A time stamp of whole units (no fraction) that fits in 64 bits once multiplied: its time. False
// for every other word after '#', which only the parser reads.
inline bool WholeTime(VcdWord stamp, qint64 multiplier, qint64 &time)
{
    const char *text = stamp.m_Text + 1;
    const int length = stamp.m_Length - 1;
    qint64 whole = 0;
    return length > 0 && text[0] >= '0' && text[0] <= '9' && ParseDecimal(text, length, whole)
           && !__builtin_mul_overflow(whole, multiplier, &time);
}

// The state codes of the rightmost kept digits into codes, and the lowest and highest code of
// those and of the digits dropped (-1 for an invalid digit, 4 and up for nine-state values).
inline void StateCodesOf(const char *digits, int length, int kept, signed char *codes, int &lowest, int &highest)
{
    const int dropped = length - kept;
    lowest = 0;
    highest = 0;
    for (int i = 0; i < dropped; ++i)
        lowest = qMin(lowest, StateCode(digits[i]));
    // Most digits are 0 and 1: eight of them at a time become their codes by a subtraction.
    constexpr quint64 zeros = 0x3030303030303030, ones = 0x0101010101010101;
    int i = dropped;
    for (; i + 8 <= length; i += 8) {
        quint64 word;
        std::memcpy(&word, digits + i, sizeof word);
        if ((word & ~ones) != zeros)
            break;
        word -= zeros;
        std::memcpy(codes + (i - dropped), &word, sizeof word);
        highest = qMax(highest, word ? 1 : 0);
    }
    for (; i < length; ++i) {
        const int code = StateCode(digits[i]);
        codes[i - dropped] = static_cast<signed char>(code);
        lowest = qMin(lowest, code);
        highest = qMax(highest, code);
    }
}

// The variable of a code; null, with a warning, for a code never declared.
template <class Out>
VcdVariable *Lookup(Out &out, VcdWord code)
{
    if (VcdVariable *variable = out.Find(code))
        return variable;
    out.Warn(vcd_yacc::UndeclaredCode,
             QStringLiteral("value change of the undeclared identifier code '%1' left out").arg(Shown(code)));
    return nullptr;
}

// A record is its tag, the variable, then the bytes of each of its fields.
template <class Out, typename... Fields>
void Record(Out &out, VcdChangeTag tag, VcdVariable *variable, const Fields &...fields)
{
    constexpr size_t size = 1 + sizeof variable + (sizeof(Fields) + ... + 0);
    char *const record = out.Reserve(*variable, size);
    char *to = record;
    *to++ = tag;
    std::memcpy(to, &variable, sizeof variable);
    to += sizeof variable;
    ((std::memcpy(to, &fields, sizeof fields), to += sizeof fields), ...);
    out.Commit(*variable, tag, false, record, size);
}

// LogicTag: the variable, the digit count, a nine-state flag byte and the state codes.
template <class Out>
void LogicChange(Out &out, VcdVariable &variable, VcdWord text, VcdWord code)
{
    const char *const digits = text.m_Text;
    const int length = text.m_Length;
    // The rightmost digits that fit the variable are kept, as state codes straight into the record.
    const int width = variable.m_Width;
    const int kept = qMin(length, width);
    constexpr size_t header = 1 + sizeof(VcdVariable *) + sizeof(int) + 1;
    char *const record = out.Reserve(variable, header + size_t(kept));
    int lowest = 0;
    int highest = 0;
    StateCodesOf(digits, length, kept, reinterpret_cast<signed char *>(record + header), lowest, highest);
    if (lowest < 0) {
        out.Warn(vcd_yacc::InvalidValue, QStringLiteral("invalid value '%1' for '%2' left out").arg(Shown(text), Shown(code)));
        return;
    }
    if (length > width)
        out.Warn(vcd_yacc::WideValue,
                 QStringLiteral("value '%1' is wider than the %2 bits of '%3': its leftmost digits are dropped")
                     .arg(Shown(text), QString::number(width), Shown(code)));
    VcdVariable *target = &variable;
    record[0] = LogicTag;
    std::memcpy(record + 1, &target, sizeof target);
    std::memcpy(record + 1 + sizeof target, &kept, sizeof kept);
    const bool nineState = highest >= firstNineState;
    record[header - 1] = nineState;
    out.Commit(variable, LogicTag, nineState, record, header + size_t(kept));
}

template <class Out>
void IntegerChange(Out &out, VcdVariable &variable, VcdWord text, VcdWord code)
{
    const char *const digits = text.m_Text;
    const int length = text.m_Length;
    // The low bits count, and a signed value of full width is negative when its top bit is set.
    // A value with any other state than 0 and 1 is stored as logic bits instead.
    const int width = variable.m_Width;
    const int used = qMin(length, width);
    quint64 value = 0;
    for (int i = length - used; i < length; ++i) {
        const int state = StateCode(digits[i]);
        if (state != 0 && state != 1) {
            LogicChange(out, variable, text, code);
            return;
        }
        value = value << 1 | quint64(state);
    }
    if (variable.m_Kind == vcd_yacc::SignedInteger && length >= width && width < 64 && (value >> (width - 1) & 1))
        value |= ~quint64(0) << width;
    Record(out, IntegerTag, &variable, qint64(value));
}

template <class Out>
void ScalarChange(Out &out, char value, VcdWord code)
{
    VcdVariable *variable = Lookup(out, code);
    if (!variable)
        return;
    switch (variable->m_Kind) {
    case vcd_yacc::Logic:
    case vcd_yacc::Event:
        LogicChange(out, *variable, {&value, 1}, code);
        break;
    case vcd_yacc::Integer:
    case vcd_yacc::SignedInteger:
        IntegerChange(out, *variable, {&value, 1}, code);
        break;
    case vcd_yacc::Real: {
        const int state = StateCode(value);
        if (state == 0 || state == 1) {
            Record(out, RealTag, variable, double(state));
        } else {
            out.Warn(vcd_yacc::WrongKind, QStringLiteral("logic value '%1' for the real variable '%2' left out")
                                              .arg(QString(QLatin1Char(value)), Shown(code)));
        }
        break;
    }
    case vcd_yacc::String:
        out.Warn(vcd_yacc::WrongKind, QStringLiteral("logic value '%1' for the string variable '%2' left out")
                                          .arg(QString(QLatin1Char(value)), Shown(code)));
        break;
    default:
        break;
    }
}

// text: the digits, without the letter before them.
template <class Out>
void VectorChange(Out &out, VcdWord text, VcdWord code)
{
    VcdVariable *variable = Lookup(out, code);
    if (!variable || variable->m_Kind == vcd_yacc::Skipped)
        return;
    if (variable->m_Kind == vcd_yacc::String) {
        out.Warn(vcd_yacc::WrongKind, QStringLiteral("vector value 'b%1' for the string variable '%2' left out")
                                          .arg(Shown(text), Shown(code)));
        return;
    }
    const char *digits = text.m_Text;
    int length = text.m_Length;
    // Some writers put the prefix of a binary literal in front of the digits: "b0b0101".
    if (length > 2 && digits[0] == '0' && (digits[1] == 'b' || digits[1] == 'B')) {
        digits += 2;
        length -= 2;
    }
    if (length == 0) {
        out.Warn(vcd_yacc::InvalidValue, QStringLiteral("empty vector value for '%1' left out").arg(Shown(code)));
        return;
    }
    switch (variable->m_Kind) {
    case vcd_yacc::Logic:
    case vcd_yacc::Event:
        LogicChange(out, *variable, {digits, length}, code);
        break;
    case vcd_yacc::Integer:
    case vcd_yacc::SignedInteger:
        IntegerChange(out, *variable, {digits, length}, code);
        break;
    case vcd_yacc::Real: {
        quint64 value = 0;
        bool binary = length <= 64;
        for (int i = 0; binary && i < length; ++i) {
            binary = digits[i] == '0' || digits[i] == '1';
            value = value << 1 | quint64(digits[i] == '1');
        }
        if (binary) {
            Record(out, RealTag, variable, double(value));
        } else {
            out.Warn(vcd_yacc::WrongKind, QStringLiteral("vector value 'b%1' for the real variable '%2' left out")
                                              .arg(Shown(digits, length), Shown(code)));
        }
        break;
    }
    default:
        break;
    }
}

// text: the number, without the letter before it.
template <class Out>
void RealChange(Out &out, VcdWord text, VcdWord code)
{
    VcdVariable *variable = Lookup(out, code);
    if (!variable || variable->m_Kind == vcd_yacc::Skipped)
        return;
    if (variable->m_Kind == vcd_yacc::String) {
        out.Warn(vcd_yacc::WrongKind, QStringLiteral("real value 'r%1' for the string variable '%2' left out")
                                          .arg(Shown(text), Shown(code)));
        return;
    }
    std::string number(text.m_Text, size_t(text.m_Length));
    number.erase(std::remove(number.begin(), number.end(), '_'), number.end());
    char *end = nullptr;
    const double value = number.empty() ? 0.0 : strtod_l(number.c_str(), &end, CLocale());
    if (number.empty() || end != number.c_str() + number.size()) {
        out.Warn(vcd_yacc::InvalidValue, QStringLiteral("unreadable real value 'r%1' for '%2' left out")
                                             .arg(Shown(text), Shown(code)));
        return;
    }
    if (variable->m_Kind == vcd_yacc::Logic || variable->m_Kind == vcd_yacc::Event) {
        out.Warn(vcd_yacc::WrongKind, QStringLiteral("real value 'r%1' for the logic variable '%2' left out")
                                          .arg(Shown(text), Shown(code)));
        return;
    }
    if (variable->m_Kind == vcd_yacc::Real) {
        Record(out, RealTag, variable, value);
        return;
    }
    if (!std::isfinite(value) || std::fabs(value) >= 9223372036854775807.0) {
        out.Warn(vcd_yacc::WrongKind, QStringLiteral("real value 'r%1' does not fit the integer variable '%2': left out")
                                          .arg(Shown(text), Shown(code)));
        // Its signal is made all the same, so that it takes its place in the table.
        out.MakeSignal(*variable);
        return;
    }
    Record(out, IntegerTag, variable, qint64(std::llround(value)));
}

// A string value: a text for a string variable, nothing else takes one.
template <class Out>
void StringChange(Out &out, VcdWord text, VcdWord code)
{
    VcdVariable *variable = Lookup(out, code);
    if (!variable || variable->m_Kind == vcd_yacc::Skipped)
        return;
    if (variable->m_Kind != vcd_yacc::String) {
        out.Warn(vcd_yacc::WrongKind, QStringLiteral("string value for the variable '%1' left out").arg(Shown(code)));
        return;
    }
    out.String(*variable, text);
}

// Reads the change that word starts: a scalar change, or a value whose identifier code is the next
// word, which nextCode(VcdWord &) takes (false when it cannot). atLine() is called once the change's
// words are taken, before it is recorded, for the line of its last word. False, with nothing
// recorded, when word starts no change or its code cannot be taken.
template <class Out, class NextCode, class AtLine>
bool ReadChange(Out &out, VcdWord word, NextCode nextCode, AtLine atLine)
{
    const char first = word.m_Text[0];
    const bool scalar = StateCode(first) >= 0;
    if (scalar && word.m_Length > 1) {
        atLine();
        ScalarChange(out, first, {word.m_Text + 1, word.m_Length - 1});
        return true;
    }
    const bool vector = first == 'b' || first == 'B';
    const bool real = (first == 'r' || first == 'R') && word.m_Length > 1;
    const bool string = first == 's' || first == 'S';
    VcdWord code{};
    if (!(scalar || vector || real || string) || !nextCode(code))
        return false;
    atLine();
    const VcdWord value{word.m_Text + 1, word.m_Length - 1};
    if (scalar)
        ScalarChange(out, first, code);
    else if (vector)
        VectorChange(out, value, code);
    else if (real)
        RealChange(out, value, code);
    else
        StringChange(out, value, code);
    return true;
}

// The words of a dump's text from m_At on, and the line each stands on.
struct Words
{
    const char *m_At;
    const char *m_End;
    int m_Line;

    // Up to the next word, or to stop if that comes first.
    void SkipBlanks(const char *stop = nullptr)
    {
        while (m_At != m_End && m_At != stop && IsBlank(*m_At)) {
            m_Line += *m_At == '\n';
            ++m_At;
        }
    }
    // The next word, empty when only blanks are left.
    VcdWord Next()
    {
        SkipBlanks();
        const char *const first = m_At;
        // Eight bytes at a time while none is a blank or a control character (below 0x21; bytes
        // of 0x80 and up are plain): 0x5F added to a byte's low seven bits sets its top bit
        // exactly when they reach 0x21, and never carries into the next byte.
        constexpr quint64 low7 = 0x7F7F7F7F7F7F7F7F, lift = 0x5F5F5F5F5F5F5F5F, tops = 0x8080808080808080;
        while (m_End - m_At >= 8) {
            quint64 word;
            std::memcpy(&word, m_At, sizeof word);
            if (~(((word & low7) + lift) | word) & tops)
                break;
            m_At += 8;
        }
        while (m_At != m_End && !IsBlank(*m_At))
            ++m_At;
        return {first, int(m_At - first)};
    }
};

} // namespace vcd_changes

#endif
