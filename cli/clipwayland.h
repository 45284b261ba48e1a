// Inside the clipboard module (cli/clip.h): the copy under Wayland (clipwayland.cpp)
// and what it shares with the copy on X11 (clip.cpp).
#pragma once
#include <csignal>
#include <string>

namespace clipmodule {

// How long a display has to answer a first request.
constexpr int kAnswerMs = 5000;

// Set once SIGINT, SIGTERM or SIGHUP came after stopOnSignals: the copy is cleared now.
extern volatile std::sig_atomic_t stopRequested;
void stopOnSignals();
// The environment variable's value; null when it is unset or empty.
const char* env(const char* name);
// What the person is told once the copy is taken (nothing when what is null).
void announceCopy(const char* what, int seconds);

// The copy as keyfold_cli_clip makes it, held by a wl-copy child: 0, or 1 with the
// reason in error.
int waylandClip(const char* text, int seconds, const char* what, void (*held)(), std::string& error);

}  // namespace clipmodule
