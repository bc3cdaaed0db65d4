# The Win32 backend of the seam (tamrix_win32), and the code flags of every
# part of the Windows program, which links no C runtime (the program itself:
# windows/windows.cmake).
#
#   i686    the release, for Windows 95 on Pentium-class processors;
#   x86_64  the same code, for the end-to-end tests under wine64.
#
# Configure with cmake/toolchain-mingw-i686.cmake or -x86_64.cmake.

set(TAMRIX_WIN32_DIR ${CMAKE_CURRENT_LIST_DIR})

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TAMRIX_WIN32_ARCH_FLAGS -march=pentium -mtune=pentium)
else()
  set(TAMRIX_WIN32_ARCH_FLAGS)
endif()

# Code for a process without a C runtime: no exceptions, no unwind tables,
# small, and nothing that needs the runtime's start-up (TLS, constructors).
set(TAMRIX_WIN32_CODE_FLAGS
  ${TAMRIX_WIN32_ARCH_FLAGS}
  -Os
  -fno-exceptions
  -fno-rtti
  -fno-asynchronous-unwind-tables
  -fno-unwind-tables
  -fno-threadsafe-statics
  -fno-stack-protector
  -fno-ident
)
target_compile_options(tamrix_core PRIVATE ${TAMRIX_WIN32_CODE_FLAGS})

add_library(tamrix_win32 STATIC
  ${TAMRIX_WIN32_DIR}/win32_dialog.cpp
  ${TAMRIX_WIN32_DIR}/win32_files.cpp
  ${TAMRIX_WIN32_DIR}/win32_memory.cpp
  ${TAMRIX_WIN32_DIR}/win32_system.cpp
)
target_compile_options(tamrix_win32 PRIVATE ${TAMRIX_WIN32_CODE_FLAGS})
set_source_files_properties(${TAMRIX_WIN32_DIR}/win32_memory.cpp PROPERTIES
  COMPILE_OPTIONS "-ffreestanding;-fno-builtin;-fno-tree-loop-distribute-patterns")

