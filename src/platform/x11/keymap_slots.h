#pragma once

// The pacing of the keycodes the XTest backend binds for the moment to symbols the server's keymap
// lacks. Standard C++ and no Xlib: the backend makes the keymap changes decided here and gives the
// present time, so that every scenario can be replayed by hand.

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "core/event_loop.h"

namespace velnor::x11 {

using Keycode = uint8_t;
using Keysym = uint32_t;  // 0 is NoSymbol

// The spare keycodes of one X connection (those without symbols in the server's keymap), each a
// slot bound for the moment to one symbol. A binding stays until its slot is needed again, so that
// a client that reads the keymap late still finds the symbol.
//
// Every X client reads the keymap anew after each change, and a client looks a keycode up only as
// it handles the key's event. So a slot is bound anew only once kRebindAfter has passed since its
// last use, never while it is held, and at most kBindingsPerRound slots are bound per round of
// kRebindAfter (each change costs a Qt window milliseconds).
class KeymapSlots {
  public:
    using Duration = EventLoop::Duration;
    static constexpr Duration kRebindAfter{50};
    static constexpr size_t kBindingsPerRound = 6;

    explicit KeymapSlots(std::vector<Keycode> spares = {});

    // The answer for one symbol the keymap lacks: a slot, or the time to ask again, or neither
    // when every slot is held (the symbol cannot be typed now).
    struct Slot {
        Keycode code = 0;
        std::optional<Duration> retryAt = {};
    };
    // Binds the ready slot longest unused to `keysym`; the caller changes the keymap so. A wait
    // while each slot not held was used too recently, or this round's bindings are spent.
    Slot bind(Keysym keysym, Duration now);

    // How many symbols bindAhead() binds now: 0 unless it can bind two or more.
    size_t roomAhead(Duration now) const;
    // One keymap change: the keycodes from `first` on, one symbol each.
    struct Run {
        Keycode first = 0;
        std::vector<Keysym> keysyms = {};
    };
    // Binds the first roomAhead(now) of `keysyms` (distinct, none in the keymap), which are to
    // be typed soon, to the ready slots in keycode order, and returns the keymap changes to make:
    // one per run of neighbouring keycodes, as each change is a notification to every client.
    // Nothing for fewer than two symbols; bind() takes a single one as it is typed.
    std::vector<Run> bindAhead(std::span<const Keysym> keysyms, Duration now);

    // The backend found a symbol to be typed on `code`, or pressed or released `code`: a slot
    // among them counts as used then.
    void used(Keycode code, Duration now);
    void pressed(Keycode code, bool down, Duration now);

    bool isSlot(Keycode code) const;
    // Another client changed the keymap: forgets for good the slots where `taken` finds symbols
    // of another client, held or not (a held one is released on its keycode all the same). It
    // gets each slot's keycode and the symbol bound there, 0 for none.
    void forgetTaken(const std::function<bool(Keycode, Keysym bound)>& taken);
    // The slots bound to a symbol, to undo when the backend ends.
    std::vector<Keycode> bound() const;

  private:
    struct Spare {
        Keycode code = 0;
        Keysym bound = 0;
        Duration lastUse = Duration::min();
        bool held = false;
    };
    bool ready(const Spare& spare, Duration now) const;
    size_t bindingsLeft(Duration now) const;
    void count(size_t bindings, Duration now);
    Spare* find(Keycode code);

    std::vector<Spare> spares_;
    std::bitset<256> isSlot_;  // by keycode, as the backend asks at each key event
    Duration roundStart_ = Duration::min();
    size_t boundThisRound_ = 0;
};

}  // namespace velnor::x11
