#include "platform/x11/keymap_slots.h"

#include <algorithm>

namespace velnor::x11 {

KeymapSlots::KeymapSlots(std::vector<Keycode> spares) {
    for (const Keycode code : spares) {
        spares_.push_back({code});
        isSlot_[code] = true;
    }
}

KeymapSlots::Slot KeymapSlots::bind(Keysym keysym, Duration now) {
    Spare* chosen = nullptr;
    std::optional<Duration> firstReady;
    for (Spare& spare : spares_) {
        if (spare.held) continue;
        const Duration readyAt = spare.lastUse + kRebindAfter;
        if (!firstReady || readyAt < *firstReady) firstReady = readyAt;
        if (ready(spare, now) && (!chosen || spare.lastUse < chosen->lastUse)) chosen = &spare;
    }
    if (!firstReady) return {};
    const bool spent = bindingsLeft(now) == 0;
    if (!chosen || spent) {
        // The later of the first slot ready and the next round.
        return {0, std::max(*firstReady, spent ? roundStart_ + kRebindAfter : *firstReady)};
    }
    count(1, now);
    chosen->bound = keysym;
    chosen->lastUse = now;
    return {chosen->code};
}

size_t KeymapSlots::roomAhead(Duration now) const {
    const auto readyCount = size_t(
        std::ranges::count_if(spares_, [&](const Spare& spare) { return ready(spare, now); }));
    const size_t room = std::min(readyCount, bindingsLeft(now));
    return room >= 2 ? room : 0;
}

std::vector<KeymapSlots::Run> KeymapSlots::bindAhead(std::span<const Keysym> keysyms,
                                                     Duration now) {
    keysyms = keysyms.first(std::min(keysyms.size(), roomAhead(now)));
    if (keysyms.size() < 2) return {};
    std::vector<Spare*> free;
    for (Spare& spare : spares_)
        if (ready(spare, now)) free.push_back(&spare);
    std::ranges::sort(free, {}, &Spare::code);
    std::vector<Run> runs;
    for (size_t i = 0; i < keysyms.size(); ++i) {
        if (runs.empty() || free[i]->code != free[i - 1]->code + 1) runs.push_back({free[i]->code});
        runs.back().keysyms.push_back(keysyms[i]);
        free[i]->bound = keysyms[i];
        free[i]->lastUse = now;
    }
    count(keysyms.size(), now);
    return runs;
}

void KeymapSlots::used(Keycode code, Duration now) {
    if (Spare* spare = find(code)) spare->lastUse = now;
}

void KeymapSlots::pressed(Keycode code, bool down, Duration now) {
    if (Spare* spare = find(code)) {
        spare->held = down;
        spare->lastUse = now;
    }
}

bool KeymapSlots::isSlot(Keycode code) const {
    return isSlot_[code];
}

void KeymapSlots::forgetTaken(const std::function<bool(Keycode, Keysym)>& taken) {
    std::erase_if(spares_, [&](const Spare& spare) {
        if (!taken(spare.code, spare.bound)) return false;
        isSlot_[spare.code] = false;
        return true;
    });
}

std::vector<Keycode> KeymapSlots::bound() const {
    std::vector<Keycode> codes;
    for (const Spare& spare : spares_)
        if (spare.bound) codes.push_back(spare.code);
    return codes;
}

// A client reads the keymap only when it handles the key event, so a slot used a moment ago may
// still be looked up for its old symbol.
bool KeymapSlots::ready(const Spare& spare, Duration now) const {
    return !spare.held && (!spare.bound || spare.lastUse + kRebindAfter <= now);
}

// How many keycodes may still be bound in the present round: a round starts with the first
// binding after the last round has ended.
size_t KeymapSlots::bindingsLeft(Duration now) const {
    return now >= roundStart_ + kRebindAfter ? kBindingsPerRound
                                             : kBindingsPerRound - boundThisRound_;
}

void KeymapSlots::count(size_t bindings, Duration now) {
    if (now >= roundStart_ + kRebindAfter) {
        roundStart_ = now;
        boundThisRound_ = 0;
    }
    boundThisRound_ += bindings;
}

KeymapSlots::Spare* KeymapSlots::find(Keycode code) {
    if (!isSlot_[code]) return nullptr;
    const auto spare = std::ranges::find(spares_, code, &Spare::code);
    return spare == spares_.end() ? nullptr : &*spare;
}

}  // namespace velnor::x11
