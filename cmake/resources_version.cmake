# The Windows program's resources spell the version themselves, as its
# bytes have always held them (the version block of resources/tamrix.rc and
# the dialog's title in resources/dialog_ids.h, which the terminal dialog
# copies in linux/terminal_dialog.cpp).  The configure stops where
# they disagree with the project's version, so that a new version is
# written in CMakeLists.txt and the build names every other place to change.
foreach(spelling IN ITEMS
    "resources/tamrix.rc|VALUE \"FileVersion\", \"${PROJECT_VERSION}\""
    "resources/tamrix.rc|VALUE \"ProductVersion\", \"${PROJECT_VERSION}\""
    "resources/dialog_ids.h|\"Tamrix.exe R${PROJECT_VERSION}\""
    "linux/terminal_dialog.cpp|\"Tamrix.exe R${PROJECT_VERSION}\"")
  string(REPLACE "|" ";" file_and_text "${spelling}")
  list(GET file_and_text 0 file)
  list(GET file_and_text 1 text)
  file(READ ${PROJECT_SOURCE_DIR}/${file} content)
  string(FIND "${content}" "${text}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${file} does not hold ${text}: the version is ${PROJECT_VERSION} "
                        "(CMakeLists.txt)")
  endif()
endforeach()
