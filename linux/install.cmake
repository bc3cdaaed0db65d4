# What `cmake --install` puts where (GNUInstallDirs; DESTDIR is honoured):
#
#   bin/tamrix                                 the Linux program
#   share/man/man1/tamrix.1                    its manual page, linux/tamrix.1.in
#   share/bash-completion/completions/tamrix   its bash completion
#   share/doc/tamrix/README.md, LICENSE
#   share/tamrix/windows/                      the Windows release: the floppy
#                                              image, the zip and README.TXT,
#                                              with TAMRIX_WINDOWS_RELEASE=ON
#
# The manual page is written by hand, in roff: --help is laid out for a
# terminal, not in the GNU layout help2man reads, and a page made from it
# loses its lists.  tests/release/check_package.sh checks that the page and
# the bash completion name exactly the options of --help.
include(GNUInstallDirs)

option(TAMRIX_WINDOWS_RELEASE
       "Build the Windows release (scripts/release.sh, needs mingw-w64) and install it" OFF)

install(TARGETS tamrix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TAMRIX_LINUX_DIR}/tamrix.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tamrix)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The manual page, with the project's version filled in.
configure_file(${TAMRIX_LINUX_DIR}/tamrix.1.in ${CMAKE_CURRENT_BINARY_DIR}/tamrix.1 @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tamrix.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TAMRIX_WINDOWS_RELEASE)
  set(TAMRIX_WINDOWS_OUT ${CMAKE_CURRENT_BINARY_DIR}/windows-release)
  set(TAMRIX_WINDOWS_FILES ${TAMRIX_WINDOWS_OUT}/tamrix-${PROJECT_VERSION}.img
                           ${TAMRIX_WINDOWS_OUT}/tamrix-${PROJECT_VERSION}.zip
                           ${TAMRIX_WINDOWS_OUT}/README.TXT)
  # release.sh builds the i686 program in a clean folder of its own and
  # checks it; its image and zip carry SOURCE_DATE_EPOCH's time stamps.
  add_custom_command(OUTPUT ${TAMRIX_WINDOWS_FILES}
    COMMAND ${CMAKE_COMMAND} -E env TAMRIX_RELEASE_BUILD=${CMAKE_CURRENT_BINARY_DIR}/release-i686
            ${PROJECT_SOURCE_DIR}/scripts/release.sh ${TAMRIX_WINDOWS_OUT}
    COMMENT "Building the Windows release with scripts/release.sh"
    VERBATIM)
  add_custom_target(windows_release ALL DEPENDS ${TAMRIX_WINDOWS_FILES})
  install(FILES ${TAMRIX_WINDOWS_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/tamrix/windows)
endif()
