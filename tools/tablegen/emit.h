// Writing generated C++ sources.
#ifndef TABLEGEN_EMIT_H
#define TABLEGEN_EMIT_H

#include "source.h"

#include <sstream>
#include <string>
#include <vector>

struct OutputOptions {
    std::string name;    // prefix of the generated files and functions
    std::string flavour; // "fast" or "compact"
    std::string directory;
    std::string input;   // the file name shown in the generated comment
    bool verbose = false;
};

class CodeWriter {
public:
    explicit CodeWriter(Diagnostics& diag) : m_diag(diag) {}

    // A value stored in an int16 table field; reports a table error when it does not fit.
    std::string s16(long value, const char* what);
    // Writes `const <type> <name>[] = { ... };` with the given initialisers.
    void array(const std::string& type, const std::string& name,
               const std::vector<std::string>& items);
    std::ostringstream& out() { return m_out; }
    std::string text() const { return m_out.str(); }

private:
    Diagnostics& m_diag;
    std::ostringstream m_out;
};

// "{ a, b, c }" from field values.
std::string record(const std::vector<std::string>& fields);

// The banner at the top of every generated file.
std::string banner(const OutputOptions& options);

// Writes `content` to directory/file unless the file already holds exactly that.
bool writeOutput(const OutputOptions& options, const std::string& file, const std::string& content,
                 Diagnostics& diag);

// NAME_IN_CAPITALS for include guards and macros.
std::string upperName(const std::string& name);

#endif
