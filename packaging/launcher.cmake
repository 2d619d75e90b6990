# Run by `cmake --install` and by CPack: links QUENLO_LAUNCHER_DIR/quenlo-setup
# to the wizard in the install prefix. A link, not a copy, because the wizard
# finds its pages through its own path (/proc/self/exe), which names the link's
# target. Relative inside one top-level folder, as Debian wants
# (/usr/bin -> ../lib/quenlo-setup/bin/quenlo-setup), absolute across
# (/usr/local/bin -> /opt/quenlo-setup/bin/quenlo-setup).
set(target "${CMAKE_INSTALL_PREFIX}/bin/quenlo-setup")
set(link "${QUENLO_LAUNCHER_DIR}/quenlo-setup")
string(REGEX MATCH "^/[^/]*" target_top "${target}")
string(REGEX MATCH "^/[^/]*" link_top "${link}")
if(target_top STREQUAL link_top)
  file(RELATIVE_PATH target "${QUENLO_LAUNCHER_DIR}" "${target}")
endif()
file(MAKE_DIRECTORY "$ENV{DESTDIR}${QUENLO_LAUNCHER_DIR}")
message(STATUS "Installing: $ENV{DESTDIR}${link} -> ${target}")
file(CREATE_LINK "${target}" "$ENV{DESTDIR}${link}" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "$ENV{DESTDIR}${link}")
