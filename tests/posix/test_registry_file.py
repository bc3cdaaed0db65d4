"""The registry file module (platform/posix/registry_file.h) on SYSTEM.DAT
files in the shapes Windows 95 and 98 write (tests/posix/system_dat.py),
driven by registry_tool: the ten device trees deleted, checked against
Debian's libcreg-utils (cregexport, creginfo) as an independent reader,
and damaged files refused unchanged.

Usage: REGISTRY_TOOL=path/to/registry_tool python3 test_registry_file.py
"""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import system_dat  # noqa: E402
from system_dat import BINARY, DWORD, STRING, Shape  # noqa: E402

TOOL = os.environ.get("REGISTRY_TOOL", "build/native/tests/posix/registry_tool")
ROOT = system_dat.ROOT_NAME

DEVICES = ["VEN_8086&DEV_7110", "VEN_8086&DEV_7100", "VEN_8086&DEV_7113", "VEN_8086&DEV_7180",
           "VEN_8086&DEV_7181", "VEN_8086&DEV_7112", "VEN_8086&DEV_7020", "VEN_1039&DEV_7001",
           "VEN_1039&DEV_5571", "VEN_1039&DEV_5597"]
TEN = ["Enum\\PCI\\" + device for device in DEVICES]
# PCI devices that stay: another function of the same chip, a longer id
# that starts with one of the ten, another maker's.
OTHERS = ["VEN_8086&DEV_7111", "VEN_8086&DEV_71100", "VEN_10EC&DEV_8029"]


def text(value):
    return (STRING, value.encode() + b"\0")


def machine_keys(present, lower=False, root_values=False, total=1000):
    """HKEY_LOCAL_MACHINE as Windows 95 keeps it, `total` keys: Config, Enum
    (Root, PCI with the devices `present` and OTHERS, each with an instance
    key or two), SOFTWARE with many file classes, System.  With `lower`, every
    other device key's name is in lower case."""
    keys = [("", {"Root": text("yes")})] if root_values else []
    keys += [("Config", {}), ("Config\\0001", {"FriendlyName": text("Original")}),
             ("Enum", {}), ("Enum\\Root", {}), ("Enum\\Root\\*PNP0C01", {}),
             ("Enum\\Root\\*PNP0C01\\0000", {"Class": text("System")}), ("Enum\\PCI", {})]
    for number, device in enumerate(sorted(present + OTHERS)):
        name = device.lower() if lower and number % 2 else device
        keys.append(("Enum\\PCI\\" + name, {}))
        for function in range(1 + number % 2):
            instance = "Enum\\PCI\\%s\\BUS_00&DEV_%02X&FUNC_%02d" % (name, 7 + number, function)
            keys.append((instance, {"Class": text("System"), "HardwareID": text("PCI\\" + device),
                                    "ConfigFlags": (BINARY, b"\0\0\0\0"),
                                    "Capabilities": (DWORD, b"\x14\0\0\0")}))
            keys.append((instance + "\\LogConf", {"BootConfig": (BINARY, bytes(range(40)))}))
    keys += [("Enum\\ISAPNP", {}), ("SOFTWARE", {}), ("SOFTWARE\\Microsoft", {}),
             ("SOFTWARE\\Microsoft\\Windows", {}),
             ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", {"VersionNumber": text("4.00.950")}),
             ("System", {}), ("System\\CurrentControlSet", {}), ("SOFTWARE\\Classes", {})]
    keys += [("SOFTWARE\\Classes\\.x%03d" % i, {"": text("file%d" % i)})
             for i in range(total - len(keys))]
    return keys


# (name, shape, devices present, lower-case names, root with a record)
SHAPES = [
    ("95, checksums kept", Shape("95", 40, True), DEVICES, False, False),
    ("98, free records between", Shape("98", 30, False), DEVICES, True, True),
    ("95, four of the ten", Shape("95", 20, False), DEVICES[2:6], True, False),
    ("98, checksums, none of the ten", Shape("98", 12, True), [], False, True),
]


def run(*args):
    return subprocess.run([TOOL] + list(args), capture_output=True, text=True)


def cregexport(path):
    """cregexport's output as one text per key (its values with it), by path
    below the root."""
    done = subprocess.run(["cregexport", path], capture_output=True, text=True)
    assert done.returncode == 0 and done.stderr == "", done.stderr
    keys = []
    for chunk in done.stdout.split("\nKey path: ")[1:]:
        path = chunk.split("\n", 1)[0]
        path = "" if path == ROOT else path[len(ROOT) + 1:] if path.startswith(ROOT + "\\") else path
        keys.append((path, chunk))
    return keys


def within(path, trees):
    return any(path.lower() == tree.lower() or path.lower().startswith(tree.lower() + "\\")
               for tree in trees)


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

    def test_ten_trees_deleted_in_each_shape(self):
        for name, shape, present, lower, root_values in SHAPES:
            with self.subTest(name):
                layout = {}
                keys = machine_keys(present, lower, root_values)
                before = system_dat.build(keys, shape, layout)
                self.write(before)
                self.assertEqual(run("check", self.path).stdout, "clean\n")
                self.assertGreater(len(set(number for path, (_, number) in layout["placed"].items()
                                           if path.startswith("Enum\\PCI\\"))), 1)
                exported = cregexport(self.path)
                self.assertEqual(len(exported), 1000 + (0 if root_values else 1))
                done = run("delete", self.path, *TEN)
                self.assertEqual(done.returncode, 0, done.stdout)
                after = self.read()
                self.assertEqual(len(after), len(before))
                self.assertEqual(run("check", self.path).stdout, "clean\n")
                self.assertEqual(cregexport(self.path),
                                 [key for key in exported if not within(key[0], TEN)])
                info = subprocess.run(["creginfo", self.path], capture_output=True, text=True)
                self.assertEqual((info.returncode, info.stderr), (0, ""))
                if not present:
                    self.assertEqual(after, before)
                self.assert_style_kept(shape, before, after)

    def assert_style_kept(self, shape, before, after):
        """95: each block's free space one record at its end; 98: no free
        record between used ones is lost."""
        for (at, size, old), (_, _, new) in zip(system_dat.blocks(before),
                                                 system_dat.blocks(after)):
            free = [(offset, length) for offset, length, node_id in new if node_id is None]
            if shape.style == "95":
                self.assertEqual(len(free), 1)
                self.assertEqual(sum(free[0]), at + size)
            else:
                kept = [offset for offset, _, node_id in old if node_id is None]
                self.assertTrue(set(kept) <= set(offset for offset, _ in free))

    def test_damaged_files_refused_unchanged(self):
        layout = {}
        keys = machine_keys(DEVICES)
        good = system_dat.build(keys, Shape("95", 40, True), layout)
        node = {path: 0x20 + offset for path, offset in layout["node"].items()}
        devices = [path for path, _ in keys if path.count("\\") == 2 and path.startswith("Enum\\PCI")]
        last_block, _, records = system_dat.blocks(good)[-1]
        first, second = records[0][0], records[1][0]

        def patched(at, raw, renew=True):
            data = good[:at] + raw + good[at + len(raw):]
            return system_dat.with_checksums(data) if renew else data

        cases = [
            ("wrong checksum", patched(second + 30, b"\xAA", renew=False), "wrong checksum"),
            ("offset outside the file", patched(node["Enum\\PCI"] + 0x10,
                                                 (0x7FFFFFF0).to_bytes(4, "little")),
             "outside its key node table"),
            ("loop in a sibling chain", patched(node[devices[-1]] + 0x14,
                                                 (node[devices[0]] - 0x20).to_bytes(4, "little")),
             "loop"),
            ("record id found twice", patched(second + 4, good[first + 4:first + 6]),
             "record id found twice"),
            ("truncated block", good[:last_block + 100], "truncated data block"),
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
