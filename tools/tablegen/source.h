// Reading the generator's input files and reporting problems with file and line.
#ifndef TABLEGEN_SOURCE_H
#define TABLEGEN_SOURCE_H

#include <string>
#include <vector>

struct SourceLine {
    int number;
    std::string text;
};

class Diagnostics {
public:
    explicit Diagnostics(std::string file) : m_file(std::move(file)) {}

    void error(int line, const std::string& message);
    void warning(int line, const std::string& message);
    // A remark about the whole input (line 0) or a line, without a severity.
    void note(int line, const std::string& message);
    bool failed() const { return m_errors > 0; }
    const std::string& file() const { return m_file; }

private:
    void print(int line, const char* severity, const std::string& message);

    std::string m_file;
    int m_errors = 0;
};

// Reads every line of `path`; false (with a diagnostic) when it cannot be read.
bool readSource(const std::string& path, std::vector<SourceLine>& lines, Diagnostics& diag);

// The line with a trailing comment (a word starting with '#') removed.
std::string stripComment(const std::string& text);

// Whitespace-separated words of a line.
std::vector<std::string> splitWords(const std::string& text);

bool isIdentifier(const std::string& word);

// Parses a whole word as a decimal number in [min, max].
bool parseNumber(const std::string& word, long min, long max, long& value);

#endif
