# The Windows program, tamrix.exe: its entry point (tamrix_windows), the
# core, the Win32 backend and the resources, linked without any C runtime.
#
#   i686    the release, for Windows 95 on Pentium-class processors:
#           subsystem windows 4.0, imports from KERNEL32, USER32 and ADVAPI32
#           only, no TLS directory, stripped.
#   x86_64  the same code, for the end-to-end tests under wine64; it also
#           builds the test driver (tests/windows/driver.cpp).

enable_language(RC)

set(TAMRIX_RESOURCE_DIR ${PROJECT_SOURCE_DIR}/resources)

# The Windows version the program needs, and its entry point's name in the
# objects (i686 names get a leading underscore).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TAMRIX_WIN32_MAJOR 4)
  set(TAMRIX_WIN32_MINOR 0)
  set(TAMRIX_WIN32_ENTRY _tamrix_entry)
else()
  set(TAMRIX_WIN32_MAJOR 5)
  set(TAMRIX_WIN32_MINOR 2)
  set(TAMRIX_WIN32_ENTRY tamrix_entry)
endif()

add_library(tamrix_windows STATIC ${CMAKE_CURRENT_LIST_DIR}/windows_entry.cpp)
target_compile_options(tamrix_windows PRIVATE ${TAMRIX_WIN32_CODE_FLAGS})

add_executable(tamrix ${TAMRIX_RESOURCE_DIR}/tamrix.rc)
set_target_properties(tamrix PROPERTIES LINKER_LANGUAGE CXX)
set_source_files_properties(${TAMRIX_RESOURCE_DIR}/tamrix.rc PROPERTIES
  OBJECT_DEPENDS "${TAMRIX_RESOURCE_DIR}/logo.bmp;${TAMRIX_RESOURCE_DIR}/banner.bmp;${TAMRIX_RESOURCE_DIR}/tamrix.ico")

target_link_options(tamrix PRIVATE
  -nostdlib -nostartfiles -nodefaultlibs
  -s
  -Wl,-e,${TAMRIX_WIN32_ENTRY}
  -Wl,--subsystem,windows:${TAMRIX_WIN32_MAJOR}.${TAMRIX_WIN32_MINOR}
  -Wl,--major-os-version,${TAMRIX_WIN32_MAJOR}
  -Wl,--minor-os-version,${TAMRIX_WIN32_MINOR}
  -Wl,--major-subsystem-version,${TAMRIX_WIN32_MAJOR}
  -Wl,--minor-subsystem-version,${TAMRIX_WIN32_MINOR}
  -Wl,--no-insert-timestamp
)
# CMake would link every Windows program with its whole list of system
# libraries; Tamrix links the three it imports from.  The entry point and
# the backend objects are linked whole: memcpy and ___chkstk_ms are only
# asked for by code the linker meets later.
set(CMAKE_CXX_STANDARD_LIBRARIES "")
target_link_libraries(tamrix PRIVATE
  -Wl,--whole-archive tamrix_windows tamrix_win32 -Wl,--no-whole-archive
  tamrix_core
  kernel32 user32 advapi32
)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # Drives tamrix.exe under wine64 for the end-to-end tests.  It may use the
  # C and C++ runtimes, linked statically so that it runs on its own.
  add_executable(tamrix_driver ${PROJECT_SOURCE_DIR}/tests/windows/driver.cpp)
  target_link_options(tamrix_driver PRIVATE -static -s)
  target_link_libraries(tamrix_driver PRIVATE user32 gdi32 advapi32 kernel32)
  set_target_properties(tamrix_driver PROPERTIES OUTPUT_NAME driver)
endif()
