// Packing parser states into the runtime's fast or compact tables and writing the sources.
#include "parseemit.h"

#include "comb.h"

#include <algorithm>
#include <map>

namespace {

std::string tokensHeader(const Grammar& g, const OutputOptions& options)
{
    const std::string guard = upperName(options.name) + "_TOKENS_H";
    std::string text = banner(options) + "#ifndef " + guard + "\n#define " + guard
                       + "\n\nnamespace " + options.name + "_tokens {\n\nenum : int {\n";
    for (int t : g.declaredTokens)
        text += "    " + g.symbol(t).name + " = " + std::to_string(g.symbol(t).number) + ",\n";
    text += "};\n\n// The name of a token number as the grammar writes it; null for an unknown number.\n"
            "inline const char* token_name(int token)\n{\n    switch (token) {\n";
    for (int t : g.terminals) {
        std::string name;
        for (char c : g.symbol(t).name)
            name += (c == '\\' || c == '"') ? std::string("\\") + c : std::string(1, c);
        text += "    case " + std::to_string(g.symbol(t).number) + ": return \"" + name + "\";\n";
    }
    text += "    default: return nullptr;\n    }\n}\n\n} // namespace " + options.name
            + "_tokens\n\n#endif\n";
    return text;
}

std::string tablesHeader(const OutputOptions& options, const char* tables)
{
    const std::string guard = upperName(options.name) + "_TABLES_H";
    return banner(options) + "#ifndef " + guard + "\n#define " + guard
           + "\n\n#include \"yyparser.h\"\n\nconst " + tables + "& " + options.name
           + "_tables();\n\n#endif\n";
}

void reductionTable(const Grammar& g, CodeWriter& w)
{
    std::vector<std::string> items;
    for (const GrammarRule& rule : g.rules)
        items.push_back(record({w.s16(g.symbol(rule.lhs).number, "nonterminal"),
                                w.s16(long(rule.rhs.size()), "rule length"),
                                w.s16(rule.action, "action")}));
    w.array("yyreduction_t", "reduction", items);
}

// Per state, the destructor of the symbol that led to it; "nullptr" without destructors.
std::string destructorTable(const Grammar& g, const std::vector<ParserState>& states, CodeWriter& w)
{
    if (!g.destructors)
        return "nullptr";
    std::vector<std::string> items;
    for (const ParserState& state : states)
        items.push_back(state.accessing < 0 ? "-1"
                                            : w.s16(g.symbol(state.accessing).destructor, "action"));
    w.array("short", "destructorref", items);
    return "destructorref";
}

void fastTables(const Grammar& g, const std::vector<ParserState>& states,
                const OutputOptions& options, CodeWriter& w, Diagnostics& diag)
{
    const size_t n = states.size();
    std::vector<CombRow> actionRows(n), gotoRows(n);
    for (size_t s = 0; s < n; ++s) {
        for (const auto& [token, action] : states[s].actions)
            actionRows[s].columns.push_back(token);
        for (const auto& [symbol, target] : states[s].go)
            if (!g.symbol(symbol).terminal)
                gotoRows[s].columns.push_back(g.symbol(symbol).number);
        std::sort(gotoRows[s].columns.begin(), gotoRows[s].columns.end());
    }
    int actionSize = 0, gotoSize = 0;
    const std::vector<int> actionBase = packComb(actionRows, actionSize);
    const std::vector<int> gotoBase = packComb(gotoRows, gotoSize);

    std::vector<std::string> tokenaction(size_t(std::max(actionSize, 1)), record({"-1", "2", "0"}));
    std::vector<std::string> nontermgoto(size_t(std::max(gotoSize, 1)), record({"-1", "-1"}));
    std::vector<std::string> stateaction, stategoto;
    for (size_t s = 0; s < n; ++s) {
        const ParserState& state = states[s];
        for (const auto& [token, action] : state.actions)
            tokenaction[size_t(actionBase[s] + token)] =
                record({w.s16(long(s), "state"), std::to_string(action.type),
                        w.s16(action.value, "state or rule")});
        for (const auto& [symbol, target] : state.go)
            if (!g.symbol(symbol).terminal)
                nontermgoto[size_t(gotoBase[s] + g.symbol(symbol).number)] =
                    record({w.s16(long(s), "state"), w.s16(target, "state")});
        stateaction.push_back(record({w.s16(actionBase[s], "base"), state.lookahead ? "1" : "0",
                                      std::to_string(state.defaultAction.type),
                                      w.s16(state.defaultAction.value, "state or rule")}));
        stategoto.push_back(record({w.s16(gotoBase[s], "base"), "-1"}));
    }
    reductionTable(g, w);
    w.array("yystateaction_t", "stateaction", stateaction);
    w.array("yytokenaction_t", "tokenaction", tokenaction);
    w.array("yystategoto_t", "stategoto", stategoto);
    w.array("yynontermgoto_t", "nontermgoto", nontermgoto);
    const std::string destructors = destructorTable(g, states, w);

    std::string tokendest = "nullptr";
    long first = 32767, last = -1;
    for (int t : g.terminals)
        if (g.symbol(t).destructor >= 0) {
            first = std::min(first, long(g.symbol(t).number));
            last = std::max(last, long(g.symbol(t).number));
        }
    const long count = last >= 0 ? last - first + 1 : 0;
    if (count == 0)
        first = 0;
    if (count > 0) {
        std::vector<std::string> items(size_t(count), "-1");
        for (int t : g.terminals)
            if (g.symbol(t).destructor >= 0)
                items[size_t(g.symbol(t).number - first)] = w.s16(g.symbol(t).destructor, "action");
        w.array("short", "tokendestref", items);
        tokendest = "tokendestref";
    }
    w.out() << "const yyfparser_tables tables = {\n    " << g.attributeSize << ", " << g.stackSize
            << ", reduction, stateaction, tokenaction, " << w.s16(long(tokenaction.size()), "size")
            << ", stategoto, nontermgoto, " << w.s16(long(nontermgoto.size()), "size") << ",\n    "
            << destructors << ", " << tokendest << ", " << count << ", " << first << " };\n";
    if (options.verbose)
        diag.note(0, options.name + ": " + std::to_string(n) + " states, "
                         + std::to_string(g.rules.size()) + " rules, "
                         + std::to_string(tokenaction.size()) + " token-action records, "
                         + std::to_string(nontermgoto.size()) + " goto records");
}

void compactTables(const Grammar& g, const std::vector<ParserState>& states,
                   const OutputOptions& options, CodeWriter& w, Diagnostics& diag)
{
    std::vector<std::string> stateaction, tokenaction, stategoto, nontermgoto;
    std::map<std::vector<std::string>, long> actionLists, gotoLists;
    auto place = [](std::vector<std::string>& table, std::map<std::vector<std::string>, long>& lists,
                    const std::vector<std::string>& list) {
        auto found = lists.find(list);
        if (found == lists.end()) {
            found = lists.emplace(list, long(table.size())).first;
            table.insert(table.end(), list.begin(), list.end());
        }
        return found->second;
    };
    for (size_t s = 0; s < states.size(); ++s) {
        const ParserState& state = states[s];
        std::vector<std::string> list;
        for (const auto& [token, action] : state.actions)
            list.push_back(record({w.s16(token, "token"), std::to_string(action.type),
                                   w.s16(action.value, "state or rule")}));
        list.push_back(record({"-1", std::to_string(state.defaultAction.type),
                               w.s16(state.defaultAction.value, "state or rule")}));
        stateaction.push_back(record({w.s16(place(tokenaction, actionLists, list), "index"),
                                      state.lookahead ? "1" : "0"}));
        list.clear();
        for (const auto& [symbol, target] : state.go)
            if (!g.symbol(symbol).terminal)
                list.push_back(record({w.s16(g.symbol(symbol).number, "nonterminal"),
                                       w.s16(target, "state")}));
        list.push_back(record({"-1", "-1"}));
        stategoto.push_back(w.s16(place(nontermgoto, gotoLists, list), "index"));
    }
    reductionTable(g, w);
    w.array("yycstateaction_t", "stateaction", stateaction);
    w.array("yyctokenaction_t", "tokenaction", tokenaction);
    w.array("short", "stategoto", stategoto);
    w.array("yycnontermgoto_t", "nontermgoto", nontermgoto);
    const std::string destructors = destructorTable(g, states, w);
    std::string tokendest = "nullptr";
    std::vector<std::string> items;
    for (int t : g.terminals)
        if (g.symbol(t).destructor >= 0)
            items.push_back(record({std::to_string(g.symbol(t).number),
                                    w.s16(g.symbol(t).destructor, "action")}));
    if (!items.empty()) {
        items.push_back(record({"-1", "-1"}));
        w.array("yyctokendest_t", "tokendest", items);
        tokendest = "tokendest";
    }
    w.out() << "const yycparser_tables tables = {\n    " << g.attributeSize << ", " << g.stackSize
            << ", reduction, stateaction, tokenaction, stategoto, nontermgoto,\n    "
            << destructors << ", " << tokendest << " };\n";
    if (options.verbose)
        diag.note(0, options.name + ": " + std::to_string(states.size()) + " states, "
                         + std::to_string(g.rules.size()) + " rules, "
                         + std::to_string(tokenaction.size()) + " token-action records, "
                         + std::to_string(nontermgoto.size()) + " goto records");
}

} // namespace

bool writeParser(const Grammar& grammar, const std::vector<ParserState>& states,
                 const OutputOptions& options, Diagnostics& diag)
{
    const bool fast = options.flavour == "fast";
    const char* tables = fast ? "yyfparser_tables" : "yycparser_tables";
    CodeWriter w(diag);
    w.out() << banner(options) << "#include \"" << options.name << "_tables.h\"\n\nnamespace {\n\n";
    if (fast)
        fastTables(grammar, states, options, w, diag);
    else
        compactTables(grammar, states, options, w, diag);
    w.out() << "\n} // namespace\n\nconst " << tables << "& " << options.name
            << "_tables()\n{\n    return tables;\n}\n";
    if (diag.failed())
        return false;
    return writeOutput(options, options.name + "_tables.h", tablesHeader(options, tables), diag)
           && writeOutput(options, options.name + "_tables.cpp", w.text(), diag)
           && writeOutput(options, options.name + "_tokens.h", tokensHeader(grammar, options), diag);
}
