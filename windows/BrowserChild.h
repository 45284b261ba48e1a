// The browser window's process: it makes its window ahead, waits on its end of the
// channel for the opening message and shows the window. That message carries the
// entry's user ID and password (the window shows them in its own boxes); a click on
// "Auto Fill Pwd " asks the program for them again, and the program answers only for a
// page on the entry's site. The copy buttons copy through the program.
#pragma once

namespace platform {
class Channel;
}

// Prepares the engine, then waits for the opening message on the channel and runs the
// window until it closes (or the program's end of the channel closes). Answers the
// process's exit status: 0 also when the window could not open (it said why).
int runBrowserProcess(platform::Channel& channel);

// How long a click waits for the program's answer.
inline constexpr int kFillAnswerMs = 5000;
