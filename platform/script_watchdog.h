// The watchdog that stops scripts which run past their deadline.
#pragma once

#include <chrono>

struct JSContext;

namespace platform {

using ScriptClock = std::chrono::steady_clock;

// Asks the engine to interrupt `cx` once `deadline` has passed; the engine's interrupt
// callback then ends the running script. disarm() before the context's work ends.
void armScriptWatchdog(JSContext* cx, ScriptClock::time_point deadline);
void disarmScriptWatchdog(JSContext* cx);

}  // namespace platform
