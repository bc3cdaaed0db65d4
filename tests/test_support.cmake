# The libraries that the unit tests and the fuzz targets share.  None of them
# needs GoogleTest, so the fuzz build links them without it.
#
#   tamrix_scripted          the scripted backend of the seam (scripted_platform.cpp),
#                            whose file functions wrap the POSIX backend's
#   tamrix_merge_properties  the merge properties and the input generator
include_guard(GLOBAL)

set(TAMRIX_TESTS_DIR ${PROJECT_SOURCE_DIR}/tests)

add_library(tamrix_scripted STATIC ${TAMRIX_TESTS_DIR}/scripted_platform.cpp)
target_include_directories(tamrix_scripted PUBLIC ${PROJECT_SOURCE_DIR})
# The backend runs the dialog procedure of the core, and the core calls the
# backend: the core comes both before and after it on the link line.
target_link_libraries(tamrix_scripted PUBLIC tamrix_core tamrix_posix_files)

add_library(tamrix_merge_properties STATIC ${TAMRIX_TESTS_DIR}/merge_properties.cpp)
target_link_libraries(tamrix_merge_properties PUBLIC tamrix_scripted)
