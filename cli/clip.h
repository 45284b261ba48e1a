// The clipboard part of keyfold-cli, in a module of its own (keyfold_cli_clip) so that
// only `clip` loads QtGui and starts a window-system connection.
#pragma once
#include <cstddef>

class QCoreApplication;

// The program's one application object for `clip`: a QGuiApplication on X11 when the
// display answers, made before anything else of Qt is; nothing under Wayland (the copy
// goes through wl-copy there), without a display, or when the display does not answer
// (the caller then makes a QCoreApplication and keyfold_cli_clip says why there is no
// clipboard). Qt's own messages are silenced. argc must live as long as the object.
extern "C" QCoreApplication* keyfold_cli_clip_application(int* argc, char** argv);
using KeyfoldCliClipApplicationFunction = QCoreApplication* (*)(int*, char**);

// Puts the UTF-8 text on the clipboard marked as a secret ("x-kde-passwordManagerHint"
// = "secret" where the clipboard can carry it), checks that the clipboard took it,
// calls held (when given) once the copy is on offer, waits the delay (0: until another
// program takes the clipboard), then clears it if it still holds this copy. Under
// Wayland (WAYLAND_DISPLAY set) the copy is held by wl-copy, a child of this process;
// elsewhere by Qt on X11 through the application object keyfold_cli_clip_application
// made. Returns 0, or 1 with the reason (one line, no program name) in error.
// Messages go to standard error; with what null nothing but a failure is told.
extern "C" int keyfold_cli_clip(const char* utf8Text, int seconds, const char* what, void (*held)(), char* error,
                                std::size_t errorSize);
using KeyfoldCliClipFunction = int (*)(const char*, int, const char*, void (*)(), char*, std::size_t);
