// Packing a scanner DFA into the runtime's fast or compact tables and writing the sources.
#include "scanemit.h"

#include "comb.h"

#include <map>

namespace {

// A state that falls back to another never chains further than this, bounding the lookups
// per character.
const int maxFallbackDepth = 3;

std::vector<int> differingBytes(const std::vector<int>& row, const std::vector<int>& other)
{
    std::vector<int> bytes;
    for (int c = 0; c < 256; ++c)
        if (row[size_t(c)] != other[size_t(c)])
            bytes.push_back(c);
    return bytes;
}

// The match field of every state; accepting several rules needs a list in `match`.
std::vector<long> matchFields(const Dfa& dfa, std::vector<long>& match)
{
    match.assign(1, 0);
    std::map<std::vector<int>, long> lists;
    std::vector<long> fields;
    for (const std::vector<int>& accepts : dfa.accepts) {
        if (accepts.size() <= 1) {
            fields.push_back(accepts.empty() ? 0 : accepts.front());
            continue;
        }
        auto found = lists.find(accepts);
        if (found == lists.end()) {
            found = lists.emplace(accepts, long(match.size())).first;
            match.insert(match.end(), accepts.begin(), accepts.end());
            match.push_back(0);
        }
        fields.push_back(-found->second);
    }
    return fields;
}

std::string headerText(const ScannerInput& scanner, const OutputOptions& options, const char* tables)
{
    const std::string guard = upperName(options.name) + "_TABLES_H";
    std::string text = banner(options) + "#ifndef " + guard + "\n#define " + guard
                       + "\n\n#include \"yylexer.h\"\n\nconst " + tables + "& " + options.name
                       + "_tables();\n";
    if (scanner.conditions.size() > 1) {
        text += "\n// Start conditions: the value of yystart that selects each.\nnamespace " + options.name
                + "_conditions {\nenum : int {";
        for (size_t c = 0; c < scanner.conditions.size(); ++c)
            text += std::string(c == 0 ? " " : ", ") + scanner.conditions[c] + " = " + std::to_string(2 * c);
        text += " };\n}\n";
    }
    if (!scanner.rules.front().kind.empty()) {
        const std::string macro = upperName(options.name);
        text += "\n// X(rule, action kind, token or 0) for every rule, in rule order.\n#define "
                + macro + "_RULE_ACTIONS(X)";
        for (const ScannerRule& rule : scanner.rules)
            text += " \\\n    X(" + std::to_string(rule.number) + ", " + rule.kind + ", "
                    + (rule.token.empty() ? "0" : rule.token) + ")";
        text += "\n\n#define " + macro + "_RULE_COUNT " + std::to_string(scanner.rules.size()) + "\n";
    }
    return text + "\n#endif\n";
}

void backupTable(const ScannerInput& scanner, CodeWriter& w)
{
    // No rule has trailing context: one zero byte per rule and one for rule 0.
    w.array("unsigned char", "backup", std::vector<std::string>(scanner.rules.size() + 1, "0"));
}

void fastTables(const ScannerInput& scanner, const Dfa& dfa, const OutputOptions& options,
                CodeWriter& w, Diagnostics& diag)
{
    const size_t n = dfa.next.size();
    std::vector<long> defs(n, 0);
    std::vector<int> depth(n, 0);
    std::vector<CombRow> rows(n);
    for (size_t s = 1; s < n; ++s) {
        const std::vector<int>& row = dfa.next[s];
        std::vector<int> best = differingBytes(row, dfa.next[0]);
        std::map<int, int> count;
        for (int next : row)
            if (next != 0)
                ++count[next];
        for (const auto& [target, times] : count)
            if (256 - times < int(best.size())) {
                best = differingBytes(row, std::vector<int>(256, target));
                defs[s] = -target;
            }
        for (size_t d = 1; d < s; ++d) {
            if (depth[d] >= maxFallbackDepth)
                continue;
            std::vector<int> bytes = differingBytes(row, dfa.next[d]);
            if (bytes.size() < best.size()) {
                best.swap(bytes);
                defs[s] = long(d);
                depth[s] = depth[d] + 1;
            }
        }
        rows[s].columns = best;
        rows[s].nonzeroBase = defs[s] == 0;
    }
    int size = 0;
    const std::vector<int> bases = packComb(rows, size);
    std::vector<std::string> transition(size_t(size > 0 ? size : 1), record({"0", "-1"}));
    for (size_t s = 1; s < n; ++s)
        for (int c : rows[s].columns)
            transition[size_t(bases[s] + c)] =
                record({w.s16(dfa.next[s][size_t(c)], "state"), w.s16(long(s), "state")});

    std::vector<long> match;
    const std::vector<long> fields = matchFields(dfa, match);
    std::vector<std::string> items;
    for (long m : match)
        items.push_back(w.s16(m, "rule"));
    w.array("yymatch_t", "match", items);
    items.clear();
    for (size_t s = 0; s < n; ++s)
        items.push_back(record({w.s16(defs[s], "default state"), w.s16(bases[s], "base"),
                                w.s16(fields[s], "match")}));
    w.array("yystate_t", "state", items);
    w.array("yytransition_t", "transition", transition);
    backupTable(scanner, w);
    w.out() << "const yyflexer_tables tables = { " << scanner.textSize << ", " << scanner.unputSize
            << ", match, state, transition, " << w.s16(long(transition.size()), "transition count")
            << ", backup, " << n << " };\n";
    if (options.verbose)
        diag.note(0, options.name + ": " + std::to_string(n) + " states, "
                         + std::to_string(transition.size()) + " transition records");
}

void compactTables(const ScannerInput& scanner, const Dfa& dfa, const OutputOptions& options,
                   CodeWriter& w, Diagnostics& diag)
{
    const size_t n = dfa.next.size();
    std::vector<std::string> transition;
    std::map<std::vector<std::string>, long> lists;
    std::vector<long> first(n);
    for (size_t s = 0; s < n; ++s) {
        const std::vector<int>& row = dfa.next[s];
        std::vector<std::string> list;
        for (int c = 0; c < 256;) {
            const int next = row[size_t(c)];
            int last = c;
            while (last < 255 && row[size_t(last + 1)] == next)
                ++last;
            if (next != 0)
                list.push_back(record({std::to_string(c), std::to_string(last), w.s16(next, "state")}));
            c = last + 1;
        }
        list.push_back(record({"0", "0", "-1"}));
        auto found = lists.find(list);
        if (found == lists.end()) {
            found = lists.emplace(list, long(transition.size())).first;
            transition.insert(transition.end(), list.begin(), list.end());
        }
        first[s] = found->second;
    }
    std::vector<long> match;
    const std::vector<long> fields = matchFields(dfa, match);
    std::vector<std::string> items;
    for (long m : match)
        items.push_back(w.s16(m, "rule"));
    w.array("yymatch_t", "match", items);
    items.clear();
    for (size_t s = 0; s < n; ++s)
        items.push_back(record({w.s16(first[s], "transition index"), w.s16(fields[s], "match")}));
    w.array("yycstate_t", "state", items);
    w.array("yyctransition_t", "transition", transition);
    backupTable(scanner, w);
    w.out() << "const yyclexer_tables tables = { " << scanner.textSize << ", " << scanner.unputSize
            << ", match, state, transition, backup };\n";
    if (options.verbose)
        diag.note(0, options.name + ": " + std::to_string(n) + " states, "
                         + std::to_string(transition.size()) + " transition records");
}

} // namespace

bool writeScanner(const ScannerInput& scanner, const Dfa& dfa, const OutputOptions& options,
                  Diagnostics& diag)
{
    const bool fast = options.flavour == "fast";
    const char* tables = fast ? "yyflexer_tables" : "yyclexer_tables";
    CodeWriter w(diag);
    w.out() << banner(options) << "#include \"" << options.name << "_tables.h\"\n\nnamespace {\n\n";
    if (fast)
        fastTables(scanner, dfa, options, w, diag);
    else
        compactTables(scanner, dfa, options, w, diag);
    w.out() << "\n} // namespace\n\nconst " << tables << "& " << options.name
            << "_tables()\n{\n    return tables;\n}\n";
    if (diag.failed())
        return false;
    return writeOutput(options, options.name + "_tables.h", headerText(scanner, options, tables), diag)
           && writeOutput(options, options.name + "_tables.cpp", w.text(), diag);
}
