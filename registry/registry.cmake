# The Windows 9x registry file (SYSTEM.DAT) as bytes in memory: checked,
# listed, and its keys deleted in place (registry_file.h).  No I/O, and
# nothing of the rest of the project but the floor's byte readers and split
# (base/, header-only).
add_library(tamrix_registry STATIC
  ${CMAKE_CURRENT_LIST_DIR}/registry_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_listing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_delete.cpp
)
