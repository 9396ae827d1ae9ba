#ifndef DOVLIN_FORMAT2_H
#define DOVLIN_FORMAT2_H

#include <QtGlobal>

// The constants of the wave file's format 2, which its reader and its writer share. The layout is
// described in docs/wave-file-format.md.
namespace Dovlin_Format2 {

// No file of format 1 begins with these bytes: there, bytes 4 to 7 are a signal count, never negative.
constexpr unsigned char Magic[8] = {0x89, 'D', 'V', 'N', 0x0d, 0x0a, 0x1a, 0x8a};
constexpr quint32 Version = 2;
constexpr qint64 FileHeaderBytes = 16;
constexpr qint64 SectionEntryBytes = 32;
constexpr qint64 TableCrcBytes = 4;
// More sections than this are no file of ours.
constexpr quint32 MaxSections = 1024;

constexpr quint32 FourCc(const char (&name)[5])
{
    return quint32(quint8(name[0])) | quint32(quint8(name[1])) << 8 | quint32(quint8(name[2])) << 16
           | quint32(quint8(name[3])) << 24;
}

enum Kind : quint32 {
    Head = FourCc("HEAD"),
    Signals = FourCc("SGNL"),
    Index = FourCc("INDX"),
    Tree = FourCc("TREE"),
    Boxes = FourCc("BOXS"),
    BoxChecksums = FourCc("BCRC"),
    Strings = FourCc("STRS"),
    Dump = FourCc("DUMP"),
    View = FourCc("VIEW"),
    Widths = FourCc("WDTH"),
    List = FourCc("LIST"),
    Enums = FourCc("ENUM"),
};

constexpr qint64 HeadBytes = 24;
constexpr qint64 DumpBytes = 48;
// The packed boxes are checked in chunks of this many bytes, each when a box in it is first read.
constexpr qint64 ChunkBytes = qint64(64) << 10;

// Signal flags.
constexpr int Closed = 1;
constexpr int TimeWidthShift = 1;
constexpr int OffsetWidthShift = 3;
// Wave list row flags.
constexpr int RowDigital = 1;
constexpr int RowOpen = 2;
// Flags of a node with an enumeration table.
constexpr int NodeShowsNames = 1;
// Node flags.
constexpr int Composite = 1;
constexpr int Shown = 2;
constexpr int Digital = 4;
constexpr int Expanded = 8;
constexpr int RadixShift = 4;

// Bytes of an index field of a width code (0 to 3), and the smallest code whose field holds value.
inline int WidthOf(int code) { return 1 << code; }
inline int WidthCodeFor(quint64 value)
{
    return value <= 0xff ? 0 : value <= 0xffff ? 1 : value <= 0xffffffffu ? 2 : 3;
}

} // namespace Dovlin_Format2

#endif
