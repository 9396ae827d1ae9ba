#include "source.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

void Diagnostics::print(int line, const char* severity, const std::string& message)
{
    if (line > 0)
        fprintf(stderr, "%s:%d: %s%s\n", m_file.c_str(), line, severity, message.c_str());
    else
        fprintf(stderr, "%s: %s%s\n", m_file.c_str(), severity, message.c_str());
}

void Diagnostics::error(int line, const std::string& message)
{
    ++m_errors;
    print(line, "error: ", message);
}

void Diagnostics::warning(int line, const std::string& message)
{
    print(line, "warning: ", message);
}

void Diagnostics::note(int line, const std::string& message)
{
    print(line, "", message);
}

bool readSource(const std::string& path, std::vector<SourceLine>& lines, Diagnostics& diag)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        diag.error(0, "cannot open the file");
        return false;
    }
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        lines.push_back({++number, text});
    }
    return true;
}

std::string stripComment(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '#' && (i == 0 || isspace(static_cast<unsigned char>(text[i - 1]))))
            return text.substr(0, i);
    return text;
}

std::vector<std::string> splitWords(const std::string& text)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isspace(static_cast<unsigned char>(text[i])))
            ++i;
        const size_t start = i;
        while (i < text.size() && !isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    return words;
}

bool isIdentifier(const std::string& word)
{
    if (word.empty() || !(isalpha(static_cast<unsigned char>(word[0])) || word[0] == '_'))
        return false;
    for (char c : word)
        if (!(isalnum(static_cast<unsigned char>(c)) || c == '_'))
            return false;
    return true;
}

bool parseNumber(const std::string& word, long min, long max, long& value)
{
    if (word.empty() || !(isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-'))
        return false;
    char* end = nullptr;
    errno = 0;
    value = strtol(word.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= min && value <= max;
}
