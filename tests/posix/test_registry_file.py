"""The registry file module (registry/registry_file.h) on SYSTEM.DAT
files in the shapes Windows 95 and 98 write (tests/posix/system_dat.py) and
on one that Windows ME wrote (tests/data/registry), driven by registry_tool:
trees deleted, checked against Debian's libcreg-utils (cregexport,
creginfo) as an independent reader, and damaged files refused unchanged.

Usage: REGISTRY_TOOL=path/to/registry_tool python3 test_registry_file.py
"""

import os
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import system_dat  # noqa: E402
from registry_fixtures import (DEVICES, TEN, cregexport, machine_keys, real_file,  # noqa: E402
                               within)
from system_dat import Shape  # noqa: E402

TOOL = os.environ.get("REGISTRY_TOOL", "build/native/tests/posix/registry_tool")

# (name, shape, devices present, lower-case names, root with a record)
SHAPES = [
    ("95, checksums kept", Shape("95", 40, True), DEVICES, False, False),
    ("98, free records between", Shape("98", 30, False), DEVICES, True, True),
    ("95, four of the ten", Shape("95", 20, False), DEVICES[2:6], True, False),
    ("98, checksums, none of the ten", Shape("98", 12, True), [], False, True),
]
# Keys of the ME file in blocks of each kind: free records between used ones
# (block 9), the free space one record at the end (block 2), no free record
# (block 12).
ME_TREES = ["Enum\\PCI\\VEN_8086&DEV_7113&SUBSYS_00000000&REV_08",
            "System\\CurrentControlSet\\Control\\SessionManager\\AppPatches\\RR1",
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\SOIEAK\\"
            "SCRIPTING\\SCRIPTJAVA\\DENY"]


def run(*args):
    return subprocess.run([TOOL] + list(args), capture_output=True, text=True)


def free_key_nodes(path):
    """The entries of the file's list of free key nodes, as the check counts
    them; the refusal when it does not pass."""
    said = run("check", path).stdout
    return int(said.split()[1]) if said.startswith("clean: ") else said


# cregexport's names of the value types (Windows' REG_ constants).
TYPES = {"REG_NONE": 0, "REG_SZ": 1, "REG_EXPAND_SZ": 2, "REG_BINARY": 3, "REG_DWORD_LITTLE_ENDIAN": 4,
         "REG_DWORD_BIG_ENDIAN": 5, "REG_LINK": 6, "REG_MULTI_SZ": 7}


def listing(exported):
    """cregexport's keys and values as registry_tool lists them: a key's
    path; a value's path, name, type and bytes in hex, tab-separated."""
    lines = []
    for path, chunk in exported:
        lines.append(path)
        for value in chunk.split("\nValue: ")[1:]:
            head, *rest = value.split("\n")
            name = head.split(" ", 1)[1]
            kind = next(l for l in rest if l.startswith("Type: ")).rsplit("(", 1)[1].rstrip(")")
            data = "".join("".join(l[10:59].split()) for l in rest if l[8:10] == ": ")
            if kind == "REG_DWORD_LITTLE_ENDIAN" and not data:  # shown as a number
                number = next(l for l in rest if l.startswith("Data: "))[6:]
                data = int(number).to_bytes(4, "little").hex()
            lines.append("\t".join([path, "" if name == "(default)" else name,
                                    str(TYPES[kind]), data]))
    return lines


class Files(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.dir.name, "SYSTEM.DAT")

    def tearDown(self):
        self.dir.cleanup()

    def write(self, data):
        with open(self.path, "wb") as f:
            f.write(data)

    def read(self):
        with open(self.path, "rb") as f:
            return f.read()

    def test_trees_deleted_in_each_shape(self):
        files = [(name, system_dat.build(machine_keys(present, lower, root_values), shape),
                  TEN) for name, shape, present, lower, root_values in SHAPES]
        files.append(("written by Windows ME", real_file("winme_SYSTEM.DAT"), ME_TREES))
        for name, before, trees in files:
            with self.subTest(name):
                self.write(before)
                free = free_key_nodes(self.path)
                self.assertIsInstance(free, int)
                exported = cregexport(self.path)
                self.assertGreater(len(exported), 900)
                gone = [key for key in exported if within(key[0], trees)]
                done = run("delete", self.path, *trees)
                self.assertEqual(done.returncode, 0, done.stdout)
                after = self.read()
                self.assertEqual(len(after), len(before))
                # Every freed node is on the list, the old ones still reachable.
                self.assertEqual(free_key_nodes(self.path), free + len(gone))
                self.assertEqual(cregexport(self.path),
                                 [key for key in exported if not within(key[0], trees)])
                info = subprocess.run(["creginfo", self.path], capture_output=True, text=True)
                self.assertEqual((info.returncode, info.stderr), (0, ""))
                if not gone:
                    self.assertEqual(after, before)
                self.assert_style_kept(before, after)

    def test_listing_as_cregexport_reads_it(self):
        """The listing of every key and value (name, type, bytes), in
        cregexport's order, on the file Windows ME wrote and on a built one."""
        for name, data in [("written by Windows ME", real_file("winme_SYSTEM.DAT")),
                           ("95, checksums kept", system_dat.build(machine_keys(DEVICES),
                                                                   Shape("95", 40, True)))]:
            with self.subTest(name):
                self.write(data)
                listed = run("list", self.path)
                self.assertEqual(listed.returncode, 0, listed.stdout)
                self.assertEqual(listed.stdout.splitlines(), listing(cregexport(self.path)))

    def assert_style_kept(self, before, after):
        """A block with free records between used ones keeps them free; any
        other, when changed, ends in its one free record.  Its highest id
        stays (a high-water mark); its first free id is the lowest free."""
        for (at, size, old), (_, _, new) in zip(system_dat.blocks(before),
                                                 system_dat.blocks(after)):
            old_free = [(offset, length) for offset, length, node_id in old if node_id is None]
            free = [(offset, length) for offset, length, node_id in new if node_id is None]
            if any(sum(record) != at + size for record in old_free):
                self.assertLessEqual(set(offset for offset, _ in old_free),
                                     set(offset for offset, _ in free))
            elif new != old:
                self.assertEqual(len(free), 1)
                self.assertEqual(sum(free[0]), at + size)
            if new != old:
                used = set(node_id for _, _, node_id in new)
                self.assertEqual(struct.unpack_from("<HH", after, at + 0x14),
                                 (struct.unpack_from("<H", before, at + 0x14)[0],
                                  min(set(range(256)) - used)))

    def test_damaged_files_refused_unchanged(self):
        layout = {}
        keys = machine_keys(DEVICES)
        good = system_dat.build(keys, Shape("95", 40, True), layout)
        node = {path: 0x20 + offset for path, offset in layout["node"].items()}
        devices = [path for path, _ in keys if path.count("\\") == 2 and path.startswith("Enum\\PCI")]
        last_block, _, records = system_dat.blocks(good)[-1]
        first, second, free = records[0][0], records[1][0], records[-1][0]

        def patched(at, raw, renew=True):
            if isinstance(raw, int):
                raw = raw.to_bytes(4, "little")
            data = good[:at] + raw + good[at + len(raw):]
            return system_dat.with_checksums(data) if renew else data

        cases = [
            ("wrong checksum", patched(second + 30, b"\xAA", renew=False), "wrong checksum"),
            ("wrong checksum in the file header", patched(0x0C, b"\xAA", renew=False),
             "wrong checksum in its file header"),
            ("offset outside the file", patched(node["Enum\\PCI"] + 0x10,
                                                 0x7FFFFFF0),
             "outside its key node table"),
            ("loop in a sibling chain", patched(node[devices[-1]] + 0x14,
                                                 node[devices[0]] - 0x20),
             "loop"),
            ("record id found twice", patched(second + 4, good[first + 4:first + 6]),
             "record id found twice"),
            ("truncated block", good[:last_block + 100], "truncated data block"),
            # A key unhooked from its parent: its records are no key's.
            ("record no key refers to", patched(node["Enum\\PCI"] + 0x10,
                                                good[node[devices[0]] + 0x14:][:4]),
             "record that no key refers to"),
            ("free record list looping", patched(free + 8, free - last_block),
             "loop in its list of free records"),
            ("free record list at a used record", patched(last_block + 0x10, first - last_block),
             "broken list of free records"),
            ("free record off the list", patched(last_block + 0x10, 0xFFFFFFFF),
             "free record off its list"),
            # Found by fuzz_registry: "Enum\\PCI\\x" could name either.
            ("two subkeys of one name", system_dat.renamed(
                good, "Enum\\PCI\\VEN_8086&DEV_71100", "ven_8086&dev_7111"), "the same name"),
        ]
        for name, data, why in cases:
            with self.subTest(name):
                self.write(data)
                checked = run("check", self.path)
                self.assertEqual(checked.returncode, 1)
                self.assertIn(why, checked.stdout)
                self.assertEqual(run("delete", self.path, *TEN).returncode, 1)
                self.assertEqual(self.read(), data)


if __name__ == "__main__":
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
