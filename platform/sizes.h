// Window sizes kept in the settings file.
#pragma once
#include <string>

#include <QSize>

class QWidget;

namespace platform {
// Writes the window's outer width and height as "W" and "H" of the section.
void saveFormSize(QWidget* w, const std::string& section, const std::string& iniPath);
// Sets the window's outer width and/or height (a value of 0 leaves that one as it is).
void applyOuterSize(QWidget* w, int outerWidth, int outerHeight);
// The same for a size read from the settings file: each given value is kept within
// the screen's available area and no smaller than shows every control.
void applyStoredOuterSize(QWidget* w, int outerWidth, int outerHeight);
// A size read from the settings file for an area inside a window: each given value kept
// within the screen's available area and at least 1; a value of 0 (none stored) stays 0.
QSize storedAreaSize(QWidget* w, int width, int height);
}  // namespace platform
