#pragma once
// What the user copied from Tarv stays on the desktop's clipboard after Tarv ends: on X11 a
// clipboard manager takes a copy of it when asked (its SAVE_TARGETS request). Qt asks as the
// application object goes, and then waits up to five seconds for the manager, with nothing
// else running; a manager that does not answer held Quit that long. Here the manager is asked
// while an event loop runs, so that Tarv serves the manager's requests for the data, for at
// most `bound`; then Tarv lets go of its selections, and the application's teardown has
// nothing to hand over and waits for nothing.

#include <chrono>

namespace ClipboardHandOver {

// Enough for a manager to copy a text or a screen's picture; short enough for Quit.
inline constexpr std::chrono::milliseconds defaultBound{500};

enum class Outcome {
    nothingToHand, // not on X11, the clipboard is not Tarv's, or no clipboard manager runs
    taken,         // the manager said it has the copy
    refused,       // the manager answered that it took none
    notAnswered,   // the bound passed first
};

// Hands the clipboard to the manager, running the event loop meanwhile, and lets go of the
// clipboard and the selection that Tarv owns. Call on the GUI thread, once nothing new will
// be copied.
Outcome handOver(std::chrono::milliseconds bound = defaultBound);

} // namespace ClipboardHandOver
