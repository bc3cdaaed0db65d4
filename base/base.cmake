# The floor under the Linux program's machinery, shared by platform/posix/,
# disk/, registry/ and linux/: starting children (start_command.h, with the
# in-process start_async beside it), interruptions (interruptions.h), and the
# reads and writes in order (fd_io.h), and the header-only byte readers,
# split and shared sizes.  It includes nothing of
# the project's.
add_library(tamrix_base STATIC
  ${CMAKE_CURRENT_LIST_DIR}/fd_io.cpp
  ${CMAKE_CURRENT_LIST_DIR}/interruptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/start_command.cpp
)
