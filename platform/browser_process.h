// The browser window's process: started when a person heads for a page, held while
// it may soon be wanted, and let go after a quiet while. The window and everything
// that touches Qt WebEngine run in that process (keyfold-browser, beside the program),
// so the program itself never holds the engine, its pages or what they sent: when a
// window closes, its process ends and its memory goes with it.
#pragma once
#include <QString>

class QWidget;

namespace platform {

// What the main window hands over when it opens the browser window.
struct BrowseRequest {
    QWidget* owner = nullptr;  // the main window; it takes no input while the window is open
    QString name;              // the entry's name, shown as "Site: <name>"
    QString website;           // the address as it stands in the box (trimmed here)
    QString user;              // the user ID and password: the window's boxes, and what
    QString password;          // auto-fill writes into a page of the entry's site
    bool masked = false;       // masking is on in the main window
};

// Runs the whole opening of the browser window and returns when it has closed; the
// main window keeps painting meanwhile. An entry without a website gets the message
// and no window. A window that ends without being closed (its process crashed or was
// killed) is said so; a process that cannot be started goes to the general error report.
void openBrowserWindow(const BrowseRequest& request);

// A person heads for a page (the pointer or the focus on "Open Within", its press):
// a browser process is started now, if none waits, so that the window it makes ahead
// (with the engine and a first page process) is ready by the click. A waiting process
// is let go once nobody has headed for a page for kBrowserQuietWhileMs; each call, and
// each window's close (which starts a process for the next window), starts that while
// afresh. Does nothing while a window is open. Nothing runs before the first call.
void warmBrowserProcess();
// How long a waiting browser process is kept without a sign that a page is wanted.
inline constexpr int kBrowserQuietWhileMs = 2 * 60 * 1000;

// Removes spaces and control characters (codes 0 to 32) at both ends.
QString trimControls(const QString& text);
// The message for an entry without a website.
QString noWebsiteMessage();

// The browser window's process talks to the program over one end of a socket pair,
// handed over as a file descriptor: "keyfold-browser --channel <fd>".
inline constexpr const char* kBrowserProgram = "keyfold-browser";
namespace browsermessage {
// program -> window
inline constexpr const char* kOpen = "open";        // name, website, user, password, masked ("1"/"0")
inline constexpr const char* kValues = "values";    // user, password: the answer to a fill
inline constexpr const char* kRefused = "refused";  // the page reported is not on the entry's site
inline constexpr const char* kClose = "close";      // close the window as its Close button does
// window -> program
inline constexpr const char* kShown = "shown";  // the window is on the screen
inline constexpr const char* kFill = "fill";    // page address: auto-fill wants the values
inline constexpr const char* kCopy = "copy";    // text: put it on the clipboard as a secret
}  // namespace browsermessage

namespace testing {
// The process id of the browser window's process while a window is open, else 0.
qint64 browserProcessId();
// The process id of the process waiting for a window, else 0.
qint64 waitingProcessId();
// The quiet while for the processes started from now on (kBrowserQuietWhileMs by default).
void setQuietWhile(int ms);
// Whether the open window has reported that it is on the screen.
bool browserWindowShown();
// Asks the open window to close, as its Close button does.
void closeBrowserWindow();
}  // namespace testing

}  // namespace platform
