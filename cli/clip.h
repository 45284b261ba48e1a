// The clipboard part of keyfold-cli, in a module of its own (keyfold_cli_clip) so that
// only `clip` loads QtGui and starts a window-system connection.
#pragma once

class QCoreApplication;

// The program's one application object for `clip`: a QGuiApplication when a display
// can be reached, made before anything else of Qt is; nothing without a display (the
// caller then makes a QCoreApplication and `clip` says it has no display). argc must
// live as long as the object.
extern "C" QCoreApplication* keyfold_cli_clip_application(int* argc, char** argv);
using KeyfoldCliClipApplicationFunction = QCoreApplication* (*)(int*, char**);

// Puts the UTF-8 text on the clipboard as plain text marked as a secret
// ("x-kde-passwordManagerHint" = "secret"), calls held (when given) once the copy is
// on offer, waits the delay (0: until another program takes the clipboard), then
// clears it if it still holds this copy. Needs the application object made by
// keyfold_cli_clip_application. Returns 0, or 1 when the clipboard cannot be reached.
// Messages go to standard error; with what null only a failure is told.
extern "C" int keyfold_cli_clip(const char* programName, const char* utf8Text, int seconds, const char* what,
                                void (*held)());
using KeyfoldCliClipFunction = int (*)(const char*, const char*, int, const char*, void (*)());
