# The Linux backend of the seam, the one home of every seam function of the
# Linux program: it only translates.
#
#   tamrix_posix_files  the files of a Linux folder (posix_files.cpp), and the
#                       seam's file calls, which go to the table installed in
#                       platform_files (posix_file_calls.cpp); the tests'
#                       scripted backend, the benchmark and the disk image's
#                       files (disk/) fill or wrap that table, and link this
#                       library alone
#   tamrix_posix        the rest of the seam, for the Linux program: the
#                       calls whose answer is the front end's, handed to the
#                       table it installs (posix_front_end_calls.cpp), the
#                       registry calls on the Windows folder's SYSTEM.DAT
#                       (offline_registry.h, over registry/), no restart, and
#                       swaps held together against signals (posix_system.cpp);
#                       interruptions and child programs are the floor's (base/)
set(TAMRIX_POSIX_DIR ${CMAKE_CURRENT_LIST_DIR})

add_library(tamrix_posix_files STATIC
  ${TAMRIX_POSIX_DIR}/posix_files.cpp
  ${TAMRIX_POSIX_DIR}/posix_file_calls.cpp
)
target_link_libraries(tamrix_posix_files PUBLIC tamrix_base)

add_library(tamrix_posix STATIC
  ${TAMRIX_POSIX_DIR}/posix_system.cpp
  ${TAMRIX_POSIX_DIR}/posix_front_end_calls.cpp
  ${TAMRIX_POSIX_DIR}/offline_registry.cpp
)
target_link_libraries(tamrix_posix PUBLIC tamrix_posix_files tamrix_registry)
