#include "Dovlin_Types.h"

#include "Dovlin_Signals.h"
#include "Dovlin_Utilities.h"

#include <limits>

QString Dovlin_IntType::GetSignalState(const CSignalEvent *event, int radix) const
{
    if (!event)
        return QString();
    const qint64 value = event->m_Value.m_IntValue;
    switch (radix) {
    case Dovlin_Radix::Binary:
        return QLatin1Char(' ') + DecToBin(value);
    case Dovlin_Radix::Hexadecimal:
        return QStringLiteral(" %1h ").arg(value, 0, 16);
    case Dovlin_Radix::Unsigned:
        // Signed 32-bit integers are stored sign-extended: their negative values read as 32-bit
        // patterns (-1 reads 4294967295). Other values, 64-bit times among them, read in full.
        if (value < 0 && value >= std::numeric_limits<qint32>::min())
            return QStringLiteral(" %1u ").arg(quint32(value));
        return QStringLiteral(" %1u ").arg(quint64(value));
    case Dovlin_Radix::Signed:
        return QStringLiteral(" %1d ").arg(value);
    default:
        return QStringLiteral(" ");
    }
}

QString Dovlin_RealType::GetSignalState(const CSignalEvent *event, int) const
{
    if (!event)
        return QString();
    return QStringLiteral(" %1r ").arg(event->m_Value.m_RealValue);
}

QString Dovlin_StateType::GetSignalState(const CSignalEvent *event, int) const
{
    if (!event)
        return QString();
    return QString::fromLatin1(StateText(event->m_Value.m_State));
}

quint32 Dovlin_StateType::KnownStates(int typeCode)
{
    const auto bit = [](int state) { return Dovlin_ValueRange::StateBit(state); };
    switch (typeCode) {
    case Dovlin_TypeCode::Bit:
    case Dovlin_TypeCode::Verilog:
        return bit(0) | bit(1);
    case Dovlin_TypeCode::StdLogic:
        return bit(2) | bit(3) | bit(6) | bit(7);
    default:
        return ~quint32(0);
    }
}
