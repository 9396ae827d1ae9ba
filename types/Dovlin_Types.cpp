#include "Dovlin_Types.h"

#include "Dovlin_FileManager.h"
#include "Dovlin_Signals.h"
#include "Dovlin_Utilities.h"


QString Dovlin_IntType::GetSignalState(const CSignalEvent *event, int radix) const
{
    if (!event)
        return QString();
    return IntegerText(event->m_Value.m_IntValue, DeclaredWidth(), radix);
}

QString Dovlin_RealType::GetSignalState(const CSignalEvent *event, int) const
{
    if (!event)
        return QString();
    return RealText(event->m_Value.m_RealValue);
}

QString Dovlin_StringType::GetSignalState(const CSignalEvent *event, int) const
{
    if (!event)
        return QString();
    const qint64 index = event->m_Value.m_IntValue;
    return index >= 0 && index < m_Strings->GetnString() ? m_Strings->GetString(index)
                                                        : QString::fromLatin1(Dovlin_StateType::m_InvalidText);
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

const Dovlin_Type *Dovlin_Type::OfTypeCode(int typeCode)
{
    static const Dovlin_IntType integer;
    static const Dovlin_RealType real;
    switch (typeCode) {
    case Dovlin_TypeCode::Integer:
        return &integer;
    case Dovlin_TypeCode::Real:
        return &real;
    default:
        return Dovlin_StateType::OfTypeCode(typeCode);
    }
}

const Dovlin_StateType *Dovlin_StateType::OfTypeCode(int typeCode)
{
    static const Dovlin_BitType bit;
    static const Dovlin_VerilogType verilog;
    static const Dovlin_StdLogicType stdLogic;
    static const Dovlin_EventType event;
    switch (typeCode) {
    case Dovlin_TypeCode::Bit:
        return &bit;
    case Dovlin_TypeCode::Verilog:
        return &verilog;
    case Dovlin_TypeCode::StdLogic:
        return &stdLogic;
    case Dovlin_TypeCode::Event:
        return &event;
    default:
        return nullptr;
    }
}
