#ifndef DOVLIN_FORMAT1READER_H
#define DOVLIN_FORMAT1READER_H

class Dovlin_EventArena;
class Dovlin_FileManager;
class Dovlin_WaveReader;

// Reads a wave file of format 1, the program's first layout (docs/wave-file-format.md), into an
// empty model: first the signal table and the hierarchy (LoadHeader), then the event blocks.
// Every count, code, length and index is checked against the bytes left and the tables read; a
// failure is recorded in the reader.
class Dovlin_Format1Reader
{
public:
    Dovlin_Format1Reader(Dovlin_FileManager &model, Dovlin_WaveReader &reader) : m_Model(model), m_Reader(reader) {}

    bool LoadHeader();
    // The boxes point into the reader's mapped bytes, or without them into a slice of arena.
    bool LoadSignalEvents(Dovlin_EventArena *arena);

private:
    bool LoadNode(int index);

    Dovlin_FileManager &m_Model;
    Dovlin_WaveReader &m_Reader;
};

#endif
