// The clipboard for an entry's user ID or password: the text is marked as a secret,
// so clipboard managers keep it out of their history, and taken off again after a delay.
#pragma once
#include <QString>

#include "vault/settings.h"

namespace platform {

// The delay when the settings file sets none.
inline constexpr int kDefaultClipboardClearSeconds = vault::kDefaultClipboardClearSeconds;

// Seconds after which a copied secret is cleared: SG_2.ini, [Clipboard] ClearAfter;
// 0 means never. Missing, negative or not an integer: the default.
int clipboardClearSeconds();

// Puts text on the clipboard as plain text, replacing what was there, beside the
// data "x-kde-passwordManagerHint" = "secret", and starts the delay.
void copySecret(const QString& text);

// Clears the clipboard and the X11 selection of the text copySecret put there, but
// only while they still hold it: anything copied since stays. Runs by itself when the
// delay is over and when the program ends.
void clearCopiedSecret();

}  // namespace platform
