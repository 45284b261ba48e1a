// Handing an address or a file to the system, which opens it with the program the
// user has set up for it (usually the default web browser).
#pragma once
#include <functional>
#include <QString>

class QObject;

namespace platform {

enum class ShellShow {
    Normal,
    Maximized
};

// Opens target (a web address or a file path) without waiting for the program that
// shows it, and without holding up the window. onFailure runs when the target could not
// be handed over: at once when no opener can be started, or later, whenever the opener
// ends with a failure. It runs on the thread of context and only while context exists,
// so nothing is said for a window that has gone.
// On Linux this runs xdg-open and watches it: a non-zero exit status (no program set up
// for the target, the program failed) is a failure, whenever it comes; an opener still
// running after 30 seconds has started a program that stays open and is left alone.
// On Windows it is the shell's "open" verb, whose answer comes at once.
void shellOpen(const QString& target, QObject* context, std::function<void()> onFailure,
               ShellShow show = ShellShow::Maximized);

namespace testing {
// Sets how long an opener that context asks for is watched for a failure (30 seconds
// unless set), in milliseconds, and returns the time it replaces.
int setOpenerWatchMs(QObject* context, int ms);
}  // namespace testing

}  // namespace platform
