"""The registries of the end-to-end tests: HKEY_LOCAL_MACHINE's keys as
Windows 95 keeps them, for system_dat.build; the real files Windows ME wrote
(tests/data/registry); and Debian's libcreg-utils (cregexport) as a reader
independent of Tamrix."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from system_dat import BINARY, DWORD, ROOT_NAME as ROOT, STRING  # noqa: E402

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "registry")

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


def real_file(name):
    with open(os.path.join(DATA, name), "rb") as f:
        return f.read()


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
