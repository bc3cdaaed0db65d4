#!/usr/bin/env python3
"""Writes sample/WINDOWS/SYSTEM.DAT: a small Windows 95 registry of the
project's own making (tests/posix/system_dat.py, the tests' builder), so that
the sample folder is a Windows 95 folder: `tamrix` reads its kind there
(VersionNumber 4.00.950: platform kind 1) and opens at the dialog, and Exit
has device keys to delete, those of an Intel 430TX board (its host bridge,
and the PIIX4's ISA bridge, USB and power management functions).

    scripts/sample_registry.py [OUT]     (default sample/WINDOWS/SYSTEM.DAT)

The same bytes every time; tests/posix/test_command_line.py checks that the
committed file is what this writes.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "posix"))
from registry_fixtures import machine_keys  # noqa: E402
from system_dat import Shape, build  # noqa: E402

BOARD = ["VEN_8086&DEV_7100", "VEN_8086&DEV_7110", "VEN_8086&DEV_7112", "VEN_8086&DEV_7113"]


def sample_system_dat():
    return build(machine_keys(BOARD, total=120), Shape("95", 40, True))


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "sample", "WINDOWS",
                                                              "SYSTEM.DAT")
    with open(out, "wb") as f:
        f.write(sample_system_dat())
