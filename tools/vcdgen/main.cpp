// Writes a deterministic VCD dump shaped like simulator output, for benchmarks: nested scopes,
// mostly one-bit wires, vectors of 4 to 64 bits, some integers and reals, identifier codes over
// the whole printable range (digit-only ones among them), time stamps beyond 32 bits. The mode
// "vectors" writes a vector-heavy dump instead: random vectors of 4 to 32 bits, reals and one-bit
// wires, each kind a third of the changes. The mode "strings" writes state machines as string
// variables, as VHDL simulators dump enumerations, beside one-bit wires and a message whose every
// text is new.
//
// Usage: vcdgen SIZE_MB SEED OUT.vcd [vectors|strings]

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// xorshift64*: the same dump for the same seed on every machine.
struct Random
{
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 0x2545F4914F6CDD1Dull;
    }
    uint32_t below(uint32_t n) { return uint32_t((next() >> 32) % n); }
};

enum class Kind { Wire, Vector, Integer, Real };

struct Variable
{
    Kind kind;
    int width;
    std::string code;
    // Chance of a change per time step, in 1/1000.
    uint32_t activity;
};

// Identifier codes count upward in base 94 over '!' .. '~', as simulators assign them.
std::string codeOf(uint64_t n)
{
    std::string code;
    do {
        code += char('!' + n % 94);
        n /= 94;
    } while (n);
    return code;
}

class Writer
{
public:
    explicit Writer(FILE *file) : m_File(file) { m_Buffer.reserve(1 << 20); }
    ~Writer() { flush(); }
    void put(const std::string &text)
    {
        m_Buffer += text;
        if (m_Buffer.size() >= (1u << 20))
            flush();
    }
    void flush()
    {
        m_Written += m_Buffer.size();
        std::fwrite(m_Buffer.data(), 1, m_Buffer.size(), m_File);
        m_Buffer.clear();
    }
    uint64_t written() const { return m_Written + m_Buffer.size(); }

private:
    FILE *m_File;
    std::string m_Buffer;
    uint64_t m_Written = 0;
};

std::string bits(uint64_t value, int width)
{
    // Leading zeros dropped, as most simulators write vectors.
    std::string text;
    for (int bit = width - 1; bit >= 0; --bit) {
        const char c = (value >> bit) & 1 ? '1' : '0';
        if (c == '1' || !text.empty())
            text += c;
    }
    return text.empty() ? "0" : text;
}

void declare(Writer &out, Random &random, std::vector<Variable> &variables, int depth, int &scopes, int maxVariables)
{
    const int children = depth < 3 ? 2 + int(random.below(3)) : 0;
    const int own = 4 + int(random.below(24));
    for (int i = 0; i < own && int(variables.size()) < maxVariables; ++i) {
        Variable v;
        const uint32_t r = random.below(100);
        v.kind = r < 70 ? Kind::Wire : r < 90 ? Kind::Vector : r < 95 ? Kind::Integer : Kind::Real;
        v.width = v.kind == Kind::Wire ? 1 : v.kind == Kind::Vector ? 4 + int(random.below(61)) : v.kind == Kind::Integer ? 32 : 64;
        v.code = codeOf(variables.size());
        v.activity = v.kind == Kind::Wire ? 20 + random.below(200) : 10 + random.below(100);
        const char *type = v.kind == Kind::Wire ? (random.below(2) ? "wire" : "reg")
                           : v.kind == Kind::Vector ? "wire" : v.kind == Kind::Integer ? "integer" : "real";
        std::string name = (v.kind == Kind::Wire ? "sig" : v.kind == Kind::Vector ? "bus" : v.kind == Kind::Integer ? "count" : "level") + std::to_string(variables.size());
        std::string line = "$var " + std::string(type) + " " + std::to_string(v.width) + " " + v.code + " " + name;
        if (v.kind == Kind::Vector)
            line += " [" + std::to_string(v.width - 1) + ":0]";
        out.put(line + " $end\n");
        variables.push_back(v);
    }
    for (int c = 0; c < children && int(variables.size()) < maxVariables; ++c) {
        out.put("$scope module u" + std::to_string(scopes++) + " $end\n");
        declare(out, random, variables, depth + 1, scopes, maxVariables);
        out.put("$upscope $end\n");
    }
}

std::string value(Random &random, const Variable &v)
{
    switch (v.kind) {
    case Kind::Wire: {
        const uint32_t r = random.below(1000);
        return std::string(1, r < 3 ? 'x' : r < 5 ? 'z' : (r & 1) ? '1' : '0') + v.code;
    }
    case Kind::Vector: {
        const uint64_t mask = v.width == 64 ? ~0ull : (1ull << v.width) - 1;
        return "b" + bits(random.next() & mask, v.width) + " " + v.code;
    }
    case Kind::Integer:
        return "b" + bits(random.below(100000), 32) + " " + v.code;
    case Kind::Real: {
        char text[64];
        std::snprintf(text, sizeof text, "r%.6g %s", (int(random.below(20001)) - 10000) / 97.0, v.code.c_str());
        return text;
    }
    }
    return std::string();
}

// 600 variables of each kind in one scope; at each time stamp 60 changes, the kind of each drawn
// first, so that every kind takes a third of them.
void writeVectors(Writer &out, Random &random, uint64_t size)
{
    out.put("$timescale 1ps $end\n$scope module tb $end\n");
    std::vector<Variable> kinds[3];
    for (int i = 0; i < 1800; ++i) {
        Variable v;
        v.kind = i % 3 == 0 ? Kind::Vector : i % 3 == 1 ? Kind::Real : Kind::Wire;
        v.width = v.kind == Kind::Vector ? 4 + int(random.below(29)) : v.kind == Kind::Real ? 64 : 1;
        v.code = codeOf(uint64_t(i));
        v.activity = 0;
        const std::string name = std::string(v.kind == Kind::Vector ? "bus" : v.kind == Kind::Real ? "level" : "sig") + std::to_string(i);
        std::string line = "$var " + std::string(v.kind == Kind::Real ? "real" : "wire") + " " + std::to_string(v.width) + " " + v.code + " " + name;
        if (v.kind == Kind::Vector)
            line += " [" + std::to_string(v.width - 1) + ":0]";
        out.put(line + " $end\n");
        kinds[i % 3].push_back(v);
    }
    out.put("$upscope $end\n$enddefinitions $end\n");
    uint64_t time = 0;
    while (out.written() < size) {
        time += 1000;
        out.put("#" + std::to_string(time) + "\n");
        for (int c = 0; c < 60; ++c) {
            const std::vector<Variable> &list = kinds[random.below(3)];
            out.put(value(random, list[random.below(uint32_t(list.size()))]) + "\n");
        }
    }
}

// 64 state machines over eight state names, 64 one-bit wires and one message: at each time stamp
// 16 state changes, 16 wire changes and a new message text.
void writeStrings(Writer &out, Random &random, uint64_t size)
{
    static const char *const states[] = {"IDLE", "FETCH", "DECODE", "EXECUTE", "MEMORY", "WRITE_BACK", "STALL", "FLUSH"};
    out.put("$timescale 1ns $end\n$scope module tb $end\n$var string 0 ! message $end\n");
    for (int i = 0; i < 128; ++i)
        out.put((i < 64 ? "$var string 0 " : "$var wire 1 ") + codeOf(uint64_t(i + 1)) + (i < 64 ? " state" : " sig") +
                std::to_string(i) + " $end\n");
    out.put("$upscope $end\n$enddefinitions $end\n");
    uint64_t time = 0;
    while (out.written() < size) {
        time += 10;
        out.put("#" + std::to_string(time) + "\ns" + "frame_" + std::to_string(time) + "_crc_" +
                std::to_string(random.next() >> 32) + " !\n");
        for (int c = 0; c < 16; ++c) {
            out.put("s" + std::string(states[random.below(8)]) + " " + codeOf(1 + random.below(64)) + "\n");
            out.put(std::string(1, char('0' + random.below(2))) + codeOf(65 + random.below(64)) + "\n");
        }
    }
}
}

int main(int argc, char *argv[])
{
    const std::string mode = argc == 5 ? argv[4] : "";
    if (argc != 4 && mode != "vectors" && mode != "strings") {
        std::fprintf(stderr, "usage: vcdgen SIZE_MB SEED OUT.vcd [vectors|strings]\n");
        return 2;
    }
    const uint64_t size = std::strtoull(argv[1], nullptr, 10) * 1000000ull;
    Random random(std::strtoull(argv[2], nullptr, 10));
    FILE *file = std::fopen(argv[3], "wb");
    if (!file) {
        std::perror(argv[3]);
        return 1;
    }
    if (mode == "vectors") {
        Writer out(file);
        writeVectors(out, random, size);
    } else if (mode == "strings") {
        Writer out(file);
        writeStrings(out, random, size);
    } else {
        Writer out(file);
        out.put("$date\n\tgenerated\n$end\n$version\n\tvcdgen\n$end\n$timescale 1ps $end\n");
        out.put("$scope module tb $end\n$var wire 1 ! clk $end\n");
        std::vector<Variable> variables{{Kind::Wire, 1, "!", 1000}};
        int scopes = 0;
        declare(out, random, variables, 0, scopes, 3000);
        out.put("$upscope $end\n$enddefinitions $end\n$dumpvars\n");
        for (const Variable &v : variables)
            out.put(value(random, v) + "\n");
        out.put("$end\n");
        // A clock period of 5 ns from 2^32 ps on: every stamp is beyond 32 bits.
        uint64_t time = (1ull << 32);
        int clock = 0;
        while (out.written() < size) {
            time += 2500;
            out.put("#" + std::to_string(time) + "\n");
            clock ^= 1;
            out.put(std::string(1, char('0' + clock)) + "!\n");
            for (size_t i = 1; i < variables.size(); ++i)
                if (random.below(1000) < variables[i].activity / 8)
                    out.put(value(random, variables[i]) + "\n");
        }
    }
    return std::fclose(file) == 0 ? 0 : 1;
}
