// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the receivers run their work on the GUI thread: the dispatcher runs a
// function there and waits for it (a blocking queued call), or runs it at
// once when called on the GUI thread itself. The host hook lets a receiver
// that waits on the GUI thread (Close waiting for its reader) keep the
// event loop turning, so the reader's queued calls are served meanwhile.

#include <functional>

class QObject;

namespace halvex::navigator {

// A dispatcher bound to the thread of `context` (the GUI thread's objects).
// A call whose context object has gone, or that is made after the
// application stopped, runs nothing and returns.
std::function<void(const std::function<void()>&)> MakeGuiDispatcher(QObject* context);

// Processes the GUI thread's pending events for a short while.
void ProcessGuiEvents();

}  // namespace halvex::navigator
