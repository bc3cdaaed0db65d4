# The libraries that the unit tests and the fuzz targets share.  None of them
# needs GoogleTest, so the fuzz build links them without it.
#
#   tamrix_scripted          the scripted backend of the seam (scripted_platform.cpp),
#                            whose file functions wrap the POSIX backend's, and
#                            the shared INF texts of tests/fixtures (fixture_text.cpp)
#   tamrix_merge_properties  the merge properties and the input generator
include_guard(GLOBAL)

set(TAMRIX_TESTS_DIR ${PROJECT_SOURCE_DIR}/tests)

add_library(tamrix_scripted STATIC ${TAMRIX_TESTS_DIR}/scripted_platform.cpp
                                   ${TAMRIX_TESTS_DIR}/fixture_text.cpp)
target_include_directories(tamrix_scripted PUBLIC ${PROJECT_SOURCE_DIR})
# The INF texts of the tests (fixture_text.h) are read from the source tree.
target_compile_definitions(tamrix_scripted PRIVATE
                           TAMRIX_FIXTURES_DIR="${TAMRIX_TESTS_DIR}/fixtures")
# The backend runs the dialog procedure of the core, and the core calls the
# backend: the core comes both before and after it on the link line.
target_link_libraries(tamrix_scripted PUBLIC tamrix_core tamrix_posix_files)

add_library(tamrix_merge_properties STATIC ${TAMRIX_TESTS_DIR}/merge_properties.cpp)
target_link_libraries(tamrix_merge_properties PUBLIC tamrix_scripted)
