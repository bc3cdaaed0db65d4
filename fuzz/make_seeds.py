#!/usr/bin/env python3
"""Seeds for the fuzz targets of the readers, made from the real world:

    fuzz/make_seeds.py OUT

writes OUT/<target>/ for fuzz_registry, fuzz_image_format, fuzz_partitions,
fuzz_fat_volume and fuzz_tool_output:
  - registries in the shapes Windows 95 and 98 write (tests/posix/system_dat.py),
    and inputs that damage the USER.DAT Windows ME wrote (tests/data/registry);
  - FAT12, FAT16 and FAT32 volumes made by mkfs.fat, with WINDOWS\\INF and a
    file made by mmd and mcopy (on FAT32, which mtools wants far larger, the
    folders written here), cut after the clusters that hold them;
  - disks partitioned by sfdisk (primary and logical FAT partitions);
  - an image of each format qemu-img makes (qcow, qcow2 v2 and v3, VDI,
    VMDK of each kind, VHD fixed and dynamic, VHDX), cut to the bytes the
    probe reads: its head, and its last sector;
  - what mdir, mattrib and qemu-img check print about those images.
Each input begins with the byte the target reads first where it has one.
Needs mtools, dosfstools, fdisk (sfdisk) and qemu-utils."""

import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "posix"))
import registry_fixtures  # noqa: E402
import system_dat  # noqa: E402

OUT = sys.argv[1]
SCRATCH = tempfile.mkdtemp(prefix="tamrix-seeds-")
QUIET = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
ENV = dict(os.environ, MTOOLS_SKIP_CHECK="1")


def seed(target, name, data):
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def run(*words, **options):
    return subprocess.run(words, check=True, env=ENV, **options)


def scratch(name):
    return os.path.join(SCRATCH, name)


def read(path, start=0, size=None):
    with open(path, "rb") as f:
        f.seek(start)
        return f.read() if size is None else f.read(size)


# ---- the registry ---------------------------------------------------------------------
def registry_seeds():
    keys = registry_fixtures.machine_keys(["VEN_8086&DEV_7113"], total=40)
    shapes = {"95": system_dat.Shape("95", 12, False), "98": system_dat.Shape("98", 10, True),
              "98-one-block": system_dat.Shape("98", 255, False)}
    for name, shape in shapes.items():
        for choice in (0, 1, 2):  # which keys the target deletes: one, two, three
            seed("fuzz_registry", "win%s-%d" % (name, choice),
                 bytes([choice << 1]) + system_dat.build(keys, shape))
    rooted = registry_fixtures.machine_keys([], root_values=True, total=12)
    seed("fuzz_registry", "root-with-values", b"\0" + system_dat.build(rooted, shapes["95"]))
    # USER.DAT of Windows ME as Windows wrote it, and with a byte put in RGKN's root.
    seed("fuzz_registry", "winme-user", b"\1")
    seed("fuzz_registry", "winme-user-rgkn-root", b"\5" + struct.pack(">I", 0x28 << 8 | 0x40))


# ---- FAT volumes ----------------------------------------------------------------------
def fat_volume(name, mkfs, kib):
    path = scratch(name + ".img")
    run("mkfs.fat", "-C", *mkfs.split(), path, str(kib), **QUIET)
    run("mmd", "-i", path, "::/WINDOWS", "::/WINDOWS/INF", **QUIET)
    with open(scratch("MACHINE.INF"), "wb") as f:
        f.write(b"[Version]\r\n" * 700)  # a few clusters
    run("mcopy", "-i", path, scratch("MACHINE.INF"), "::/WINDOWS/INF/MACHINE.INF", **QUIET)
    return path


def small_fat32(name):
    """A FAT32 volume of 4,000 clusters, which mkfs.fat makes and mtools
    refuses (it wants 65,525), with WINDOWS\\INF written here: entries in
    the root's cluster 2, WINDOWS in cluster 3, INF in cluster 4."""
    path = scratch(name + ".img")
    run("mkfs.fat", "-C", "-F", "32", "-s", "1", "-a", path, "2048", **QUIET)
    boot = read(path, 0, 512)
    reserved, fat = struct.unpack_from("<H", boot, 14)[0], struct.unpack_from("<I", boot, 36)[0]
    data = (reserved + 2 * fat) * 512

    def entry(name11, cluster):
        return name11.encode() + struct.pack("<BBBHHHHHHHI", 0x10, 0, 0, 0, 0, 0, cluster >> 16,
                                             0, 0, cluster & 0xFFFF, 0)

    with open(path, "r+b") as f:
        for copy in range(2):
            f.seek((reserved + copy * fat) * 512 + 12)
            f.write(struct.pack("<II", 0x0FFFFFFF, 0x0FFFFFFF))  # clusters 3 and 4 end
        f.seek(data)
        f.write(entry("WINDOWS    ", 3))
        f.seek(data + 512)
        f.write(entry(".          ", 3) + entry("..         ", 0) + entry("INF        ", 4))
        f.seek(data + 1024)
        f.write(entry(".          ", 4) + entry("..         ", 3))
    return path


def fat_seeds():
    volumes = [("fat12-floppy", "-F 12", 360), ("fat12-small", "-F 12 -s 1", 160),
               ("fat16", "-F 16 -s 1", 4096), ("fat12-4k-sectors", "-F 12 -S 4096 -s 1", 8192),
               ("fat32", None, 0)]
    for name, mkfs, kib in volumes:
        path = fat_volume(name, mkfs, kib) if mkfs else small_fat32(name)
        boot = read(path, 0, 512)
        sector = struct.unpack_from("<H", boot, 11)[0]
        cluster = sector * boot[13]
        reserved, copies = struct.unpack_from("<H", boot, 14)[0], boot[16]
        roots = struct.unpack_from("<H", boot, 17)[0]
        fat = struct.unpack_from("<H", boot, 22)[0] or struct.unpack_from("<I", boot, 36)[0]
        data = (reserved + copies * fat) * sector + (roots * 32 + sector - 1) // sector * sector
        # The folders and the file take the first clusters mmd and mcopy found free.
        seed("fuzz_fat_volume", name, read(path, 0, data + 16 * cluster))


# ---- partitioned disks ------------------------------------------------------------------
def partitioned_disk(name, table, fat_starts, sectors=512):
    path = scratch(name + ".img")
    with open(path, "wb") as f:
        f.truncate(sectors * 512)
    run("sfdisk", "--no-reread", "--no-tell-kernel", path, input=table.encode(), **QUIET)
    for start, count in fat_starts:
        part = scratch("part.img")
        if os.path.exists(part):
            os.unlink(part)
        run("mkfs.fat", "-C", "-F", "12", "-s", "1", "-r", "16", part, str(count // 2), **QUIET)
        with open(path, "r+b") as f:
            f.seek(start * 512)
            f.write(read(part))
    return path


def partition_seeds():
    primary = partitioned_disk("primary", "label: dos\nstart=2, size=100, type=1\n"
                               "start=110, size=80, type=83\n", [(2, 100)])
    logical = partitioned_disk(
        "logical", "label: dos\nstart=2, size=40, type=83\nstart=50, size=450, type=5\n"
        "start=52, size=100, type=e\nstart=160, size=100, type=1\nstart=270, size=80, type=6\n",
        [(52, 100), (160, 100), (270, 80)])
    for name, path in (("primary", primary), ("logical", logical)):
        for wanted in (0, 1, 5, 6):
            seed("fuzz_partitions", "%s-%d" % (name, wanted), bytes([wanted]) + read(path))
    run("qemu-img", "convert", "-f", "raw", "-O", "vpc", "-o", "subformat=fixed,force_size=on",
        logical, scratch("fixed.vhd"), **QUIET)
    seed("fuzz_partitions", "fixed-vhd", b"\0" + read(scratch("fixed.vhd")))
    floppy = fat_volume("bare", "-F 12 -s 1", 64)
    seed("fuzz_partitions", "bare-volume", b"\0" + read(floppy))


# ---- image formats --------------------------------------------------------------------
def format_seeds():
    images = [("qcow", "qcow", ""), ("qcow2-v2", "qcow2", "compat=0.10"),
              ("qcow2-v3", "qcow2", "compat=1.1,lazy_refcounts=on"), ("vdi", "vdi", ""),
              ("vdi-fixed", "vdi", "static=on"), ("vmdk-sparse", "vmdk", ""),
              ("vmdk-stream", "vmdk", "subformat=streamOptimized"),
              ("vmdk-flat", "vmdk", "subformat=monolithicFlat"),
              ("vhd-dynamic", "vpc", ""), ("vhd-fixed", "vpc", "subformat=fixed"),
              ("vhdx", "vhdx", "")]
    for name, driver, options in images:
        path = scratch(name)
        words = ["qemu-img", "create", "-f", driver] + (["-o", options] if options else [])
        run(*words, path, "1M", **QUIET)
        size = os.path.getsize(path)
        head = read(path, 0, min(size, 16384))
        tail = read(path, size - 512, 512) if size >= 512 else b""
        seed("fuzz_image_format", name, head + tail if size > len(head) else head)
        if name.startswith(("qcow2", "vdi", "vhd-dynamic")):
            check = subprocess.run(["qemu-img", "check", "-f", driver, path], env=ENV,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            seed("fuzz_tool_output", "check-" + name,
                 bytes([2 | check.returncode << 2]) + check.stdout)
    seed("fuzz_image_format", "raw-mbr", read(scratch("logical.img"), 0, 1024))


# ---- the tools' words -------------------------------------------------------------------
def tool_output_seeds():
    path = scratch("fat16.img")
    listing = subprocess.run(["mdir", "-b", "-a", "-i", path, "::/WINDOWS/INF/"], env=ENV,
                             stdout=subprocess.PIPE, check=True).stdout
    seed("fuzz_tool_output", "mdir", b"\0" + listing)
    run("mattrib", "-i", path, "+r", "+s", "+h", "::/WINDOWS/INF/MACHINE.INF")
    shown = subprocess.run(["mattrib", "-i", path, "::/WINDOWS/INF/MACHINE.INF"], env=ENV,
                           stdout=subprocess.PIPE, check=True).stdout
    seed("fuzz_tool_output", "mattrib", b"\1" + shown)
    broken = scratch("broken.qcow2")
    run("qemu-img", "create", "-f", "qcow2", broken, "1M", **QUIET)
    with open(broken, "r+b") as f:
        f.seek(72)
        f.write(struct.pack(">Q", 2))  # marked corrupt
    check = subprocess.run(["qemu-img", "check", broken], env=ENV, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT)
    seed("fuzz_tool_output", "check-corrupt", bytes([2 | (check.returncode & 7) << 2]) + check.stdout)
    seed("fuzz_tool_output", "daemon",
         b"\3qemu-storage-daemon: --blockdev driver=qcow2,node-name=disk: Failed to get "
         b"\"write\" lock\nIs another process using the image [disk.qcow2]?\n")


registry_seeds()
fat_seeds()
partition_seeds()
format_seeds()
tool_output_seeds()
subprocess.run(["rm", "-rf", SCRATCH])
