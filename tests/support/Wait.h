#pragma once

// Waiting in tests on what is to happen instead of for a fixed time: a fixed sleep either wastes
// its time or, on a loaded machine, ends before the player got there, and then fails for the
// wrong reason. Every wait here looks at its condition every poll interval; no test sleeps longer.
#include <chrono>
#include <thread>

namespace testwait {

using namespace std::chrono_literals;

// How often a condition is looked at. Conditions that ask a player (a reply, a screen grab) cost
// a few milliseconds each; looking more often only loads the machine the player runs on.
constexpr std::chrono::milliseconds PollInterval = 20ms;

// Looks at the condition until it holds or the limit has passed; whether it held.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds limit = 10s,
               std::chrono::milliseconds poll = PollInterval) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(poll);
    }
}

// Looks at the condition for the whole duration; false at the first look at which it does not
// hold. For what must stay true while something runs (a player answering while it plays a
// recording), where the duration itself is what is tested.
template <typename Condition>
bool holdsFor(std::chrono::milliseconds duration, Condition condition,
              std::chrono::milliseconds poll = PollInterval) {
    const auto end = std::chrono::steady_clock::now() + duration;
    do {
        if (!condition()) {
            return false;
        }
        std::this_thread::sleep_for(poll);
    } while (std::chrono::steady_clock::now() < end);
    return condition();
}

} // namespace testwait
