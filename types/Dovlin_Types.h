#ifndef DOVLIN_TYPES_H
#define DOVLIN_TYPES_H

#include <QString>

class Dovlin_FileManager;
struct CSignalEvent;

// Signal type codes, as returned by GetTypeCode and stored per signal in a wave file.
namespace Dovlin_TypeCode {
enum { Integer = 1, Real = 2, Bit = 4, Verilog = 8, StdLogic = 16, Event = 32, String = 64 };
}

// Display radix of a hierarchy node (m_Radix); how each is written is in Dovlin_RadixFormats.
// Names: the literal of the node's enumeration table, binary where none matches.
namespace Dovlin_Radix {
enum { Binary = 1, Hexadecimal = 2, Unsigned = 4, Signed = 8, Octal = 16, Names = 32 };
}

class Dovlin_Type
{
public:
    explicit Dovlin_Type(int typeCode) : m_TypeCode(typeCode) {}
    virtual ~Dovlin_Type() = default;

    virtual int GetTypeCode() const { return m_TypeCode; }
    // Text of one value in a radix; empty for a null event (no value).
    virtual QString GetSignalState(const CSignalEvent *event, int radix) const = 0;
    // The type of a type code, whose texts and tables hold for every signal of that code; null for
    // a code that is none of the types, and for the string code, whose texts belong to one file.
    static const Dovlin_Type *OfTypeCode(int typeCode);

protected:
    int m_TypeCode;
};

class Dovlin_ValueType : public Dovlin_Type
{
protected:
    explicit Dovlin_ValueType(int typeCode) : Dovlin_Type(typeCode) {}
};

class Dovlin_IntType : public Dovlin_ValueType
{
public:
    static constexpr unsigned int m_Color = 0xFF8080;

    Dovlin_IntType() : Dovlin_ValueType(Dovlin_TypeCode::Integer) {}
    // The value's two's-complement pattern in the declared width, read as a bus of that width.
    QString GetSignalState(const CSignalEvent *event, int radix) const override;
    // The width the variable was declared with, 1 to 64.
    virtual int DeclaredWidth() const { return 64; }
};

class Dovlin_RealType : public Dovlin_ValueType
{
public:
    static constexpr unsigned int m_Color = 0xFF8080;

    Dovlin_RealType() : Dovlin_ValueType(Dovlin_TypeCode::Real) {}
    QString GetSignalState(const CSignalEvent *event, int radix) const override;
};

// Texts: each event holds the index of its text in the string table of one file manager. A radix
// does not apply.
class Dovlin_StringType : public Dovlin_ValueType
{
public:
    static constexpr unsigned int m_Color = 0x80C0FF;

    explicit Dovlin_StringType(const Dovlin_FileManager *strings)
        : Dovlin_ValueType(Dovlin_TypeCode::String), m_Strings(strings) {}
    // The event's text; "?" for an index the table does not have (a damaged file).
    QString GetSignalState(const CSignalEvent *event, int radix) const override;

private:
    const Dovlin_FileManager *m_Strings;
};

// A logic type: a state index per event and class-level tables of text, height and colour.
// The tables are only complete for the states a type defines; a state index read from a damaged
// file may lie outside them, so every lookup goes through StateText/StateHeight/StateColor,
// which answer "?" and the look of "X" (red, mid-height) for such an index.
class Dovlin_StateType : public Dovlin_Type
{
public:
    static constexpr const char *m_InvalidText = "?";
    static constexpr double m_InvalidHeight = 0.5;
    static constexpr unsigned int m_InvalidColor = 0xFF0000;

    int GetnState() const { return m_nStates; }
    bool IsValidState(int state) const { return state >= 0 && state < m_nStates; }
    const char *StateText(int state) const { return IsValidState(state) ? m_StateTexts[state] : m_InvalidText; }
    double StateHeight(int state) const { return IsValidState(state) ? m_StateHeights[state] : m_InvalidHeight; }
    unsigned int StateColor(int state) const { return IsValidState(state) ? m_StateColors[state] : m_InvalidColor; }
    // The states that read as a number (0, 1, L, H) of a type code, as a mask of
    // Dovlin_ValueRange::StateBit; every state of a type without states.
    static quint32 KnownStates(int typeCode);

    QString GetSignalState(const CSignalEvent *event, int radix) const override;
    // The logic type of a type code (an event's states are the four of Verilog); null for the
    // integer and real codes and any other.
    static const Dovlin_StateType *OfTypeCode(int typeCode);

protected:
    Dovlin_StateType(int typeCode, int nStates, const char *const *texts, const double *heights,
                     const unsigned int *colors)
        : Dovlin_Type(typeCode), m_nStates(nStates), m_StateTexts(texts), m_StateHeights(heights),
          m_StateColors(colors) {}

private:
    int m_nStates;
    const char *const *m_StateTexts;
    const double *m_StateHeights;
    const unsigned int *m_StateColors;
};

class Dovlin_BitType : public Dovlin_StateType
{
public:
    static constexpr int m_nState = 2;
    static constexpr const char *m_States[m_nState] = {"0", "1"};
    static constexpr double m_Heights[m_nState] = {0.0, 1.0};
    static constexpr unsigned int m_Colors[m_nState] = {0x008000, 0x00FF00};

    Dovlin_BitType() : Dovlin_StateType(Dovlin_TypeCode::Bit, m_nState, m_States, m_Heights, m_Colors) {}
};

class Dovlin_VerilogType : public Dovlin_StateType
{
public:
    static constexpr int m_nState = 4;
    static constexpr const char *m_States[m_nState] = {"0", "1", "Z", "X"};
    static constexpr double m_Heights[m_nState] = {0.0, 1.0, 0.5, 0.5};
    static constexpr unsigned int m_Colors[m_nState] = {0x00FF00, 0x00FF00, 0x0000FF, 0xFF0000};

    Dovlin_VerilogType() : Dovlin_StateType(Dovlin_TypeCode::Verilog, m_nState, m_States, m_Heights, m_Colors) {}
};

class Dovlin_StdLogicType : public Dovlin_StateType
{
public:
    static constexpr int m_nState = 9;
    static constexpr const char *m_States[m_nState] = {"U", "X", "0", "1", "Z", "W", "L", "H", "-"};
    static constexpr double m_Heights[m_nState] = {0.5, 0.5, 0.0, 1.0, 0.5, 0.5, 0.5, 0.5, 0.5};
    static constexpr unsigned int m_Colors[m_nState] = {0xFFFFFF, 0xFF0000, 0x008000, 0x00FF00, 0x0000FF,
                                                        0x808080, 0x8080FF, 0xFF8080, 0xFFFF00};

    Dovlin_StdLogicType() : Dovlin_StateType(Dovlin_TypeCode::StdLogic, m_nState, m_States, m_Heights, m_Colors) {}
};

// A named event: every stored event is a trigger, even one that repeats the value before it,
// and there is no value between triggers. The values are kept as dumped, in the four-state
// tables, so that the column summaries of logic types work unchanged.
class Dovlin_EventType : public Dovlin_StateType
{
public:
    static constexpr unsigned int m_Color = Dovlin_VerilogType::m_Colors[1];

    Dovlin_EventType()
        : Dovlin_StateType(Dovlin_TypeCode::Event, Dovlin_VerilogType::m_nState, Dovlin_VerilogType::m_States,
                           Dovlin_VerilogType::m_Heights, Dovlin_VerilogType::m_Colors) {}
};

#endif
