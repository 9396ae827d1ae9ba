// Identifier codes of a dump to their variables. Codes of up to seven bytes, nearly all of them,
// are packed into one integer key, so a value change finds its variable without hashing a
// string or allocating.
#ifndef VCD_CODETABLE_H
#define VCD_CODETABLE_H

#include <QtGlobal>

#include <string>
#include <unordered_map>
#include <vector>

template <class Value>
class vcd_codetable
{
public:
    Value *Find(const char *code, int length) const
    {
        if (length <= MaxPacked) {
            const quint64 key = Pack(code, length);
            for (size_t slot = Hash(key) & m_Mask; m_Slots.size(); slot = (slot + 1) & m_Mask) {
                const Entry &entry = m_Slots[slot];
                if (entry.value == nullptr)
                    return nullptr;
                if (entry.key == key)
                    return entry.value;
            }
            return nullptr;
        }
        const auto found = m_Long.find(std::string(code, size_t(length)));
        return found == m_Long.end() ? nullptr : found->second;
    }

    // Adds code, which must not be there yet.
    void Insert(const char *code, int length, Value *value)
    {
        if (length > MaxPacked) {
            m_Long.emplace(std::string(code, size_t(length)), value);
            return;
        }
        if (2 * (m_Count + 1) > m_Slots.size())
            Grow();
        Place(Pack(code, length), value);
        ++m_Count;
    }

private:
    static constexpr int MaxPacked = 7;

    struct Entry
    {
        quint64 key = 0;
        Value *value = nullptr;
    };

    static quint64 Pack(const char *code, int length)
    {
        quint64 key = quint64(length) << 56;
        for (int i = 0; i < length; ++i)
            key |= quint64(static_cast<unsigned char>(code[i])) << (8 * i);
        return key;
    }
    static size_t Hash(quint64 key) { return size_t((key * 0x9E3779B97F4A7C15ull) >> 20); }

    void Place(quint64 key, Value *value)
    {
        size_t slot = Hash(key) & m_Mask;
        while (m_Slots[slot].value)
            slot = (slot + 1) & m_Mask;
        m_Slots[slot] = Entry{key, value};
    }

    void Grow()
    {
        std::vector<Entry> old;
        old.swap(m_Slots);
        m_Slots.resize(old.empty() ? 64 : old.size() * 2);
        m_Mask = m_Slots.size() - 1;
        for (const Entry &entry : old)
            if (entry.value)
                Place(entry.key, entry.value);
    }

    std::vector<Entry> m_Slots;
    size_t m_Mask = 0;
    size_t m_Count = 0;
    std::unordered_map<std::string, Value *> m_Long;
};

#endif
