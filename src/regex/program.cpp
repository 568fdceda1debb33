#include "regex/program.h"

#include "regex/syntax.h"

#include <cstdio>

namespace korvex::regex {

const char* opName(Op op) noexcept {
    switch (op) {
        case Op::Match: return "MATCH";
        case Op::Char: return "CHAR";
        case Op::CharCI: return "CHARCI";
        case Op::String: return "STRING";
        case Op::StringCI: return "STRINGCI";
        case Op::Any: return "ANY";
        case Op::AnyNL: return "ANYNL";
        case Op::Set: return "SET";
        case Op::TextStart: return "TEXTSTART";
        case Op::TextEnd: return "TEXTEND";
        case Op::LineStart: return "LINESTART";
        case Op::LineEnd: return "LINEEND";
        case Op::WordB: return "WORDB";
        case Op::NotWordB: return "NOTWORDB";
        case Op::Backref: return "BACKREF";
        case Op::BackrefCI: return "BACKREFCI";
        case Op::Open: return "OPEN";
        case Op::Close: return "CLOSE";
        case Op::Split: return "SPLIT";
        case Op::Jmp: return "JMP";
        case Op::Repeat: return "REPEAT";
        case Op::LoopInit: return "LOOPINIT";
        case Op::LoopTest: return "LOOPTEST";
        case Op::LoopNext: return "LOOPNEXT";
    }
    return "?";
}

namespace {

std::string quoted(std::string_view bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c >= 32 && c < 127 && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out + "\"";
}

std::string count(int n) { return n == kOpenBound ? std::string("inf") : std::to_string(n); }

std::string itemText(const Program& p, Op op, int a) {
    switch (op) {
        case Op::Char:
        case Op::CharCI: return std::string(opName(op)) + " " + quoted(std::string(1, static_cast<char>(a)));
        case Op::Set: return "SET [" + p.sets[a].describe() + "]";
        default: return opName(op);
    }
}

// A guard as "[bytes]", with "|mid" and "|end" when the way can also succeed without a byte.
std::string guardText(const Guard& g) {
    std::string out = "[" + g.first.describe() + "]";
    if (g.emptyMid) out += "|mid";
    if (g.emptyEnd) out += "|end";
    return out;
}

std::string guardSuffix(const Program& p, int guard) { return guard < 0 ? "" : " if " + guardText(p.guards[guard]); }

}  // namespace

std::string dumpProgram(const Program& p) {
    std::string out;
    out += "anchored " + std::string(p.anchored ? "yes" : "no") + "\n";
    out += "prefix " + quoted(p.prefix) + "\n";
    out += "required " + quoted(p.required) + "\n";
    out += "start " + guardText(p.start) + "\n";
    for (std::size_t pc = 0; pc < p.code.size(); ++pc) {
        const Inst& in = p.code[pc];
        std::string line = std::to_string(pc) + ": ";
        switch (in.op) {
            case Op::Char:
            case Op::CharCI:
            case Op::Set: line += itemText(p, in.op, in.a); break;
            case Op::String:
            case Op::StringCI: line += std::string(opName(in.op)) + " " + quoted(p.pool.substr(in.a, in.b)); break;
            case Op::Backref:
            case Op::BackrefCI:
            case Op::Open:
            case Op::Close: line += std::string(opName(in.op)) + " " + std::to_string(in.a); break;
            case Op::Split:
                line += "SPLIT " + std::to_string(in.x) + guardSuffix(p, in.guardFirst) + ", " + std::to_string(in.y) +
                        guardSuffix(p, in.guardSecond);
                break;
            case Op::Jmp: line += "JMP " + std::to_string(in.x); break;
            case Op::Repeat:
                line += "REPEAT " + itemText(p, static_cast<Op>(in.b), in.a) + " {" + count(in.min) + "," +
                        count(in.max) + "}" + (in.greedy ? "" : " lazy");
                if (in.followLit >= 0) {
                    line += " then " + quoted(p.pool.substr(in.followLit, in.followLen));
                } else if (in.followGuard >= 0) {
                    line += " then " + guardText(p.guards[in.followGuard]);
                }
                break;
            case Op::LoopInit:
                line += "LOOPINIT c" + std::to_string(in.a) + " depth " + std::to_string(in.b);
                break;
            case Op::LoopTest:
                line += "LOOPTEST c" + std::to_string(in.a) + " {" + count(in.min) + "," + count(in.max) + "}" +
                        (in.greedy ? "" : " lazy") + " exit " + std::to_string(in.x);
                if (in.guardFirst >= 0 || in.guardSecond >= 0) {
                    const char* first = in.greedy ? "body" : "exit";
                    const char* second = in.greedy ? "exit" : "body";
                    line += std::string(", ") + first + guardSuffix(p, in.guardFirst) + ", " + second +
                            guardSuffix(p, in.guardSecond);
                }
                break;
            case Op::LoopNext: line += "LOOPNEXT c" + std::to_string(in.a) + " -> " + std::to_string(in.x); break;
            default: line += opName(in.op); break;
        }
        out += line + "\n";
    }
    return out;
}

}  // namespace korvex::regex
