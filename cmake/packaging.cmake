# Installation (GNUInstallDirs) and the Debian package.
#
# kestrel finds libcommons.so in a folder of its own through a relative
# RPATH, so the installed tree can be moved as a whole.
file(RELATIVE_PATH KESTREL_BIN_TO_PRIVATE_LIBDIR
     "/${CMAKE_INSTALL_BINDIR}" "/${KESTREL_PRIVATE_LIBDIR}")

if(TARGET commons)
    install(TARGETS commons
            LIBRARY DESTINATION ${KESTREL_PRIVATE_LIBDIR} COMPONENT kestrel)
endif()

if(TARGET kestrel)
    set_target_properties(kestrel PROPERTIES INSTALL_RPATH "$ORIGIN/${KESTREL_BIN_TO_PRIVATE_LIBDIR}")
    install(TARGETS kestrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kestrel)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/kestrel.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kestrel)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kestrel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT kestrel)
install(FILES ${PROJECT_SOURCE_DIR}/app/kestrel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT kestrel)
# kestrel-reg installs itself from tools/ (component kestrel-reg).

# One package holding every component.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "kestrel")
set(CPACK_PACKAGE_VENDOR "kestrel team")
set(CPACK_PACKAGE_CONTACT "kestrel team <kestrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Record keeper for account details, with a Japanese interface")
set(CPACK_PACKAGE_DESCRIPTION
    "kestrel keeps named text records, grouped into categories, in one scrambled record file guarded by a \
login password. Its record file and settings are those of the Windows program it comes from, byte for byte. \
kestrel-reg reads and writes its settings and moves them to and from Windows as .reg files.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
# Linked libraries come from dpkg-shlibdeps; libcommons.so is our own and
# travels in the package. The Qt platform plugins and a Japanese font are
# loaded at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}/commons")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, qt6-translations-l10n, fonts-ipafont-gothic | fonts-noto-cjk")

include(CPack)
