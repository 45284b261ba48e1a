// The browser window's process: it waits on its end of the channel for the window to
// open, shows it, and asks the program for the entry's user ID and password only when
// "Auto Fill Pwd " is pressed. The copy buttons copy through the program.
#pragma once

namespace platform {
class Channel;
}

// Prepares the engine, then waits for the opening message on the channel and runs the
// window until it closes (or the program's end of the channel closes). Answers the
// process's exit status: 0 also when the window could not open (it said why).
extern "C" int keyfold_browser_process(platform::Channel* channel);

// How long a click waits for the program's answer.
inline constexpr int kFillAnswerMs = 5000;
