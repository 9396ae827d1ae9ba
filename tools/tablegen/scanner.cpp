#include "scanner.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace {

std::string trimLeft(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && isspace(static_cast<unsigned char>(text[i])))
        ++i;
    return text.substr(i);
}

bool parseOption(const SourceLine& line, const std::string& text, ScannerInput& scanner,
                 std::map<std::string, int>& definitions, Diagnostics& diag)
{
    const std::vector<std::string> words = splitWords(stripComment(text));
    const std::string& option = words[0];
    long value = 0;
    if (option == "%text" || option == "%unput") {
        if (words.size() != 2 || !parseNumber(words[1], 0, 32767, value)) {
            diag.error(line.number, option + " needs one size from 0 to 32767");
            return false;
        }
        (option == "%text" ? scanner.textSize : scanner.unputSize) = int(value);
        return true;
    }
    if (option == "%reject") {
        if (words.size() != 1) {
            diag.error(line.number, "%reject takes no value");
            return false;
        }
        scanner.reject = true;
        return true;
    }
    if (option == "%state") {
        if (words.size() < 2) {
            diag.error(line.number, "%state needs one or more names");
            return false;
        }
        for (size_t i = 1; i < words.size(); ++i) {
            if (!isIdentifier(words[i])
                || std::find(scanner.conditions.begin(), scanner.conditions.end(), words[i])
                       != scanner.conditions.end()) {
                diag.error(line.number, "bad or repeated start condition " + words[i]);
                return false;
            }
            scanner.conditions.push_back(words[i]);
        }
        return true;
    }
    if (option == "%define") {
        if (words.size() < 3 || !isIdentifier(words[1])) {
            diag.error(line.number, "expected %define NAME expression");
            return false;
        }
        if (definitions.count(words[1]) != 0) {
            diag.error(line.number, "{" + words[1] + "} is already defined");
            return false;
        }
        const std::string rest = trimLeft(trimLeft(text).substr(option.size()));
        const std::string expression = trimLeft(rest.substr(words[1].size()));
        const size_t length = regexLength(expression);
        if (!splitWords(stripComment(expression.substr(length))).empty()) {
            diag.error(line.number, "text after the expression of {" + words[1] + "}");
            return false;
        }
        std::string error;
        const int root = scanner.pool.parse(expression.substr(0, length), definitions, error);
        if (root < 0) {
            diag.error(line.number, "{" + words[1] + "}: " + error);
            return false;
        }
        definitions[words[1]] = root;
        return true;
    }
    diag.error(line.number, "unknown option " + option);
    return false;
}

// "A,B" or "*" between the angle brackets of a rule's start conditions.
bool parseConditions(const std::string& text, const ScannerInput& scanner, std::vector<int>& conditions)
{
    conditions.clear();
    if (text == "*") {
        for (size_t c = 0; c < scanner.conditions.size(); ++c)
            conditions.push_back(int(c));
        return true;
    }
    size_t begin = 0;
    for (;;) {
        const size_t comma = text.find(',', begin);
        const std::string name = text.substr(begin, comma == std::string::npos ? comma : comma - begin);
        const auto found = std::find(scanner.conditions.begin(), scanner.conditions.end(), name);
        if (found == scanner.conditions.end())
            return false;
        conditions.push_back(int(found - scanner.conditions.begin()));
        if (comma == std::string::npos)
            return true;
        begin = comma + 1;
    }
}

bool parseRule(const SourceLine& line, const std::string& text, ScannerInput& scanner,
               const std::map<std::string, int>& definitions, Diagnostics& diag)
{
    size_t i = 0;
    while (i < text.size() && !isspace(static_cast<unsigned char>(text[i])))
        ++i;
    long number = 0;
    if (!parseNumber(text.substr(0, i), 1, 32767, number)) {
        diag.error(line.number, "bad rule number " + text.substr(0, i));
        return false;
    }
    const long expected = long(scanner.rules.size()) + 1;
    if (number != expected) {
        diag.error(line.number, "rule " + std::to_string(number) + " out of order: expected rule "
                                    + std::to_string(expected));
        return false;
    }
    std::string expression = trimLeft(text.substr(i));
    std::vector<int> conditions{0};
    if (!expression.empty() && expression[0] == '<') {
        const size_t close = expression.find('>');
        if (close == std::string::npos
            || !parseConditions(expression.substr(1, close - 1), scanner, conditions)) {
            diag.error(line.number, "rule " + std::to_string(number)
                                        + ": expected <CONDITION,...> or <*> naming declared conditions");
            return false;
        }
        expression.erase(0, close + 1);
    }
    const bool anchored = !expression.empty() && expression[0] == '^';
    if (anchored)
        expression.erase(0, 1);
    const size_t length = regexLength(expression);
    if (length == 0) {
        diag.error(line.number, "rule " + std::to_string(number) + " has no expression");
        return false;
    }
    std::string error;
    const int root = scanner.pool.parse(expression.substr(0, length), definitions, error);
    if (root < 0) {
        diag.error(line.number, "rule " + std::to_string(number) + ": " + error);
        return false;
    }
    if (scanner.pool.nullable(root)) {
        diag.error(line.number, "rule " + std::to_string(number) + " matches the empty text");
        return false;
    }
    const std::vector<std::string> action = splitWords(stripComment(expression.substr(length)));
    if (action.size() > 2 || !std::all_of(action.begin(), action.end(), isIdentifier)) {
        diag.error(line.number, "rule " + std::to_string(number)
                                    + ": the action is one or two names (kind, token)");
        return false;
    }
    ScannerRule rule{int(number), line.number, root, anchored, conditions, "", ""};
    if (!action.empty())
        rule.kind = action[0];
    if (action.size() == 2)
        rule.token = action[1];
    scanner.rules.push_back(rule);
    return true;
}

using StateSet = std::vector<int>;

StateSet closure(const std::vector<NfaState>& nfa, StateSet seeds)
{
    std::vector<bool> seen(nfa.size(), false);
    StateSet result;
    while (!seeds.empty()) {
        const int s = seeds.back();
        seeds.pop_back();
        if (seen[size_t(s)])
            continue;
        seen[size_t(s)] = true;
        result.push_back(s);
        for (int e : nfa[size_t(s)].epsilon)
            seeds.push_back(e);
    }
    std::sort(result.begin(), result.end());
    return result;
}

// Merges equivalent states (same accepted rules, equivalent successors) by partition refinement.
std::vector<int> equivalenceClasses(const Dfa& dfa)
{
    const size_t n = dfa.next.size();
    std::vector<int> cls(n);
    std::map<std::vector<int>, int> keys;
    for (size_t s = 0; s < n; ++s)
        cls[s] = keys.emplace(dfa.accepts[s], int(keys.size())).first->second;
    size_t count = keys.size();
    for (;;) {
        std::map<std::vector<int>, int> refined;
        std::vector<int> next(n);
        for (size_t s = 0; s < n; ++s) {
            std::vector<int> key(257);
            key[0] = cls[s];
            for (size_t c = 0; c < 256; ++c)
                key[c + 1] = cls[size_t(dfa.next[s][c])];
            next[s] = refined.emplace(key, int(refined.size())).first->second;
        }
        cls.swap(next);
        if (refined.size() == count)
            return cls;
        count = refined.size();
    }
}

} // namespace

bool parseScanner(const std::vector<SourceLine>& lines, ScannerInput& scanner, Diagnostics& diag)
{
    std::map<std::string, int> definitions;
    for (const SourceLine& line : lines) {
        const std::string text = trimLeft(line.text);
        if (text.empty() || text[0] == '#')
            continue;
        if (text[0] == '%')
            parseOption(line, text, scanner, definitions, diag);
        else if (isdigit(static_cast<unsigned char>(text[0])))
            parseRule(line, text, scanner, definitions, diag);
        else
            diag.error(line.number, "expected a rule, %define or an option");
    }
    if (scanner.rules.empty())
        diag.error(0, "no rules");
    const bool named = !scanner.rules.empty() && !scanner.rules.front().kind.empty();
    for (const ScannerRule& rule : scanner.rules)
        if (rule.kind.empty() == named)
            diag.error(rule.line, "either every rule names its action or none does");
    return !diag.failed();
}

bool buildDfa(const ScannerInput& scanner, Dfa& dfa, Diagnostics& diag)
{
    Nfa nfa;
    const size_t nCondition = scanner.conditions.size();
    std::vector<StateSet> middle(nCondition), lineStart(nCondition);
    for (const ScannerRule& rule : scanner.rules) {
        const int start = nfa.addRule(scanner.pool, rule.root, rule.number);
        for (int c : rule.conditions) {
            lineStart[size_t(c)].push_back(start);
            if (!rule.anchored)
                middle[size_t(c)].push_back(start);
        }
    }
    const std::vector<NfaState>& states = nfa.states();

    // Subset construction; the empty set is the dead state 0.
    std::map<StateSet, int> ids;
    std::vector<StateSet> sets;
    auto idOf = [&](const StateSet& set) {
        const auto found = ids.find(set);
        if (found != ids.end())
            return found->second;
        ids[set] = int(sets.size());
        sets.push_back(set);
        return int(sets.size()) - 1;
    };
    idOf(StateSet());
    std::vector<int> starts;
    for (size_t c = 0; c < nCondition; ++c) {
        starts.push_back(idOf(closure(states, middle[c])));
        starts.push_back(idOf(closure(states, lineStart[c])));
    }
    Dfa raw;
    for (size_t d = 0; d < sets.size(); ++d) {
        std::vector<StateSet> moves(256);
        std::vector<int> accepts;
        for (int s : sets[d]) {
            const NfaState& state = states[size_t(s)];
            if (state.accept != 0)
                accepts.push_back(state.accept);
            if (state.next >= 0)
                for (size_t c = 0; c < 256; ++c)
                    if (state.chars[c])
                        moves[c].push_back(state.next);
        }
        std::sort(accepts.begin(), accepts.end());
        if (!scanner.reject && accepts.size() > 1)
            accepts.resize(1);
        std::vector<int> row(256);
        for (size_t c = 0; c < 256; ++c)
            row[c] = idOf(closure(states, moves[c]));
        raw.next.push_back(row);
        raw.accepts.push_back(accepts);
    }

    // Number the merged states: dead 0, the two start states of each condition in turn (a copy
    // of an earlier one when they are equivalent), the others in the order a walk from the start
    // states reaches them.
    const std::vector<int> cls = equivalenceClasses(raw);
    std::map<int, int> number;
    std::vector<int> representative;
    auto numberOf = [&](int state) {
        const auto found = number.find(cls[size_t(state)]);
        if (found != number.end())
            return found->second;
        const int id = int(representative.size());
        number[cls[size_t(state)]] = id;
        representative.push_back(state);
        return id;
    };
    auto startState = [&](int state) {
        if (number.count(cls[size_t(state)]) != 0)
            representative.push_back(state);
        else
            numberOf(state);
    };
    numberOf(0);
    for (int start : starts)
        startState(start);
    for (size_t i = 1; i < representative.size(); ++i)
        for (size_t c = 0; c < 256; ++c)
            numberOf(raw.next[size_t(representative[i])][c]);
    for (int state : representative) {
        std::vector<int> row(256);
        for (size_t c = 0; c < 256; ++c)
            row[c] = numberOf(raw.next[size_t(state)][c]);
        dfa.next.push_back(row);
        dfa.accepts.push_back(raw.accepts[size_t(state)]);
    }

    std::set<int> matched;
    for (const std::vector<int>& accepts : dfa.accepts)
        matched.insert(accepts.begin(), accepts.end());
    for (const ScannerRule& rule : scanner.rules)
        if (matched.count(rule.number) == 0)
            diag.warning(rule.line, "rule " + std::to_string(rule.number)
                                        + " can never be matched");
    return !diag.failed();
}
