# The Debian package: `cpack -G DEB` (or plain `cpack`) in the build folder makes
# keyfold_<version>_<arch>.deb from every install() rule of the build, so whatever
# the build installs (programs, libraries, manual pages, desktop files) is packaged
# without being listed here. tools/package.sh builds, packages and checks it.
set(KEYFOLD_PACKAGE_MAINTAINER "Quorvel Software <keyfold@quorvel.org>" CACHE STRING
    "Maintainer line of the Debian package")

# The package's documents, in the folder named after the package.
set(KEYFOLD_PACKAGE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/keyfold)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_CURRENT_LIST_DIR}/changelog
        DESTINATION ${KEYFOLD_PACKAGE_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME keyfold)
set(CPACK_PACKAGE_VENDOR "Quorvel Software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KEYFOLD_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KEYFOLD_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# keyfold_<version>_<arch>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "password list for web-site logins, in one enciphered file")
set(CPACK_PACKAGE_DESCRIPTION
"Keyfold keeps your list of web-site logins on your own computer: a name, the
site's address, a user ID, a password and a comment for each entry, all in one
data file whose text is enciphered under a key phrase you type at every start.
It adds, updates and deletes entries on disk at once, filters and masks the
list, copies to the clipboard, opens sites in your browser or in its own
browser window that fills in the login form, prints the list, writes a text
list, changes the key phrase and can keep the data file on a removable drive.")

# The libraries are found by dpkg-shlibdeps. What no library names: the window
# system plugin (libqt6gui6 only recommends it, and without it no window opens),
# xdg-open for addresses and the help page, and the public suffix list that
# libpsl reads for the browser window's same-site test.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, xdg-utils, publicsuffix")

# The usual permissions whatever the umask; the control files with Debian's modes.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Programs and libraries stripped, manual pages and the changelog compressed, as
# Debian wants them (`cmake --install` leaves them as built).
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/finish-staging.cmake)

include(CPack)
