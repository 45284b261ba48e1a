// Handing an address or a file to the system, which opens it with the program the
// user has set up for it (usually the default web browser).
#pragma once
#include <QString>

namespace platform {

enum class ShellShow { Normal, Maximized };

// Opens target (a web address or a file path) without waiting for the program that
// shows it. false when it could not be handed over.
// On Linux this runs xdg-open and waits at most a second for its exit status: a
// non-zero status (no program set up for the target, the program failed) is a failure,
// an opener still running then is a success. On Windows it is the shell's "open" verb.
bool shellOpen(const QString& target, ShellShow show = ShellShow::Maximized);

}  // namespace platform
