// libFuzzer target: finding the FAT volume of a raw disk image
// (disk/image_disk.h), which walks the MBR and the chain of extended boot
// records (disk/partition_table.h).  The input is the whole image; its
// format is named from its bytes first, as the program does.  Every read
// goes through a source that stops the program at a read outside the image
// or at a second read of the same extended boot record (a loop).  The walk
// must end on any input; a volume found must lie inside the disk (the
// image less a fixed VHD's footer) and begin with a FAT boot sector; no
// partition is numbered twice.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "../disk/fat_layout.h"
#include "../disk/image_disk.h"
#include "../disk/partition_table.h"

namespace {

[[noreturn]] void broken(const char* what, uint64_t number) {
    fprintf(stderr, "\npartition property broken: %s (%llu)\n", what, (unsigned long long)number);
    abort();
}

bool walking;                     // read_partitions alone is reading
std::set<uint64_t> sectors_read;  // the sectors it read for this input

bool read_checked(const byte_source& source, uint64_t offset, void* buffer, size_t size) {
    if (offset > source.size || size > source.size - offset) broken("a read past the image", offset);
    if (walking && !sectors_read.insert(offset).second)
        broken("a sector read twice: a loop", offset);
    memcpy(buffer, source.bytes + offset, size);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    int wanted = data[0] % 9;  // the partition asked for; 0: the first FAT one
    data++, size--;
    byte_source image = memory_source(data, size);
    image.read = read_checked;
    size_t head_size = size < kFormatHeadBytes ? size : kFormatHeadBytes;
    image_format format = name_image_format(
        data, head_size, size >= kFormatTailBytes ? data + size - kFormatTailBytes : nullptr);
    uint64_t disk = strcmp(format.qemu_driver, "vpc") == 0 && size >= 512 ? size - 512 : size;

    // The walk alone: it ends, reads each record once and inside the disk,
    // and numbers each partition once.
    std::vector<partition> partitions;
    if (disk >= 512) {
        walking = true;
        sectors_read.clear();
        read_partitions(data, disk / 512, image, &partitions);
        walking = false;
        std::set<int> numbers;
        for (const partition& p : partitions)
            if (!numbers.insert(p.number).second) broken("a partition numbered twice", p.number);
        if (partitions.size() > 4 + (size_t)kMostLogicalDrives)
            broken("too many partitions", partitions.size());
        for (uint64_t sector : sectors_read)
            if (sector + 512 > disk) broken("a record read past the disk", sector);
    }

    // The volume the program would patch: inside the disk, a FAT boot sector.
    image_volume volume = find_fat_volume_in(image, size, format, "disk.img", wanted);
    if (!volume.found) {
        if (volume.error.empty()) broken("not found, and no reason given", 0);
        return 0;
    }
    if (volume.offset % 512 != 0 || volume.offset + 512 > disk)
        broken("a volume outside the disk", volume.offset);
    fat_layout layout = read_fat_layout(data + volume.offset);
    if (!layout.valid) broken("a volume without a FAT boot sector", volume.offset);
    if (volume.offset + fat_volume_bytes(layout) > disk)
        broken("a volume that runs past the disk", volume.offset + fat_volume_bytes(layout));
    return 0;
}
