#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace velnor {

// Forks `count` processes that call `attempt` at the same moment. Each tells through `report`
// whether it took what they race for; `report` then keeps it waiting, holding what it took,
// until every process has reported. Returns how many took it.
inline int racersThatWon(
    int count, const std::function<void(const std::function<void(bool)>& report)>& attempt) {
    int start[2], results[2], release[2];
    if (::pipe(start) != 0 || ::pipe(results) != 0 || ::pipe(release) != 0) return -1;
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
        const pid_t child = ::fork();
        if (child != 0) {
            children.push_back(child);
            continue;
        }
        char byte;
        ::close(start[1]);
        ::close(release[1]);
        while (::read(start[0], &byte, 1) > 0) {
        }
        attempt([&](bool took) {
            byte = took ? 'W' : 'l';
            if (::write(results[1], &byte, 1) != 1) ::_exit(2);
            while (::read(release[0], &byte, 1) > 0) {
            }
        });
        ::_exit(0);
    }
    for (const int fd : {start[0], release[0], results[1], start[1]}) ::close(fd);
    std::string answers;
    char byte;
    while (answers.size() < size_t(count) && ::read(results[0], &byte, 1) == 1) answers += byte;
    ::close(release[1]);
    ::close(results[0]);
    for (const pid_t child : children) ::waitpid(child, nullptr, 0);
    return int(std::ranges::count(answers, 'W'));
}

}  // namespace velnor
