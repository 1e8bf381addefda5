#pragma once

// Problems as the tests show them, in failure messages and in what helper processes print: the
// kind's name, then the reason in quotes.

#include <cstdio>
#include <ostream>
#include <utility>

#include "core/problem.h"

namespace velnor {

inline std::ostream& operator<<(std::ostream& out, ProblemKind kind) {
    static constexpr std::pair<ProblemKind, const char*> kNames[] = {
        {ProblemKind::Other, "Other"},
        {ProblemKind::Missing, "Missing"},
        {ProblemKind::Permission, "Permission"},
        {ProblemKind::Busy, "Busy"},
        {ProblemKind::NotSerialPort, "NotSerialPort"},
        {ProblemKind::Gone, "Gone"},
        {ProblemKind::TimedOut, "TimedOut"},
    };
    for (const auto& [named, name] : kNames)
        if (named == kind) return out << name;
    return out << "ProblemKind " << static_cast<int>(kind);
}

// Characters beyond ASCII are written \uXXXX.
inline std::ostream& operator<<(std::ostream& out, const Problem& problem) {
    out << problem.kind << " \"";
    for (const char16_t c : problem.reason) {
        char escaped[8] = {static_cast<char>(c), 0};
        if (c >= 0x80) std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
        out << escaped;
    }
    return out << '"';
}

template <class T>
std::ostream& operator<<(std::ostream& out, const Result<T>& result) {
    if (result) return out << "done";
    return out << result.error();
}

}  // namespace velnor
