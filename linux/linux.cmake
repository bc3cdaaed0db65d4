# The Linux program `tamrix`: the dialog in a terminal (ncurses) and a
# command line, for patching the INF files of a Windows folder offline, on
# this system or inside a disk image.  Its side of the seam is
# platform/posix/posix.cmake's, a disk image's files disk/disk.cmake's.
set(CURSES_NEED_NCURSES TRUE)
find_package(Curses REQUIRED)

set(TAMRIX_LINUX_DIR ${CMAKE_CURRENT_LIST_DIR})

# The command line, apart so that its tests can link it alone.
add_library(tamrix_command_line STATIC ${TAMRIX_LINUX_DIR}/command_line.cpp)
target_compile_definitions(tamrix_command_line PRIVATE TAMRIX_VERSION="${PROJECT_VERSION}")

add_executable(tamrix
  ${TAMRIX_LINUX_DIR}/main.cpp
  ${TAMRIX_LINUX_DIR}/front_end.cpp
  ${TAMRIX_LINUX_DIR}/commands.cpp
  ${TAMRIX_LINUX_DIR}/message_lines.cpp
  ${TAMRIX_LINUX_DIR}/voice.cpp
  ${TAMRIX_LINUX_DIR}/dry_run.cpp
  ${TAMRIX_LINUX_DIR}/terminal_dialog.cpp
  ${TAMRIX_LINUX_DIR}/open_image.cpp
  ${TAMRIX_LINUX_DIR}/registry_exit.cpp
  ${TAMRIX_LINUX_DIR}/registry_kind.cpp
  ${TAMRIX_LINUX_DIR}/put_back.cpp
  ${TAMRIX_LINUX_DIR}/run_files.cpp
)
target_include_directories(tamrix PRIVATE ${CURSES_INCLUDE_DIRS})
target_compile_options(tamrix PRIVATE ${CURSES_CFLAGS})
target_link_libraries(tamrix PRIVATE tamrix_core tamrix_disk tamrix_posix tamrix_posix_files
                      tamrix_command_line ${CURSES_LIBRARIES})
# libstdc++ and libgcc linked in: the dynamic loader then binds a few
# hundred symbols instead of libstdc++'s thousands, and the program starts
# in 0.55 instead of 2.3 million instructions (valgrind --tool=callgrind
# tamrix --help), more than the rest of an install of a real machine.inf.
# Not under the sanitizers, whose runtime must stand in for operator new.
if(NOT TAMRIX_SANITIZE)
  target_link_options(tamrix PRIVATE -static-libstdc++ -static-libgcc)
endif()
