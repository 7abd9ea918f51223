#!/usr/bin/python3
"""What the engine tests check in the outputs, read independently of the engine.

  output_probe.py zip ARCHIVE
      one line per entry, in archive order: name|utf8 flag|method|zip64 extra|size, every entry read to its end
      (which checks its CRC); then "zip64-end" or "plain-end" for the end records
  output_probe.py manifest FOLDER
      SHA-256 of the folder manifest: "relative/path|size" + CR LF per file, sorted without regard to case
"""
import hashlib
import os
import struct
import sys
import zipfile


def has_zip64_extra(extra):
    pos = 0
    while pos + 4 <= len(extra):
        header_id, size = struct.unpack("<HH", extra[pos:pos + 4])
        if header_id == 0x0001:
            return True
        pos += 4 + size
    return False


def inspect_zip(path):
    with zipfile.ZipFile(path) as archive:
        for info in archive.infolist():
            with archive.open(info) as entry:
                while entry.read(1 << 20):
                    pass
            print("%s|%d|%d|%d|%d" % (info.filename, 1 if info.flag_bits & 0x800 else 0, info.compress_type,
                                      1 if has_zip64_extra(info.extra) else 0, info.file_size))
    with open(path, "rb") as f:
        f.seek(max(0, os.path.getsize(path) - 65536 - 100))
        tail = f.read()
    print("zip64-end" if b"PK\x06\x06" in tail else "plain-end")


def manifest_sha256(folder):
    lines = []
    for directory, _, files in os.walk(folder):
        for name in files:
            full = os.path.join(directory, name)
            lines.append("%s|%d" % (os.path.relpath(full, folder), os.path.getsize(full)))
    lines.sort(key=lambda line: (line.lower(), line))
    print(hashlib.sha256("".join(line + "\r\n" for line in lines).encode("utf-8")).hexdigest())


if __name__ == "__main__":
    if sys.argv[1] == "zip":
        inspect_zip(sys.argv[2])
    else:
        manifest_sha256(sys.argv[2])
