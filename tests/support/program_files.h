// The files the program itself finds, for the window tests: under the test's own HOME
// (each test runs with a HOME and XDG folders of its own), as the program settles them.
#pragma once
#include "platform/appdata.h"
#include "vault/locations.h"

namespace testsupport {

// The paths the program works with now (a stored storage location counts), with the
// data folder created as the program creates it at start.
inline vault::Locations programFiles() {
    vault::Locations p;
    vault::setupDataFolder(p, platform::appDataFolder());
    vault::setupStoragePaths(p);
    return p;
}

}  // namespace testsupport
