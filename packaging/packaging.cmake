# Installing the wizard as a desktop application, and its Debian package.
#
# The wizard finds its pages in HTML/ next to its own bin/ folder, so the
# installation medium (bin/, HTML/, Doc/) is installed whole into a folder of
# its own: the install prefix. `cmake --install <build>` puts it into
# /opt/quenlo-setup by default, and the launcher (a link on the PATH), the menu
# entry, the icon, the AppStream data and the manual page into /usr/local,
# where the administrator's own additions go (QUENLO_DESKTOP_PREFIX).
#
# Debian packages must not install into /opt: the package (scripts/package.sh,
# `cpack -G DEB`) puts the medium into /usr/lib/quenlo-setup and the rest into
# /usr, with the copyright file and the changelog Debian asks for. Both sets of
# destinations are written below, in components of their own; the package
# takes "medium" and "deb", a plain installation "medium" and "desktop".

# CMake's own default prefix, /usr/local, is a shared tree, not a folder of the
# wizard's own; a build folder configured before these rules still holds it.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT OR CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
  set(CMAKE_INSTALL_PREFIX /opt/quenlo-setup CACHE PATH "The folder the medium is installed into"
      FORCE)
endif()
set(QUENLO_DESKTOP_PREFIX /usr/local CACHE PATH
    "Where a plain installation puts the launcher (bin/) and the desktop files (share/)")

set(QUENLO_APP_ID example.quenlo.Setup)
set(QUENLO_DEB_MEDIUM /usr/lib/quenlo-setup)
set(packaging_src ${CMAKE_CURRENT_LIST_DIR})
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)

# The medium, relative to the prefix, which `--prefix` may still change: a
# shared tree would get HTML/ and Doc/ at its top, and its bin/quenlo-setup
# would be the launcher's own place.
install(CODE [[
  if(CMAKE_INSTALL_PREFIX MATCHES "^/*(usr/*(local/*)?)?$")
    message(FATAL_ERROR "The install prefix ${CMAKE_INSTALL_PREFIX} is a shared tree: the wizard "
                        "needs a folder of its own, such as /opt/quenlo-setup")
  endif()]] COMPONENT medium)
install(TARGETS quenlo-setup RUNTIME DESTINATION bin COMPONENT medium)
install(PROGRAMS ${CMAKE_SOURCE_DIR}/src/app/medium/ip-setup DESTINATION bin COMPONENT medium)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/HTML/ DESTINATION HTML COMPONENT medium)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/Doc/ DESTINATION Doc COMPONENT medium)

# Files with the version in them, and the compressed ones Debian wants
# (gzip -n: no time stamp, so that the same sources give the same package).
configure_file(${packaging_src}/${QUENLO_APP_ID}.metainfo.xml
               ${packaging_out}/${QUENLO_APP_ID}.metainfo.xml @ONLY)
configure_file(${packaging_src}/quenlo-setup.1 ${packaging_out}/quenlo-setup.1 @ONLY)
configure_file(${packaging_src}/changelog ${packaging_out}/changelog @ONLY)
set(compressed)
foreach(file IN ITEMS quenlo-setup.1 changelog)
  add_custom_command(OUTPUT ${packaging_out}/${file}.gz
                     COMMAND gzip -9nfk ${packaging_out}/${file}
                     DEPENDS ${packaging_out}/${file}
                     VERBATIM)
  list(APPEND compressed ${packaging_out}/${file}.gz)
endforeach()
add_custom_target(quenlo-package-files ALL DEPENDS ${compressed})

# The launcher, the menu entry, the icon, the AppStream data and the manual
# page under `root`, in `component`; further arguments go to each install().
function(quenlo_install_desktop_files root component)
  install(FILES ${packaging_src}/${QUENLO_APP_ID}.desktop
          DESTINATION ${root}/share/applications COMPONENT ${component} ${ARGN})
  install(FILES ${packaging_src}/${QUENLO_APP_ID}.svg
          DESTINATION ${root}/share/icons/hicolor/scalable/apps COMPONENT ${component} ${ARGN})
  install(FILES ${packaging_out}/${QUENLO_APP_ID}.metainfo.xml
          DESTINATION ${root}/share/metainfo COMPONENT ${component} ${ARGN})
  install(FILES ${packaging_out}/quenlo-setup.1.gz
          DESTINATION ${root}/share/man/man1 COMPONENT ${component} ${ARGN})
  install(CODE "set(QUENLO_LAUNCHER_DIR \"${root}/bin\")
                include(\"${packaging_src}/launcher.cmake\")"
          COMPONENT ${component} ${ARGN})
endfunction()

quenlo_install_desktop_files(${QUENLO_DESKTOP_PREFIX} desktop)
quenlo_install_desktop_files(/usr deb EXCLUDE_FROM_ALL)
install(FILES ${packaging_src}/copyright ${packaging_out}/changelog.gz
        DESTINATION /usr/share/doc/quenlo-setup COMPONENT deb EXCLUDE_FROM_ALL)

# The Debian package. Its dependencies come from the libraries the wizard
# links (dpkg-shlibdeps): GTK, WebKitGTK, libjpeg-turbo and PulseAudio's
# client library, not a sound server; the wizard runs silent without one.
set(CPACK_GENERATOR DEB)
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};${PROJECT_NAME};medium;/" "${CMAKE_BINARY_DIR};${PROJECT_NAME};deb;/")
set(CPACK_PACKAGING_INSTALL_PREFIX ${QUENLO_DEB_MEDIUM})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_NAME quenlo-setup)
set(CPACK_PACKAGE_VENDOR Quenlo)
set(CPACK_PACKAGE_CONTACT "Quenlo Setup developers <setup@quenlo.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set-up wizard for TAVO network cameras")
set(CPACK_PACKAGE_DESCRIPTION
    "Finds the TAVO network cameras on the local network, gives the chosen
camera an address this computer can reach (also when it sits on another
subnet), sets a new password, and ends with the camera's live picture and
sound. It runs as an ordinary user: the search needs no administrator rights.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.quenlo.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The address tool lists the adapters with ip(8) and opens its list with the
# desktop's viewer.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "iproute2, xdg-utils")
include(CPack)
