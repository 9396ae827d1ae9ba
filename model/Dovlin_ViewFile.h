#ifndef DOVLIN_VIEWFILE_H
#define DOVLIN_VIEWFILE_H

#include "Dovlin_WaveList.h"

#include <QString>

#include <vector>

// A view file: the wave list by dotted paths, the cursors and the time window, as JSON (see
// docs/view-file.md), so that one arrangement serves the next simulation's dump or a colleague.
struct Dovlin_ViewFile
{
    // The times below count units of 10^m_TimeBase seconds.
    int m_TimeBase = -9;
    Dovlin_ListRows m_List;
    std::vector<qint64> m_Cursors;
    int m_DefaultCursor = 0;
    // The time window; m_End <= m_Start when the file keeps none.
    qint64 m_Start = 0;
    qint64 m_End = 0;

    // False with the reason in error when the file cannot be written in full.
    bool Write(const QString &path, QString &error) const;
    // False with the reason in error for a file that cannot be read or is no view file.
    bool Read(const QString &path, QString &error);
    // The times in another time base, rounded down; false when one would not fit in 64 bits.
    bool Rebase(int timeBase);
};

#endif
