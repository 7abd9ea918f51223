#!/usr/bin/python3
"""Independent reader and writer of .mbe files, written from the file-format table alone.

The tests run it with /usr/bin/python3 (python3-cryptography) to check that our files open here and that files
written here open with ours.

  mbe_reference.py encrypt PASSWORD SOURCE DEST [--version N] [--iterations N]
  mbe_reference.py decrypt PASSWORD SOURCE DEST
  mbe_reference.py legacy-encrypt PASSWORD SOURCE DEST --layout bare|prefixed

Exit status 0 on success; 1 with a message on standard error otherwise.
"""
import argparse
import hashlib
import hmac
import os
import struct
import sys

from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

MAGIC_V2 = b"QELTENC2"
MAGIC_V1 = b"QELTENC1"


def derive_keys(password, salt, iterations):
    derived = hashlib.pbkdf2_hmac("sha256", password.encode("utf-8"), salt, iterations, 64)
    return derived[:32], derived[32:]


def encrypt(password, source, dest, version, iterations):
    salt = os.urandom(16)
    iv = os.urandom(16)
    header = MAGIC_V2 + struct.pack("<HHHHI", version, len(salt), len(iv), 32, iterations)
    aes_key, mac_key = derive_keys(password, salt, iterations)
    with open(source, "rb") as f:
        plain = f.read()
    padder = padding.PKCS7(128).padder()
    padded = padder.update(plain) + padder.finalize()
    encryptor = Cipher(algorithms.AES(aes_key), modes.CBC(iv)).encryptor()
    ciphertext = encryptor.update(padded) + encryptor.finalize()
    mac = hmac.new(mac_key, header + salt + iv + ciphertext, hashlib.sha256).digest()
    with open(dest, "wb") as f:
        f.write(header + salt + iv + mac + ciphertext)


def decrypt(password, source, dest):
    with open(source, "rb") as f:
        data = f.read()
    if data[:8] != MAGIC_V2 or len(data) < 20:
        raise ValueError("not a second-generation file")
    _version, salt_len, iv_len, mac_len, iterations = struct.unpack("<HHHHI", data[8:20])
    if salt_len == 0 or iv_len == 0 or mac_len != 32 or iterations < 50000:
        raise ValueError("header out of bounds")
    pos = 20
    salt = data[pos:pos + salt_len]
    pos += salt_len
    iv = data[pos:pos + iv_len]
    pos += iv_len
    stored_mac = data[pos:pos + mac_len]
    pos += mac_len
    ciphertext = data[pos:]
    aes_key, mac_key = derive_keys(password, salt, iterations)
    mac = hmac.new(mac_key, data[:20] + salt + iv + ciphertext, hashlib.sha256).digest()
    if not hmac.compare_digest(mac, stored_mac):
        raise ValueError("MAC mismatch")
    decryptor = Cipher(algorithms.AES(aes_key), modes.CBC(iv)).decryptor()
    padded = decryptor.update(ciphertext) + decryptor.finalize()
    unpadder = padding.PKCS7(128).unpadder()
    plain = unpadder.update(padded) + unpadder.finalize()
    with open(dest, "wb") as f:
        f.write(plain)


def legacy_key(password):
    hex_digest = hashlib.sha256(password.encode("utf-8")).hexdigest()
    return hex_digest.encode("utf-16-le")[:32]


def legacy_encrypt(password, source, dest, layout):
    key = legacy_key(password)
    with open(source, "rb") as f:
        plain = f.read()
    payload = bytes(b ^ key[i % 32] for i, b in enumerate(plain))
    prefix = MAGIC_V1 if layout == "bare" else struct.pack("<i", 8) + MAGIC_V1
    with open(dest, "wb") as f:
        f.write(prefix + payload)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["encrypt", "decrypt", "legacy-encrypt"])
    parser.add_argument("password")
    parser.add_argument("source")
    parser.add_argument("dest")
    parser.add_argument("--version", type=int, default=2)
    parser.add_argument("--iterations", type=int, default=210000)
    parser.add_argument("--layout", choices=["bare", "prefixed"], default="bare")
    args = parser.parse_args()
    try:
        if args.command == "encrypt":
            encrypt(args.password, args.source, args.dest, args.version, args.iterations)
        elif args.command == "decrypt":
            decrypt(args.password, args.source, args.dest)
        else:
            legacy_encrypt(args.password, args.source, args.dest, args.layout)
    except (ValueError, OSError) as e:
        print("mbe_reference: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
