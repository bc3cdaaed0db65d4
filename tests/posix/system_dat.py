"""The tests' one SYSTEM.DAT builder: Windows 95/98 registry files ("CREG",
laid out as registry/registry_file.h describes) in the shapes those
systems write them.

    build(keys, shape)   keys: [(path, {value name: (type, bytes)})], parents
                         before their children; the root is "" and may be
                         among them with values of its own (it then gets a
                         record, as some files have).
    shape                a Shape: "95" (each block's free space one record at
                         its end, RGKN's free nodes one run at its end) or
                         "98" (free records between used ones on each
                         block's list, ids left free between used ones, the
                         highest id above the highest in use, single free
                         nodes among the used ones); how many records a
                         block holds; whether checksums are kept.
                         `layout`, a dict, receives each key's RGKN offset
                         ("node") and its (id, block) ("placed").
    blocks(data)         each RGDB block: (file offset, size, [(record offset,
                         size, id)]), id None for a free record.
    with_checksums(data) the file with every kept checksum made right, for
                         tests that damage a file on purpose.
    key_at(data, path)   the file offsets of a key's RGKN node and its record.
    renamed(data, path, name)
                         the file (a built one or one Windows wrote) with a
                         key renamed in place to a shorter name.
"""

import struct
from collections import namedtuple

Shape = namedtuple("Shape", "style per_block checksums")

STRING, BINARY, DWORD = 1, 3, 4
NONE = 0xFFFFFFFF
NODE = 28
ROOT_NAME = "$$$PROTO.HIV"  # the name of a root that has a record (creginfo's manual)
RGKN_FIRST_CHUNK, RGKN_CHUNK = 8192, 4096  # nodes never cross these (regutils' reader)


def name_hash(name):
    return sum(c for c in name.upper().encode("latin-1") if c < 0x80)


def node_offsets(count, free_between):
    """RGKN offsets for `count` nodes (and, with `free_between`, a free node
    after every seventh), none crossing a chunk; then where free space begins."""
    offsets, free, at, chunk_end = [], [], 0x20, RGKN_FIRST_CHUNK
    while len(offsets) < count:
        if at + NODE > chunk_end:
            at, chunk_end = chunk_end, chunk_end + RGKN_CHUNK
        if free_between and len(offsets) % 7 == 6 and (not free or free[-1] < offsets[-1]):
            free.append(at)
        else:
            offsets.append(at)
        at += NODE
    if at + NODE > chunk_end:
        at, chunk_end = chunk_end, chunk_end + RGKN_CHUNK
    return offsets, free, at, chunk_end


def record(node_id, block, name, values):
    body = name.encode("latin-1")
    for value_name, (value_type, data) in values.items():
        body += struct.pack("<IIHH", value_type, 0, len(value_name), len(data))
        body += value_name.encode("latin-1") + data
    return struct.pack("<IHHIHHI", 20 + len(body), node_id, block, 20 + len(body),
                       len(name.encode("latin-1")), len(values), 0) + body


def free_record(size, next_free=NONE):
    return struct.pack("<IHHIHHI", size, 0xFFFF, 0xFFFF, next_free, 0, 0, 0) + bytes(size - 20)


def rgdb_block(number, records, style, checksums):
    """records: [(id, bytes)] in file order.  Its free records form a list
    from the header through each one's link, the last in the file first (as
    Windows ME lists the newest first); on 98 the highest id stands above
    the highest in use, a high-water mark."""
    ids = [i for i, _ in records]
    pieces = []  # (offset in the block, bytes of a used record, or the size of a free one)
    at = 32
    for index, (_, data) in enumerate(records):
        if style == "98" and index % 5 == 2:  # a record freed earlier, left in place
            pieces.append((at, 40))
            at += 40
        pieces.append((at, data))
        at += len(data)
    size = (at + 20 + 4095) & ~4095  # whole 4 KiB, room for the free record
    pieces.append((at, size - at))
    free = [offset for offset, piece in pieces if isinstance(piece, int)]
    after = dict(zip(free[1:], free))  # each free record's link: the one before it
    body = b"".join(piece if isinstance(piece, bytes) else
                    free_record(piece, after.get(offset, NONE)) for offset, piece in pieces)
    unused = sum(piece for _, piece in pieces if isinstance(piece, int))
    first_free = min(set(range(256)) - set(ids))
    highest = min(254, max(ids) + 3) if style == "98" else max(ids)
    flags = 0x0D if checksums else 0x09
    header = b"RGDB" + struct.pack("<IIHHIHHII", size, unused, flags, number, free[-1], highest,
                                   first_free, 0, 0)
    return header + body


def build(keys, shape, layout=None):
    paths = [path for path, _ in keys]
    values = dict(keys)
    if "" not in values:
        paths.insert(0, "")
    offsets, free_nodes, free_at, rgkn_size = node_offsets(len(paths), shape.style == "98")
    node = dict(zip(paths, offsets))
    parent = {path: path.rpartition("\\")[0] for path in paths if path}
    children = {path: [p for p in paths if p and parent[p] == path] for path in paths}

    # Records: in the order of the keys, `per_block` to a block; on 98 every
    # fourth id stays free.
    placed, blocks = {}, []
    for path in paths:
        if path == "" and "" not in values:
            continue
        if not blocks or len(blocks[-1]) == shape.per_block:
            blocks.append([])
        number, block = len(blocks) - 1, blocks[-1]
        node_id = len(block) + (len(block) // 3 if shape.style == "98" else 0)
        name = path.rpartition("\\")[2] if path else ROOT_NAME
        block.append((node_id, record(node_id, number, name, values[path])))
        placed[path] = (node_id, number)

    rgkn = bytearray(rgkn_size)
    rgkn[0:32] = b"RGKN" + struct.pack("<IIIIIII", rgkn_size, node[""], free_nodes[0]
                                       if free_nodes else free_at,
                                       0x0D if shape.checksums else 0x09, 0, 0, 0)
    for path in paths:
        siblings = children[parent[path]] if path else [path]
        later = siblings[siblings.index(path) + 1:]
        node_id, number = placed.get(path, (0xFFFF, 0xFFFF))
        struct.pack_into("<IIIIIIHH", rgkn, node[path], 0, name_hash(path.rpartition("\\")[2]),
                         NONE, node[parent[path]] if path else NONE,
                         node[children[path][0]] if children[path] else NONE,
                         node[later[0]] if later else NONE, node_id, number)
    chain = free_nodes + [free_at]
    for here, following in zip(chain, chain[1:] + [NONE]):
        run = rgkn_size - here if here == free_at else NODE
        struct.pack_into("<IIIIIIHH", rgkn, here, 0x80000000, run, following, NONE, NONE, NONE,
                         0xFFFF, 0xFFFF)

    rgdb = b"".join(rgdb_block(n, block, shape.style, shape.checksums)
                    for n, block in enumerate(blocks))
    header = b"CREG" + struct.pack("<IIIHHIII", 0x00010000, 0x20 + rgkn_size, 0, len(blocks),
                                   0x04 if shape.checksums else 0, 0x10000, 0, 0)
    if layout is not None:
        layout.update(node=node, placed=placed)
    return with_checksums(header + bytes(rgkn) + rgdb)


def with_checksums(data):
    """`data` with the checksum of each structure whose flags keep one
    (bit 0x4) set so that its 32-bit words add up to zero."""
    data = bytearray(data)

    def renew(at, size, flags, field):
        if flags & 4:
            struct.pack_into("<I", data, at + field, 0)
            total = sum(struct.unpack_from("<%dI" % (size // 4), data, at))
            struct.pack_into("<I", data, at + field, -total & 0xFFFFFFFF)

    renew(0, 32, struct.unpack_from("<H", data, 0x12)[0], 0x0C)
    rgkn_size = struct.unpack_from("<I", data, 0x24)[0]
    renew(0x20, rgkn_size, struct.unpack_from("<I", data, 0x30)[0], 0x14)
    at = 0x20 + rgkn_size
    while at + 32 <= len(data) and data[at:at + 4] == b"RGDB":
        size = struct.unpack_from("<I", data, at + 4)[0]
        if at + size > len(data):
            break
        renew(at, size, struct.unpack_from("<H", data, at + 0x0C)[0], 0x1C)
        at += size
    return bytes(data)


def blocks(data):
    found, at = [], 0x20 + struct.unpack_from("<I", data, 0x24)[0]
    for _ in range(struct.unpack_from("<H", data, 0x10)[0]):
        size, records, here = struct.unpack_from("<I", data, at + 4)[0], [], at + 32
        while here < at + size:
            record_size, node_id = struct.unpack_from("<IH", data, here)
            records.append((here, record_size, None if node_id == 0xFFFF else node_id))
            here += record_size
        found.append((at, size, records))
        at += size
    return found


def key_at(data, path):
    """The file offsets of the RGKN node and of the record of the key at
    `path` below the root (names compared without regard to case)."""
    records = {(number, node_id): offset for number, (_, _, found) in enumerate(blocks(data))
               for offset, _, node_id in found if node_id is not None}
    node = struct.unpack_from("<I", data, 0x28)[0]
    for name in path.split("\\"):
        child = struct.unpack_from("<I", data, 0x20 + node + 0x10)[0]
        while child != NONE:
            node_id, number = struct.unpack_from("<HH", data, 0x20 + child + 0x18)
            at = records.get((number, node_id))
            length = struct.unpack_from("<H", data, at + 12)[0] if at else 0
            if at and data[at + 20:at + 20 + length].decode("latin-1").upper() == name.upper():
                break
            child = struct.unpack_from("<I", data, 0x20 + child + 0x14)[0]
        assert child != NONE, "no key " + path
        node = child
    return 0x20 + node, records[struct.unpack_from("<HH", data, 0x20 + node + 0x18)[::-1]]


def renamed(data, path, name):
    """`data` with the key at `path` renamed in place to `name`, shorter:
    the values move down over the rest of the old name, the record keeps
    its size with the freed bytes as slack at its end, its bytes in use
    drop, and the node gets the new name's hash."""
    node, record = key_at(data, path)
    used, old_length = struct.unpack_from("<IH", data, record + 8)
    new = name.encode("latin-1")
    cut = old_length - len(new)
    assert cut > 0, "the new name must be shorter"
    data = bytearray(data)
    values = data[record + 20 + old_length:record + used]
    data[record + 20:record + used] = new + values + bytes(cut)
    struct.pack_into("<IH", data, record + 8, used - cut, len(new))
    struct.pack_into("<I", data, node + 4, name_hash(name))
    return with_checksums(bytes(data))
