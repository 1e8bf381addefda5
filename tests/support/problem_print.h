#pragma once

// Readable GoogleTest failure messages for the problems the platform reports.

#include <gtest/gtest.h>

#include <ostream>

#include "core/problem.h"

namespace velnor {

inline void PrintTo(ProblemKind kind, std::ostream* out) {
    switch (kind) {
        case ProblemKind::Other:
            *out << "Other";
            return;
        case ProblemKind::Missing:
            *out << "Missing";
            return;
        case ProblemKind::Permission:
            *out << "Permission";
            return;
        case ProblemKind::Busy:
            *out << "Busy";
            return;
        case ProblemKind::NotSerialPort:
            *out << "NotSerialPort";
            return;
        case ProblemKind::Gone:
            *out << "Gone";
            return;
        case ProblemKind::TimedOut:
            *out << "TimedOut";
            return;
    }
    *out << "ProblemKind " << static_cast<int>(kind);
}

inline void PrintTo(const Problem& problem, std::ostream* out) {
    PrintTo(problem.kind, out);
    *out << " " << testing::PrintToString(problem.reason);
}

template <class T>
void PrintTo(const Result<T>& result, std::ostream* out) {
    if (result)
        *out << "done";
    else
        PrintTo(result.error(), out);
}

}  // namespace velnor
