# The Linux backends of the seam.
#
#   tamrix_posix_files  the files of a Linux folder (posix_files.cpp), and the
#                       seam's file calls, which go to the table installed in
#                       platform_files (posix_file_calls.cpp); the tests'
#                       scripted backend and the benchmark wrap the table
#   tamrix_posix        the rest of the Linux program's seam: the files of a
#                       Windows folder inside a disk image, through GNU mtools
#                       (platform/image/: the image's FAT volume, its files,
#                       its SYSTEM.DAT); the files of a run, one run at a
#                       time, interruptions; the registry of the Windows
#                       being patched, its SYSTEM.DAT (offline_registry.h);
#                       no restart
#   tamrix_registry_file  SYSTEM.DAT as bytes: checked, listed, keys deleted
set(TAMRIX_POSIX_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TAMRIX_IMAGE_DIR ${CMAKE_CURRENT_LIST_DIR}/../image)

add_library(tamrix_posix_files STATIC
  ${TAMRIX_POSIX_DIR}/posix_files.cpp
  ${TAMRIX_POSIX_DIR}/posix_file_calls.cpp
)

add_library(tamrix_posix STATIC
  ${TAMRIX_POSIX_DIR}/posix_run_files.cpp
  ${TAMRIX_POSIX_DIR}/posix_interruptions.cpp
  ${TAMRIX_POSIX_DIR}/posix_system.cpp
  ${TAMRIX_POSIX_DIR}/offline_registry.cpp
  ${TAMRIX_POSIX_DIR}/dos_attributes.cpp
  ${TAMRIX_IMAGE_DIR}/convert_hint.cpp
  ${TAMRIX_IMAGE_DIR}/fat_layout.cpp
  ${TAMRIX_IMAGE_DIR}/image_disk.cpp
  ${TAMRIX_IMAGE_DIR}/image_export.cpp
  ${TAMRIX_IMAGE_DIR}/qemu_child.cpp
  ${TAMRIX_IMAGE_DIR}/qemu_check.cpp
  ${TAMRIX_IMAGE_DIR}/image_formats.cpp
  ${TAMRIX_IMAGE_DIR}/image_checks.cpp
  ${TAMRIX_IMAGE_DIR}/image_files.cpp
  ${TAMRIX_IMAGE_DIR}/image_io.cpp
  ${TAMRIX_IMAGE_DIR}/image_journal.cpp
  ${TAMRIX_POSIX_DIR}/file_swap.cpp
)
target_link_libraries(tamrix_posix PUBLIC tamrix_posix_files tamrix_registry_file)

# The Windows 95 registry file (SYSTEM.DAT) as bytes: checked, listed, and
# its keys deleted in place (registry_file.h).
add_library(tamrix_registry_file STATIC
  ${TAMRIX_POSIX_DIR}/registry_check.cpp
  ${TAMRIX_POSIX_DIR}/registry_listing.cpp
  ${TAMRIX_POSIX_DIR}/registry_delete.cpp
)
