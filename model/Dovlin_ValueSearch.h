#ifndef DOVLIN_VALUESEARCH_H
#define DOVLIN_VALUESEARCH_H

#include <QString>
#include <QtGlobal>

#include <vector>

class Dovlin_Hierarchy;
class Dovlin_Signal;

// A condition on the value of a scalar signal, an integer, a bus or a text, and the search for the
// times at which it becomes true. Values are compared bit by bit as the letters the name tree
// shows (L and H read as 0 and 1); a value with a bit other than 0 or 1 is unknown and never
// less or greater than another. Texts are equal or not, as shown: without leading and trailing
// blanks.
class Dovlin_ValueSearch
{
public:
    // Rises and Falls: on one bit, a rising or falling edge as Verilog has it (0 to 1, 0 to X or
    // Z, X or Z to 1, and the other way); on a bus or an integer, a known value growing or
    // shrinking. A node's first value is a change but neither a rise nor a fall.
    enum Compare { Equal, NotEqual, Less, Greater, Rises, Falls, AnyChange, Unknown };

    static bool TakesValue(Compare compare) { return compare <= Greater; }

    // Reads value in the radix (Dovlin_Radix) for node: binary, octal or hexadecimal with an
    // optional trailing b, o or h, decimal, or one letter such as X, Z or U for every bit; for a
    // string signal, value is a text. False, with the reason in ErrorString, for a node that is
    // neither a logic signal, an integer, a bus nor a string signal, for a comparison a text does
    // not take (only =, != and AnyChange do), and for a value the node cannot hold.
    bool Set(const Dovlin_Hierarchy *node, Compare compare, const QString &value, int radix);
    QString ErrorString() const { return m_Error; }

    // The first time after `from` (forward), or the last before it, at which the condition
    // becomes true: a change after which it holds when it did not hold before; for the edges
    // and AnyChange, a change of that kind. -1 when there is none.
    qint64 Find(qint64 from, bool forward) const;

private:
    // The node's value as letters, most significant bit first; empty for no value.
    using Bits = std::vector<char>;

    bool ParseValue(QString text, int radix, int width, Bits &bits);
    // The rest of Set for a string signal.
    bool SetText(const QString &value);
    bool Holds(const Bits &value) const;
    bool Becomes(const Bits &before, const Bits &after) const;
    int CompareKnown(const Bits &a, const Bits &b) const;
    qint64 FindInSignal(qint64 from, bool forward) const;
    qint64 FindInBus(qint64 from, bool forward) const;
    qint64 WalkBus(qint64 from, bool forward, qint64 limit) const;
    // False when no event of the range [first, end) can make the condition true.
    bool MayBecome(qint64 first, qint64 end) const;
    Bits ValueOf(qint64 event) const;

    // In m_Target, the bits of a hexadecimal or octal digit X: a group of m_Group bits that reads
    // X as the Values column writes it matches them.
    static constexpr char AnyMixed = '*';
    int m_Group = 0;
    bool Matches(const Bits &value) const;

    Compare m_Compare = AnyChange;
    QString m_Error;
    bool m_Signed = false;
    Bits m_Target;
    // A single signal, or the bit signals of a bus.
    const Dovlin_Signal *m_Signal = nullptr;
    std::vector<const Dovlin_Signal *> m_Bits;
    bool m_Integer = false;
    // An integer's declared width; values are compared as their low m_IntWidth bits, read signed
    // in the signed radix (Normal), whatever the sign they were stored with.
    int m_IntWidth = 64;
    qint64 m_IntTarget = 0;
    qint64 Normal(qint64 value) const;
    // A string signal: the indices of the texts that read as the one looked for, in order.
    bool m_Text = false;
    std::vector<qint64> m_TextTargets;
    // The letter of each state of the signals' type.
    std::vector<char> m_Letters;
    // Bit s set when state s satisfies a value condition on one bit (Dovlin_ValueRange::StateBit).
    quint32 m_HoldingStates = 0;
};

#endif
