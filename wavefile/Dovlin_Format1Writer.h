#ifndef DOVLIN_FORMAT1WRITER_H
#define DOVLIN_FORMAT1WRITER_H

#include <QtGlobal>

#include <functional>
#include <vector>

class Dovlin_FileManager;
class Dovlin_WaveWriter;

// Writes a model as a wave file of format 1 (docs/wave-file-format.md): the signal table and the
// hierarchy (SaveHeader), then every signal's events in whole boxes of 32 (SaveSignalEvents).
// Format 1 holds no strings: string signals and the leaves that show them are left out, the
// others renumbered. Names are written in Latin-1, a character it has not as '?'.
class Dovlin_Format1Writer
{
public:
    Dovlin_Format1Writer(const Dovlin_FileManager &model, Dovlin_WaveWriter &writer);

    bool SaveHeader();
    // progress is called after each signal with the signals written and their number; false stops
    // the writing, which then fails with "cancelled".
    bool SaveSignalEvents(const std::function<bool(qint64 written, qint64 total)> &progress = {});

    int StringSignalsLeftOut() const { return m_StringSignals; }
    int InexactNames() const { return m_InexactNames; }
    // About the size of the file: a bound on what a full disk must make room for.
    static qint64 FileBytes(const Dovlin_FileManager &model);

private:
    const Dovlin_FileManager &m_Model;
    Dovlin_WaveWriter &m_Writer;
    // The index each signal and node has in the file; -1 for those left out.
    std::vector<int> m_SignalIndex;
    std::vector<int> m_NodeIndex;
    int m_nSignal = 0;
    int m_nNode = 0;
    int m_StringSignals = 0;
    int m_InexactNames = 0;
};

#endif
