// Opening the built-in browser window. The window and everything that touches
// Qt WebEngine live in a library of their own (libkeyfold_browser.so) that is loaded
// the first time a browser window opens, so the program starts without the engine.
#pragma once
#include <QString>

class QWidget;

namespace platform {

// What the main window hands over when it opens the browser window.
struct BrowseRequest {
    QWidget* owner = nullptr;  // the main window; the browser window is modal over it
    QString name;              // the entry's name, shown as "Site: <name>"
    QString website;           // the address as it stands in the box (trimmed here)
    QString user;              // the user ID and password written by auto-fill
    QString password;
    bool masked = false;       // masking is on in the main window
};

// Runs the whole opening of the browser window and returns when it has closed.
// A failure (the module cannot be loaded, the address cannot be opened) goes to the
// general error report.
void openBrowserWindow(const BrowseRequest& request);

// The name of the entry point that the browser library exports.
inline constexpr const char* kBrowserEntryName = "keyfold_open_browser";
using BrowserEntry = void (*)(const BrowseRequest* request);

}  // namespace platform
