#include "platform/x11/keymap_slots.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace velnor::x11 {
namespace {

// Each scenario is a script of steps, one a line: the time in milliseconds, what the backend does
// and, after "->", what the slots answer. Symbols are written as letters, slots as keycodes:
//   bind a -> slot 10 | wait until 50 | none     a symbol to type now
//   ahead abc -> 10:ab 20:c | none              symbols to be typed soon, bound in runs
//   room -> 2                                   how many ahead can bind
//   use 10, press 10, release 10                the backend looked 10 up, pressed or released it
//   keymap 10:a 11:x                            another client changed the keymap to these rows
//   bound -> 10 11                              what the backend undoes as it ends
struct Scenario {
    const char* name;
    std::vector<Keycode> spares;
    const char* script;
};

const Scenario kScenarios[] = {
    {"a burst binds six slots a round, then waits for the next round",
     {10, 11, 12, 13, 14, 15, 16, 17},
     "0 bind a -> slot 10\n"
     "0 bind b -> slot 11\n"
     "1 bind c -> slot 12\n"
     "1 bind d -> slot 13\n"
     "2 bind e -> slot 14\n"
     "2 bind f -> slot 15\n"
     "3 bind g -> wait until 50\n"
     "49 bind g -> wait until 50\n"
     "50 bind g -> slot 16\n"
     "50 bind h -> slot 17\n"
     "51 bind i -> slot 10\n"},
    {"a slot used a moment ago is bound anew only 50 ms after its last use",
     {10, 11},
     "0 bind a -> slot 10\n"
     "0 bind b -> slot 11\n"
     "10 bind c -> wait until 50\n"
     "20 use 10\n"
     "50 bind c -> slot 11\n"
     "50 bind d -> wait until 70\n"
     "69 bind d -> wait until 70\n"
     "70 bind d -> slot 10\n"},
    {"a held slot is never bound anew, and its release is a use",
     {10, 11},
     "0 bind a -> slot 10\n"
     "0 press 10\n"
     "0 bind b -> slot 11\n"
     "0 press 11\n"
     "100 bind c -> none\n"
     "200 release 11\n"
     "210 bind c -> wait until 250\n"
     "250 bind c -> slot 11\n"
     "900 bind d -> slot 11\n"},
    {"the ready slot longest unused is bound",
     {10, 11, 12},
     "0 bind a -> slot 10\n"
     "1 bind b -> slot 11\n"
     "2 bind c -> slot 12\n"
     "30 use 10\n"
     "100 bind d -> slot 11\n"
     "100 bind e -> slot 12\n"
     "100 bind f -> slot 10\n"},
    {"symbols bound ahead go in runs of neighbouring slots, within the round, never on a held one",
     {10, 11, 12, 20, 21, 30, 31, 32},
     "0 room -> 6\n"
     "0 ahead abcdefgh -> 10:abc 20:de 30:f\n"
     "0 press 11\n"
     "0 room -> 0\n"
     "0 ahead gh -> none\n"
     "0 bind g -> wait until 50\n"
     "50 room -> 6\n"
     "50 ahead xyz -> 10:x 12:y 20:z\n"
     "50 ahead q -> none\n"
     "51 ahead qr -> 21:q 30:r\n"
     "51 room -> 0\n"},
    {"a wait lasts until both a slot and the round allow",
     {10, 11, 12, 13, 14, 15, 16},
     "0 bind a -> slot 10\n"
     "40 use 10\n"
     "60 bind b -> slot 11\n"
     "60 bind c -> slot 12\n"
     "60 bind d -> slot 13\n"
     "60 bind e -> slot 14\n"
     "60 bind f -> slot 15\n"
     "60 bind g -> slot 16\n"
     "70 bind h -> wait until 110\n"
     "90 bind h -> wait until 110\n"
     "110 bind h -> slot 10\n"},
    {"slots another client took over are forgotten, held or not, and not undone at the end",
     {10, 11, 12, 13},
     "0 bind a -> slot 10\n"
     "0 bind b -> slot 11\n"
     "0 bind c -> slot 12\n"
     "0 press 11\n"
     "5 keymap 10:a 11:x 12:y 13:z\n"
     "5 bound -> 10\n"
     "100 bind d -> slot 10\n"
     "100 bind e -> wait until 150\n"
     "150 bind e -> slot 10\n"},
};

std::string letters(const std::vector<Keysym>& keysyms) {
    return std::string(keysyms.begin(), keysyms.end());
}

// Plays one step and says what came of it, as the scripts write it.
std::string play(KeymapSlots& slots, const std::string& step) {
    std::istringstream in(step);
    long long at = 0;
    std::string action;
    in >> at >> action;
    const KeymapSlots::Duration now{at};
    std::string result;
    if (action == "bind") {
        char symbol = 0;
        in >> symbol;
        const KeymapSlots::Slot slot = slots.bind(Keysym(symbol), now);
        if (slot.code) result = "slot " + std::to_string(slot.code);
        if (slot.retryAt)
            result +=
                (slot.code ? ", " : "") + ("wait until " + std::to_string(slot.retryAt->count()));
        return result.empty() ? "none" : result;
    }
    if (action == "ahead") {
        std::string symbols;
        in >> symbols;
        const std::vector<Keysym> keysyms(symbols.begin(), symbols.end());
        for (const KeymapSlots::Run& run : slots.bindAhead(keysyms, now))
            result += (result.empty() ? "" : " ") + std::to_string(run.first) + ":" +
                      letters(run.keysyms);
        return result.empty() ? "none" : result;
    }
    if (action == "room") return std::to_string(slots.roomAhead(now));
    if (action == "bound") {
        for (const Keycode code : slots.bound())
            result += (result.empty() ? "" : " ") + std::to_string(code);
        return result;
    }
    if (action == "keymap") {
        // Each row "code:symbol"; a keycode not listed has no symbols.
        std::vector<Keysym> rows(256, 0);
        for (std::string row; in >> row;) rows[std::stoi(row)] = Keysym(row.back());
        slots.forgetTaken(
            [&](Keycode code, Keysym bound) { return rows[code] != 0 && rows[code] != bound; });
        return "";
    }
    int code = 0;
    in >> code;
    if (action == "use")
        slots.used(Keycode(code), now);
    else if (action == "press" || action == "release")
        slots.pressed(Keycode(code), action == "press", now);
    else
        return "not a step";
    return "";
}

TEST(KeymapSlots, BindsAtThePaceClientsCanFollow) {
    for (const Scenario& scenario : kScenarios) {
        KeymapSlots slots(scenario.spares);
        std::istringstream script(scenario.script);
        std::string played;
        for (std::string line; std::getline(script, line);) {
            const std::string step = line.substr(0, line.find(" ->"));
            const std::string result = play(slots, step);
            played += step + (result.empty() ? "" : " -> " + result) + "\n";
        }
        EXPECT_EQ(played, scenario.script) << scenario.name;
    }
}

}  // namespace
}  // namespace velnor::x11
