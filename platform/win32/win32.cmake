# The Windows program, tamrix.exe: the core, the Win32 backend and the
# resources, linked without any C runtime.
#
#   i686    the release, for Windows 95 on Pentium-class processors:
#           subsystem windows 4.0, imports from KERNEL32, USER32 and ADVAPI32
#           only, no TLS directory, stripped.
#   x86_64  the same code, for the end-to-end tests under wine64; it also
#           builds the test driver (tests/windows/driver.cpp).
#
# Configure with cmake/toolchain-mingw-i686.cmake or -x86_64.cmake.

enable_language(RC)

set(TAMRIX_WIN32_DIR ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32)
set(TAMRIX_RESOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/resources)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TAMRIX_WIN32_ARCH_FLAGS -march=pentium -mtune=pentium)
  set(TAMRIX_WIN32_SUBSYSTEM windows:4.0)
  set(TAMRIX_WIN32_VERSION 4.0)
else()
  set(TAMRIX_WIN32_ARCH_FLAGS)
  set(TAMRIX_WIN32_SUBSYSTEM windows:5.2)
  set(TAMRIX_WIN32_VERSION 5.2)
endif()
string(REPLACE "." ";" TAMRIX_WIN32_VERSION_PARTS ${TAMRIX_WIN32_VERSION})
list(GET TAMRIX_WIN32_VERSION_PARTS 0 TAMRIX_WIN32_MAJOR)
list(GET TAMRIX_WIN32_VERSION_PARTS 1 TAMRIX_WIN32_MINOR)

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
  ${TAMRIX_WIN32_DIR}/win32_entry.cpp
  ${TAMRIX_WIN32_DIR}/win32_files.cpp
  ${TAMRIX_WIN32_DIR}/win32_memory.cpp
  ${TAMRIX_WIN32_DIR}/win32_system.cpp
)
target_compile_options(tamrix_win32 PRIVATE ${TAMRIX_WIN32_CODE_FLAGS})
set_source_files_properties(${TAMRIX_WIN32_DIR}/win32_memory.cpp PROPERTIES
  COMPILE_OPTIONS "-ffreestanding;-fno-builtin;-fno-tree-loop-distribute-patterns")

add_executable(tamrix
  ${TAMRIX_RESOURCE_DIR}/tamrix.rc
)
set_target_properties(tamrix PROPERTIES LINKER_LANGUAGE CXX)
set_source_files_properties(${TAMRIX_RESOURCE_DIR}/tamrix.rc PROPERTIES
  OBJECT_DEPENDS "${TAMRIX_RESOURCE_DIR}/logo.bmp;${TAMRIX_RESOURCE_DIR}/banner.bmp;${TAMRIX_RESOURCE_DIR}/tamrix.ico")

# The backend objects are linked whole: memcpy and ___chkstk_ms are only
# asked for by code the linker meets later.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TAMRIX_WIN32_ENTRY _tamrix_entry)
else()
  set(TAMRIX_WIN32_ENTRY tamrix_entry)
endif()
target_link_options(tamrix PRIVATE
  -nostdlib -nostartfiles -nodefaultlibs
  -s
  -Wl,-e,${TAMRIX_WIN32_ENTRY}
  -Wl,--subsystem,${TAMRIX_WIN32_SUBSYSTEM}
  -Wl,--major-os-version,${TAMRIX_WIN32_MAJOR}
  -Wl,--minor-os-version,${TAMRIX_WIN32_MINOR}
  -Wl,--major-subsystem-version,${TAMRIX_WIN32_MAJOR}
  -Wl,--minor-subsystem-version,${TAMRIX_WIN32_MINOR}
  -Wl,--no-insert-timestamp
)
# CMake would link every Windows program with its whole list of system
# libraries; Tamrix links the three it imports from.
set(CMAKE_CXX_STANDARD_LIBRARIES "")
target_link_libraries(tamrix PRIVATE
  -Wl,--whole-archive tamrix_win32 -Wl,--no-whole-archive
  tamrix_core
  kernel32 user32 advapi32
)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # Drives tamrix.exe under wine64 for the end-to-end tests.  It may use the
  # C and C++ runtimes, linked statically so that it runs on its own.
  add_executable(tamrix_driver ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/driver.cpp)
  target_link_options(tamrix_driver PRIVATE -static -s)
  target_link_libraries(tamrix_driver PRIVATE user32 gdi32 advapi32 kernel32)
  set_target_properties(tamrix_driver PROPERTIES OUTPUT_NAME driver)
endif()
