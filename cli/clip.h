// The clipboard part of keyfold-cli, in a module of its own (keyfold_cli_clip) so that
// only `clip` loads QtGui and starts a window-system connection.
#pragma once

// Puts the UTF-8 text on the clipboard as plain text marked as a secret
// ("x-kde-passwordManagerHint" = "secret"), waits the delay (0: until another program
// takes the clipboard), then clears it if it still holds this copy. Returns 0, or 1
// when the clipboard cannot be reached. Messages go to standard error.
extern "C" int keyfold_cli_clip(const char* programName, const char* utf8Text, int seconds, const char* what);
using KeyfoldCliClipFunction = int (*)(const char*, const char*, int, const char*);
