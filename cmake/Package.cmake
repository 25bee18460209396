# The Debian package (make package) and the uninstall step (make uninstall).

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME melodeck)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "MeloDeck")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find songs to sing in a karaoke song list")
set(CPACK_PACKAGE_DESCRIPTION
    "MeloDeck (メロデッキ) imports the list of songs that a karaoke operator delivers, "
    "from a Shift-JIS CSV file at a web address or on disk, narrows it by singer, title, "
    "lyric start and harmony part, and keeps the songs picked in a list that lasts between runs.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "MeloDeck maintainers <melodeck@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# The Qt libraries of the window, libxcb for the window names on X11, libcurl
# (built on OpenSSL) for the download (Qt's network library is not used),
# SQLite, a Japanese face for the captions, Qt's own Japanese texts, and the
# system trust store for https://.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.36), libstdc++6 (>= 12), libqt6core6 (>= 6.4.2), libqt6gui6 (>= 6.4.2), "
    "libqt6widgets6 (>= 6.4.2), libxcb1 (>= 1.15), libcurl4 (>= 7.88), libsqlite3-0 (>= 3.40), "
    "fonts-ipafont-gothic | fonts-noto-cjk, qt6-translations-l10n, ca-certificates")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
# Japanese is typed through an input method; Qt 6 reaches fcitx5 through its
# frontend module, ibus through a module of its own.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fcitx5-frontend-qt6 | ibus")
include(CPack)

