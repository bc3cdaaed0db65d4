# The Linux program `tamrix`: the dialog in a terminal (ncurses) and a
# command line, for patching the INF files of a Windows folder offline.
set(CURSES_NEED_NCURSES TRUE)
find_package(Curses REQUIRED)

set(TAMRIX_POSIX_DIR ${CMAKE_CURRENT_LIST_DIR})

# The files of a Windows folder on Linux (posix_* functions).  The program's
# seam hands its file calls to them (posix_file_calls.cpp); the tests'
# scripted backend wraps them instead.
add_library(tamrix_posix_files STATIC ${TAMRIX_POSIX_DIR}/posix_files.cpp)

# The files of a Windows folder inside a disk image, through GNU mtools
# (platform/image/): the second backend of the program's file calls, the
# finding of the image's FAT volume, and the reading of its SYSTEM.DAT.
set(TAMRIX_IMAGE_DIR ${CMAKE_CURRENT_LIST_DIR}/../image)
add_library(tamrix_image STATIC
  ${TAMRIX_IMAGE_DIR}/convert_hint.cpp
  ${TAMRIX_IMAGE_DIR}/fat_layout.cpp
  ${TAMRIX_IMAGE_DIR}/image_disk.cpp
  ${TAMRIX_IMAGE_DIR}/image_checks.cpp
  ${TAMRIX_IMAGE_DIR}/image_files.cpp
  ${TAMRIX_IMAGE_DIR}/image_io.cpp
  ${TAMRIX_IMAGE_DIR}/image_journal.cpp
  ${TAMRIX_IMAGE_DIR}/image_registry.cpp
)

# The command line, apart so that its tests can link it alone.
add_library(tamrix_posix_options STATIC ${TAMRIX_POSIX_DIR}/posix_options.cpp)

add_executable(tamrix
  ${TAMRIX_POSIX_DIR}/posix_main.cpp
  ${TAMRIX_POSIX_DIR}/posix_file_calls.cpp
  ${TAMRIX_POSIX_DIR}/posix_system.cpp
  ${TAMRIX_POSIX_DIR}/posix_lines.cpp
  ${TAMRIX_POSIX_DIR}/posix_status.cpp
  ${TAMRIX_POSIX_DIR}/posix_preview.cpp
  ${TAMRIX_POSIX_DIR}/posix_terminal.cpp
  ${TAMRIX_IMAGE_DIR}/image_start.cpp
)
target_include_directories(tamrix PRIVATE ${CURSES_INCLUDE_DIRS})
target_compile_options(tamrix PRIVATE ${CURSES_CFLAGS})
target_link_libraries(tamrix PRIVATE tamrix_core tamrix_posix_files tamrix_image
                      tamrix_posix_options ${CURSES_LIBRARIES})
