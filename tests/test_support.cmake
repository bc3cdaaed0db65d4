# The libraries that the unit tests and the fuzz targets share.  None of them
# needs GoogleTest, so the fuzz build links them without it.
#
#   tamrix_scripted          the scripted backend of the seam (scripted_platform.cpp)
#   tamrix_merge_properties  the merge properties and the input generator
#
# Anything that links tamrix_scripted is linked with --wrap for every file
# function of platform/platform.h: the core's file calls then go to the
# scripted backend first, which hands them on to tamrix_posix_files.
include_guard(GLOBAL)

set(TAMRIX_TESTS_DIR ${PROJECT_SOURCE_DIR}/tests)

# The file functions of the seam under their mangled names (Itanium C++ ABI,
# LP64), the names the linker sees.  Keep in step with the __wrap_ and
# __real_ declarations in scripted_platform.cpp.
set(TAMRIX_WRAPPED_FILE_FUNCTIONS
  _Z18platform_open_readPKcPl   # platform_open_read(const char*, platform_file*)
  _Z19platform_open_writePKcPl  # platform_open_write(const char*, platform_file*)
  _Z13platform_readlPcj         # platform_read(platform_file, char*, uint32_t)
  _Z14platform_writelPKcj       # platform_write(platform_file, const char*, uint32_t)
  _Z13platform_seeklj           # platform_seek(platform_file, uint32_t)
  _Z13platform_telllPj          # platform_tell(platform_file, uint32_t*)
  _Z14platform_flushl           # platform_flush(platform_file)
  _Z14platform_closel           # platform_close(platform_file)
  _Z15platform_renamePKcS0_     # platform_rename(const char*, const char*)
  _Z15platform_deletePKc        # platform_delete(const char*)
)
list(TRANSFORM TAMRIX_WRAPPED_FILE_FUNCTIONS PREPEND "--wrap=" OUTPUT_VARIABLE tamrix_wraps)
list(JOIN tamrix_wraps "," tamrix_wraps)

add_library(tamrix_scripted STATIC ${TAMRIX_TESTS_DIR}/scripted_platform.cpp)
target_include_directories(tamrix_scripted PUBLIC ${PROJECT_SOURCE_DIR})
# The backend runs the dialog procedure of the core, and the core calls the
# backend: the core comes both before and after it on the link line.
target_link_libraries(tamrix_scripted PUBLIC tamrix_core tamrix_posix_files)
target_link_options(tamrix_scripted INTERFACE "LINKER:${tamrix_wraps}")

add_library(tamrix_merge_properties STATIC ${TAMRIX_TESTS_DIR}/merge_properties.cpp)
target_link_libraries(tamrix_merge_properties PUBLIC tamrix_scripted)
