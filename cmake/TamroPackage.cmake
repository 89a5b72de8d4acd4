# `cpack -G DEB` in the build folder makes a Debian package of the installed tree. Its
# dependencies on libraries come from dpkg-shlibdeps; Qt's own plug-ins, which no library
# link names, are added by hand.
set(CPACK_PACKAGE_NAME tamro)
set(CPACK_PACKAGE_VENDOR "Tamro")
set(CPACK_PACKAGE_CONTACT "Tamro <tamro@tamro.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "picture browser with thumbnails of folders and archives")
# Debian shows the description as it stands, so its lines stay within 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Tamro is a picture browser with a Japanese user interface. It lists the
pictures of a folder, and those inside archive files, as a grid of thumbnails
under a details list, and opens them in picture windows with zoom, rotation,
animation and a slide show. It copies, moves and deletes pictures with their
notes, renames them with numbers, converts them in batches, and makes HTML
catalogues, contact sheets, printouts and reports; tamro-batch does the same
from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs a platform plug-in; Targa, icons, ICNS and BigTIFF need Qt's readers.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-image-formats-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, qt6-translations-l10n, gvfs-backends, gvfs-fuse")
# CPack adds ldconfig to postinst and postrm for any library under /usr/lib, though Tamro's
# lie in its private lib/tamro where ldconfig never looks; the package is made again without
# those scripts.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/TamroDebScripts.cmake)
include(CPack)
