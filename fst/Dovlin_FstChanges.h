#ifndef DOVLIN_FSTCHANGES_H
#define DOVLIN_FSTCHANGES_H

#include "Dovlin_FstReader.h"

#include <QString>

#include <string>
#include <vector>

class Dovlin_ImportReporter;
class vcd_yacc;
struct VcdVariable;

// Reads an FST file for the VCD import: its declarations as the VCD text fst2vcd writes of them,
// which the import's parser reads for the tree, then the value changes of its blocks, handed to
// the parser in time order (vcd_yacc::SetBody) as the values and time stamps of fst2vcd's text
// would give them. What the text cannot carry is told to the reporter: a file cut short,
// extended-VCD ports (left out). Enumeration tables become the attributes that fst2vcd -e writes.
class Dovlin_FstChanges
{
public:
    explicit Dovlin_FstChanges(Dovlin_ImportReporter *reporter);
    ~Dovlin_FstChanges();

    // Reads the FST file's header, hierarchy and block places; false with ErrorString when damaged.
    bool Open(const QString &fstPath);
    QString ErrorString() const { return m_Reader.ErrorString(); }
    // The declarations' text, up to $enddefinitions; warns of what they leave out.
    std::string Declarations();
    // Hands every block's changes to parser, whose declarations are read; false when the parse
    // failed (a damaged block makes it fail with the reader's reason) or Progress declined.
    bool Feed(vcd_yacc &parser);
    bool Cancelled() const { return m_Cancelled; }
    // Bytes of the FST file read up to the block in hand.
    qint64 BytesRead() const { return m_BytesRead; }

private:
    bool Time(quint64 time);
    bool Blackouts(quint64 before, bool including);
    void Value(quint32 handle, const Dovlin_FstReader::Change &change);
    void FrameValue(quint32 handle, const Dovlin_FstReader::Block &block, size_t offset);
    // Where each handle's chain stands in the block in hand: its next change, its end, and the
    // time index of its last change given (0 before the first).
    struct Chains
    {
        std::vector<const unsigned char *> m_At;
        std::vector<const unsigned char *> m_End;
        std::vector<quint64> m_Index;
    };
    bool Block(int i);
    // The rest of the block, from time index from on, may be given signal by signal (see
    // vcd_yacc::BodyTimeFits), which keeps each signal's appends together: every variable with
    // changes left has its signals made, none is made anew by its changes, and no string is new.
    bool BySignal(const Dovlin_FstReader::Block &block, size_t from, const Chains &chains) const;
    bool SignalBySignal(int i, Chains &chains);
    // Fails the parse with what the reader found.
    bool Damaged();

    Dovlin_ImportReporter *m_Reporter;
    Dovlin_FstReader m_Reader;
    QString m_Path;
    vcd_yacc *m_Parser = nullptr;
    // Each handle's identifier code in the text, empty for one never declared, and its variable.
    std::vector<std::string> m_Codes;
    std::vector<VcdVariable *> m_Variables;
    Dovlin_FstReader::Block m_Block;
    // A handle's changes gathered for the parser's lists: their time stamps, and their values.
    std::vector<quint64> m_ListStamps;
    std::vector<char> m_ListScalars;
    std::vector<const unsigned char *> m_ListData;
    size_t m_NextBlackout = 0;
    bool m_TimeGiven = false;
    quint64 m_LastTime = 0;
    quint64 m_EndTime = 0;
    qint64 m_BytesRead = 0;
    bool m_Cancelled = false;
};

#endif
