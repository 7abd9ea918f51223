"""Writes a ZIP archive for the restore tests, including the damaged and hostile ones a normal writer refuses.

Usage: zip_fixture.py LAYOUT.json OUT.zip
LAYOUT: {"entries": [{"name": str, "hex": str, "symlink": bool, "stored": bool, "cp437": bool, "windows": bool,
                     "mode": int or null, "zeros": int, "declared_size": int or null}],
       # "zeros": that many zero bytes instead of "hex"; "declared_size": as below, for this entry
       "declared_size": int or null,   # claimed uncompressed size of every entry, in both headers
       "damage": null | "truncate" | "deflate" | "central-size" | "crc" | "uncounted" | "overlap"}
A NUL in a name is written as such (zipfile itself cuts names at a NUL). A "cp437" entry gets its name in code page
437 without the UTF-8 flag, as older writers stored names; a "windows" entry says it was made on DOS/Windows (where
"\\" separates a name's parts), the others say Unix. "mode" records Unix permission bits.
Damage of the central directory, each to the last entry: "central-size" sets its compressed size to 0, "crc"
changes its CRC, "uncounted" removes its record (counts and sizes of the end record adjusted, so only the entry's
local header remains, counted by nobody), "overlap" adds a record for a renamed copy pointing at the same data.
"""
import json
import struct
import sys
import zipfile

PLACEHOLDER = "\x01"


def write(layout, out):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
        for entry in layout["entries"]:
            name = entry["name"].replace("\0", PLACEHOLDER)
            if entry.get("cp437"):
                name = "\x03" * len(name.encode("cp437"))
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 1, 10, 0, 0))
            info.compress_type = zipfile.ZIP_STORED if entry.get("stored") else zipfile.ZIP_DEFLATED
            info.create_system = 0 if entry.get("windows") else 3
            if entry.get("mode") is not None:
                info.external_attr = (0o100000 | entry["mode"]) << 16
            if entry.get("symlink"):
                info.create_system = 3
                info.external_attr = 0o120777 << 16
            data = bytes(entry["zeros"]) if entry.get("zeros") else bytes.fromhex(entry["hex"])
            archive.writestr(info, data)


def patch(layout, out):
    data = bytearray(open(out, "rb").read())
    end = data.rfind(b"PK\x05\x06")
    count = struct.unpack_from("<H", data, end + 10)[0]
    pos = struct.unpack_from("<I", data, end + 16)[0]
    largest = None
    for entry in layout["entries"][:count]:
        name_len, extra_len, comment_len = struct.unpack_from("<HHH", data, pos + 28)
        local = struct.unpack_from("<I", data, pos + 42)[0]
        for name_at in (pos + 46, local + 30):
            data[name_at:name_at + name_len] = data[name_at:name_at + name_len].replace(b"\x01", b"\0")
            if entry.get("cp437"):
                data[name_at:name_at + name_len] = entry["name"].encode("cp437")
        if entry.get("cp437"):
            for flags_at in (pos + 8, local + 6):
                struct.pack_into("<H", data, flags_at, struct.unpack_from("<H", data, flags_at)[0] & ~0x800)
        declared = entry.get("declared_size")
        if declared is None:
            declared = layout.get("declared_size")
        if declared is not None:
            struct.pack_into("<I", data, pos + 24, declared)
            struct.pack_into("<I", data, local + 22, declared)
        compressed = struct.unpack_from("<I", data, pos + 20)[0]
        if largest is None or compressed > largest[1]:
            local_extra = struct.unpack_from("<H", data, local + 28)[0]
            largest = (local + 30 + name_len + local_extra, compressed)
        pos += 46 + name_len + extra_len + comment_len
    damage = layout.get("damage")
    if damage == "deflate":
        start, size = largest
        for i in range(start + size // 2, start + size // 2 + 32):
            data[i] ^= 0x5A
    if damage == "truncate":
        data = data[: len(data) // 2]
    if damage in ("central-size", "crc", "uncounted", "overlap"):
        data = damage_central(data, damage)
    open(out, "wb").write(bytes(data))


def damage_central(data, damage):
    end = data.rfind(b"PK\x05\x06")
    count, cd_size, cd_offset = struct.unpack_from("<HII", data, end + 10)
    pos, last = cd_offset, None
    for _ in range(count):
        name_len, extra_len, comment_len = struct.unpack_from("<HHH", data, pos + 28)
        last = (pos, 46 + name_len + extra_len + comment_len)
        pos += last[1]
    at, length = last
    if damage == "central-size":
        struct.pack_into("<I", data, at + 20, 0)
    elif damage == "crc":
        struct.pack_into("<I", data, at + 16, struct.unpack_from("<I", data, at + 16)[0] ^ 1)
    elif damage == "uncounted":
        del data[at:at + length]
        end -= length
        struct.pack_into("<HHI", data, end + 8, count - 1, count - 1, cd_size - length)
    elif damage == "overlap":
        record = bytearray(data[at:at + length])
        record[46] = ord("Z") if record[46] != ord("Z") else ord("Y")
        data[end:end] = record
        end += length
        struct.pack_into("<HHI", data, end + 8, count + 1, count + 1, cd_size + length)
    return data


if __name__ == "__main__":
    layout = json.load(open(sys.argv[1], encoding="utf-8"))
    write(layout, sys.argv[2])
    patch(layout, sys.argv[2])
