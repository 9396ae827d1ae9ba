#ifndef DOVLIN_FILERECORDS_H
#define DOVLIN_FILERECORDS_H

#include "Dovlin_WaveList.h"

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <vector>

// Which dump a wave file was converted from, as the import read it: its size, its modification
// time and a digest of its first and last 64 KB. A wave file is up to date only while the dump
// still has all three: a dump replaced by another, or one that grew after it was read, has not.
struct Dovlin_DumpIdentity
{
    static constexpr qint64 m_EdgeBytes = qint64(64) << 10;

    // -1: not known (a file written before wave files recorded their dump).
    qint64 m_Size = -1;
    // Nanoseconds since the epoch.
    qint64 m_Modified = 0;
    // SHA-256 of the first m_EdgeBytes bytes followed by the last m_EdgeBytes bytes (the two
    // overlap in a dump shorter than twice that).
    QByteArray m_Digest;

    bool IsKnown() const { return m_Size >= 0 && m_Digest.size() == 32; }
    bool operator==(const Dovlin_DumpIdentity &other) const
    {
        return m_Size == other.m_Size && m_Modified == other.m_Modified && m_Digest == other.m_Digest;
    }
    bool operator!=(const Dovlin_DumpIdentity &other) const { return !(*this == other); }
};

// What a document showed when it was saved, so that opening the file brings it back: the time
// window, the measurement cursors and the view bookmarks.
struct Dovlin_SavedView
{
    static constexpr int m_MaxCursor = 10;
    static constexpr int m_nBookmark = 10;

    // Everything that fixes a visible window.
    struct Window
    {
        qint64 m_Start = 0;
        qint64 m_End = 1;
        qint64 m_TickTime = 1;
        int m_ZoomCo = 5;
        double m_ZoomRatio = 1.0;
    };

    // False for a file that keeps no view: the document opens zoomed to the whole file.
    bool m_Present = false;
    Window m_Window;
    // One time per cursor, 1 to m_MaxCursor of them.
    std::vector<qint64> m_Cursors;
    int m_DefaultCursor = 0;
    std::array<bool, m_nBookmark> m_BookmarkSet = {};
    std::array<Window, m_nBookmark> m_Bookmarks = {};
    // The wave list, kept whether or not the rest of the view is.
    Dovlin_ListRows m_List;
};

#endif
