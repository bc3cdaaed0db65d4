# The Windows folder inside a disk image, for the Linux program: the image's
# format named from its bytes, an emulator's format exported as a raw disk by
# qemu-storage-daemon, the partition and its FAT volume, the rollback journal
# of each change, and the files through GNU mtools: one file backend behind
# platform/file_backend.h; a real disk (a block device) as one more image.
# Also the run's scratch folders (scratch_folder.h).
set(TAMRIX_DISK_DIR ${CMAKE_CURRENT_LIST_DIR})

add_library(tamrix_disk STATIC
  ${TAMRIX_DISK_DIR}/block_device.cpp
  ${TAMRIX_DISK_DIR}/convert_hint.cpp
  ${TAMRIX_DISK_DIR}/daemon_watch.cpp
  ${TAMRIX_DISK_DIR}/fat_layout.cpp
  ${TAMRIX_DISK_DIR}/image_disk.cpp
  ${TAMRIX_DISK_DIR}/image_export.cpp
  ${TAMRIX_DISK_DIR}/qemu_child.cpp
  ${TAMRIX_DISK_DIR}/qemu_check.cpp
  ${TAMRIX_DISK_DIR}/scratch_folder.cpp
  ${TAMRIX_DISK_DIR}/image_formats.cpp
  ${TAMRIX_DISK_DIR}/image_checks.cpp
  ${TAMRIX_DISK_DIR}/image_files.cpp
  ${TAMRIX_DISK_DIR}/image_io.cpp
  ${TAMRIX_DISK_DIR}/image_journal.cpp
  ${TAMRIX_DISK_DIR}/partition_table.cpp
  ${TAMRIX_DISK_DIR}/mtools_output.cpp
)
target_link_libraries(tamrix_disk PUBLIC tamrix_posix)
