// The import's problems on the standard error stream, for the command-line tools.
#ifndef DOVLIN_STREAMREPORTER_H
#define DOVLIN_STREAMREPORTER_H

#include "Dovlin_ImportReporter.h"

#include <cstdio>

class Dovlin_StreamReporter : public Dovlin_ImportReporter
{
public:
    void Error(const QString &text) override { fprintf(stderr, "error: %s\n", qUtf8Printable(text)); }
    void Warning(const QString &text) override { fprintf(stderr, "warning: %s\n", qUtf8Printable(text)); }
};

#endif
