// dovlin-tablegen: builds scanner and parser tables for the ParGen runtime.
//
//   dovlin-tablegen scanner|parser --name NAME --flavour fast|compact --out DIR [-v] INPUT
//
// A scanner rule file gives NAME_tables.h/.cpp; a grammar file gives NAME_tables.h/.cpp and
// NAME_tokens.h. Problems are reported on stderr; a table error gives exit status 1.
// The input formats are described in README.md beside this file.
#include "lalr.h"
#include "parseemit.h"
#include "scanemit.h"

#include <cstdio>
#include <cstring>

namespace {

int usage()
{
    fprintf(stderr, "usage: dovlin-tablegen scanner|parser --name NAME --flavour fast|compact "
                    "--out DIR [-v] INPUT\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string kind = argv[1];
    OutputOptions options;
    std::string path;
    for (int i = 2; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (strcmp(argv[i], "--name") == 0 && hasValue)
            options.name = argv[++i];
        else if (strcmp(argv[i], "--flavour") == 0 && hasValue)
            options.flavour = argv[++i];
        else if (strcmp(argv[i], "--out") == 0 && hasValue)
            options.directory = argv[++i];
        else if (strcmp(argv[i], "-v") == 0)
            options.verbose = true;
        else if (argv[i][0] != '-' && path.empty())
            path = argv[i];
        else
            return usage();
    }
    if ((kind != "scanner" && kind != "parser") || path.empty() || !isIdentifier(options.name)
        || (options.flavour != "fast" && options.flavour != "compact") || options.directory.empty())
        return usage();
    const size_t slash = path.find_last_of('/');
    options.input = slash == std::string::npos ? path : path.substr(slash + 1);

    Diagnostics diag(path);
    std::vector<SourceLine> lines;
    if (!readSource(path, lines, diag))
        return 1;
    bool ok = false;
    if (kind == "scanner") {
        ScannerInput scanner;
        Dfa dfa;
        ok = parseScanner(lines, scanner, diag) && buildDfa(scanner, dfa, diag)
             && writeScanner(scanner, dfa, options, diag);
    } else {
        Grammar grammar;
        std::vector<ParserState> states;
        ok = parseGrammar(lines, grammar, diag) && buildParser(grammar, states, diag)
             && writeParser(grammar, states, options, diag);
    }
    return ok ? 0 : 1;
}
