// The clipboard copy of `clip`: held by this process until it is cleared (--wait), or
// handed to a keeper, a detached keyfold-cli of its own that holds and clears it while
// the shell goes on.
#pragma once
#include <string>

#include "cli/cli.h"

namespace cli {

// The longest delay --timeout takes, in seconds (one day).
constexpr int kMaxClipSeconds = 86400;
// --timeout's value: 0 (until replaced) to kMaxClipSeconds; -1 when not given.
int timeoutOption(const QCommandLineParser& p, const QCommandLineOption& o);

// Puts the UTF-8 secret on the clipboard for the delay (0: until something else is
// copied). wait: this process holds it and returns after clearing it. Otherwise a
// keeper is started, given the secret through a pipe (never in its arguments or
// environment), and this returns as soon as the keeper holds the copy. kClipboard when
// the clipboard cannot be reached.
int offerOnClipboard(const vault::SecretText& secret, int seconds, const char* what, bool wait);

// The keeper itself (the hidden command `clip-keeper SECONDS`): the secret on standard
// input; "held" on standard error once the copy is on offer, then nothing more.
int cmdClipKeeper(Context& c);

}  // namespace cli
