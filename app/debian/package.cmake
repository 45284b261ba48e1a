# The Debian packages: `cpack -G DEB` (or plain `cpack`) in the build folder makes
# keyfold_<version>_<arch>.deb (the window program, its browser window, desktop files)
# and keyfold-cli_<version>_<arch>.deb (the terminal tool, its manual page and
# completion) from the build's install() rules, by
# their component (keyfold, cli), so whatever the build installs is packaged without
# being listed here. keyfold depends on keyfold-cli of the same version. The terminal
# tool's package needs neither Qt Widgets nor Qt WebEngine. tools/package.sh builds,
# packages and checks both.
set(KEYFOLD_PACKAGE_MAINTAINER "Quorvel Software <keyfold@quorvel.org>" CACHE STRING
    "Maintainer line of the Debian package")

# Each package's documents, in the folder named after the package.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_CURRENT_LIST_DIR}/changelog
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/keyfold COMPONENT keyfold)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_CURRENT_LIST_DIR}/changelog
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/keyfold-cli COMPONENT cli)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME keyfold)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL keyfold cli)
set(CPACK_DEBIAN_KEYFOLD_PACKAGE_NAME keyfold)
set(CPACK_DEBIAN_CLI_PACKAGE_NAME keyfold-cli)
set(CPACK_PACKAGE_VENDOR "Quorvel Software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KEYFOLD_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KEYFOLD_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# keyfold_<version>_<arch>.deb and keyfold-cli_<version>_<arch>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Each package's description starts with its own synopsis line (a summary for all
# would be put before both).
set(KEYFOLD_PACKAGE_SYNOPSIS "password list for web-site logins, in one enciphered file")
set(CPACK_PACKAGE_DESCRIPTION
"Keyfold keeps your list of web-site logins on your own computer: a name, the
site's address, a user ID, a password and a comment for each entry, all in one
data file whose text is enciphered under a key phrase you type at every start.
It adds, updates and deletes entries on disk at once, filters and masks the
list, copies to the clipboard, opens sites in your browser or in its own
browser window that fills in the login form, prints the list, writes a text
list, changes the key phrase and can keep the data file on a removable drive.")
set(CPACK_DEBIAN_KEYFOLD_DESCRIPTION "${KEYFOLD_PACKAGE_SYNOPSIS}\n${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_CLI_DESCRIPTION
"terminal tool for Keyfold's list of web-site logins
keyfold-cli lists, shows, searches, adds, edits and deletes the entries of
Keyfold's data file, copies a password to the clipboard for a while, imports
and exports other password managers' CSV files, and re-keys or seals the
file, with JSON output for scripts and completion for bash and zsh. It works
on the same file as the keyfold window program and needs no web engine and
no widgets.")

# The libraries are found by dpkg-shlibdeps (the vault is linked into each program). What no library names: the window system
# plugins (libqt6gui6 only recommends them: without them no window opens and clip
# reaches no X clipboard; Qt's Wayland plugin where there is no X server), xdg-open
# for addresses and the help page, the public suffix list that libpsl reads for the
# browser window's same-site test, and wl-copy for clip under Wayland.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${KEYFOLD_OUT_DIR})
set(CPACK_DEBIAN_KEYFOLD_PACKAGE_DEPENDS
    "keyfold-cli (= ${PROJECT_VERSION}), qt6-qpa-plugins, xdg-utils, publicsuffix")
set(CPACK_DEBIAN_KEYFOLD_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "wl-clipboard")
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)

# The usual permissions whatever the umask; the control files with Debian's modes.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Programs and libraries stripped, manual pages and the changelog compressed, as
# Debian wants them (`cmake --install` leaves them as built).
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/finish-staging.cmake)

include(CPack)
