// The process-wide seams a test changes, each set for one scope, so that a check that fails and
// returns early leaves the next test the defaults.
#ifndef DOVLIN_SCOPEDSEAMS_H
#define DOVLIN_SCOPEDSEAMS_H

#include "Dovlin_FileIo.h"
#include "Dovlin_Hierarchies.h"

#include <QByteArray>

// The file seam's replacement.
class ScopedFileIo
{
public:
    explicit ScopedFileIo(Dovlin_FileIo *io) : m_Before(Dovlin_FileIo::Install(io)) {}
    ~ScopedFileIo() { Dovlin_FileIo::Install(m_Before); }

private:
    Dovlin_FileIo *m_Before;
};

// An environment variable such as XDG_CACHE_HOME, TMPDIR or DOVLIN_MEMORY_BUDGET.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char *name, const QByteArray &value)
        : m_Name(name), m_WasSet(qEnvironmentVariableIsSet(name)), m_Before(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnvironment()
    {
        if (m_WasSet)
            qputenv(m_Name, m_Before);
        else
            qunsetenv(m_Name);
    }

private:
    const char *m_Name;
    bool m_WasSet;
    QByteArray m_Before;
};

// How many events a node's merged change times may hold.
class ScopedMaxMergedEvents
{
public:
    explicit ScopedMaxMergedEvents(qint64 events) : m_Before(Dovlin_Hierarchy::MaxMergedEvents())
    {
        Dovlin_Hierarchy::SetMaxMergedEvents(events);
    }
    ~ScopedMaxMergedEvents() { Dovlin_Hierarchy::SetMaxMergedEvents(m_Before); }

private:
    qint64 m_Before;
};

#endif
