// C streams over memory, for the scanners and parsers that read and write FILE pointers.
#ifndef MEMSTREAMS_H
#define MEMSTREAMS_H

#include <QByteArray>

#include <cstdio>
#include <cstdlib>

// A stream reading a fixed text, NUL bytes included.
struct Input {
    QByteArray text;
    FILE* file = fmemopen(text.data(), size_t(text.size()), "r");
    ~Input() { fclose(file); }
};

// A stream that collects what is written to it.
struct Capture {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* file = open_memstream(&buffer, &size);
    ~Capture() { fclose(file); free(buffer); }
    QByteArray text() { fflush(file); return QByteArray(buffer, qsizetype(size)); }
};

#endif
