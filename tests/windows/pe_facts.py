#!/usr/bin/env python3
"""Prints what tests/windows/check_exe.sh judges in a PE file, one fact a line.

  pe_facts.py EXE

  header MAGIC SUBSYSTEM SUBSYSTEM_VERSION OS_VERSION IMAGE_BASE
                                  e.g. "header 0x10b 2 4.0 4.0 0x400000"
  directory NAME RVA SIZE         each data directory that is present
  import DLL NAME                 an import by name
  import DLL #ORDINAL             an import by ordinal
  dialog ID STYLE                 each dialog template and its style
  bitmap ID HEADER_SIZE BITS      each bitmap: the size of its header and
                                  its bits per pixel
  icon ID png                     an icon image stored as PNG
  icon ID HEADER_SIZE BITS        any other icon image

Standard library only.  Exits with status 1 and a message when the file is
not a PE image it understands.
"""

import struct
import sys

DIRECTORIES = [
    "export", "import", "resource", "exception", "security", "relocation",
    "debug", "architecture", "global-pointer", "tls", "load-config",
    "bound-import", "iat", "delay-import", "clr", "reserved",
]
RT_BITMAP, RT_ICON, RT_DIALOG = 2, 3, 5


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        sections, optional_size = struct.unpack_from("<2xH12xH", data, pe + 4)
        opt = pe + 24
        self.magic = self.u16(opt)
        if self.magic == 0x10B:
            self.image_base = self.u32(opt + 28)
            self.thunk, self.ordinal_flag = 4, 1 << 31
            dirs = opt + 96
        elif self.magic == 0x20B:
            self.image_base = struct.unpack_from("<Q", data, opt + 24)[0]
            self.thunk, self.ordinal_flag = 8, 1 << 63
            dirs = opt + 112
        else:
            raise ValueError(f"unknown optional header magic {self.magic:#x}")
        self.os_version = "%d.%d" % struct.unpack_from("<HH", data, opt + 40)
        self.subsystem_version = "%d.%d" % struct.unpack_from("<HH", data, opt + 48)
        self.subsystem = self.u16(opt + 68)
        count = self.u32(dirs - 4)
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i)
                            for i in range(min(count, 16))]
        table = opt + optional_size
        self.sections = [struct.unpack_from("<8xIIII", data, table + 40 * i)
                         for i in range(sections)]

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        """The file offset of an RVA."""
        for vsize, vaddr, rsize, raw in self.sections:
            if vaddr <= rva < vaddr + max(vsize, rsize):
                return raw + rva - vaddr
        raise ValueError(f"RVA {rva:#x} is in no section")

    def string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("latin-1")

    def imports(self):
        rva, _ = self.directories[1]
        if rva == 0:
            return
        at = self.offset(rva)
        while True:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, at)
            if name == 0:
                return
            dll = self.string(name)
            thunks = self.offset(lookup or first)
            form = "<I" if self.thunk == 4 else "<Q"
            while (entry := struct.unpack_from(form, self.data, thunks)[0]) != 0:
                if entry & self.ordinal_flag:
                    yield dll, "#%d" % (entry & 0xFFFF)
                else:
                    yield dll, self.string((entry & 0x7FFFFFFF) + 2)  # past the hint
                thunks += self.thunk
            at += 20

    def resources(self):
        """(type, id, data) of every resource; names are given as strings."""
        rva, _ = self.directories[2]
        if rva == 0:
            return
        base = self.offset(rva)

        def entries(at):
            named, ids = struct.unpack_from("<12xHH", self.data, base + at)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)
                if key & 1 << 31:
                    at_name = base + (key & 0x7FFFFFFF)
                    length = self.u16(at_name)
                    key = self.data[at_name + 2:at_name + 2 + 2 * length].decode("utf-16-le")
                yield key, target

        for kind, types in entries(0):
            for ident, names in entries(types & 0x7FFFFFFF):
                for _, leaf in entries(names & 0x7FFFFFFF):
                    data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(data_rva)
                    yield kind, ident, self.data[start:start + size]


def dialog_style(template):
    if template[2:4] == b"\xff\xff":  # DLGTEMPLATEEX: version, signature, help id, ex style
        return struct.unpack_from("<I", template, 12)[0]
    return struct.unpack_from("<I", template, 0)[0]


def picture(data):
    """'png', or the header size and bits per pixel of a DIB."""
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        return "png"
    size = struct.unpack_from("<I", data, 0)[0]
    bits = struct.unpack_from("<H", data, 14 if size >= 40 else 10)[0]
    return f"{size} {bits}"


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: pe_facts.py EXE")
    try:
        with open(sys.argv[1], "rb") as f:
            image = Image(f.read())
        facts = [f"header {image.magic:#x} {image.subsystem} {image.subsystem_version} "
                 f"{image.os_version} {image.image_base:#x}"]
        for name, (rva, size) in zip(DIRECTORIES, image.directories):
            if rva or size:
                facts.append(f"directory {name} {rva:#x} {size:#x}")
        facts += [f"import {dll} {name}" for dll, name in image.imports()]
        for kind, ident, data in image.resources():
            if kind == RT_DIALOG:
                facts.append(f"dialog {ident} {dialog_style(data):#010x}")
            elif kind == RT_BITMAP:
                facts.append(f"bitmap {ident} {picture(data)}")
            elif kind == RT_ICON:
                facts.append(f"icon {ident} {picture(data)}")
    except (OSError, ValueError, struct.error) as e:
        sys.exit(f"pe_facts: {sys.argv[1]}: {e}")
    print("\n".join(facts))


if __name__ == "__main__":
    main()
