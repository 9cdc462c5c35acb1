#!/usr/bin/python3
"""Reference values for the decryption tests, from Python's hashlib and an RC4 written here.

usage:
  crypto_peer.py hashes FILE          FILE: one hex input a line; prints "<md5> <sha1>" a line
  crypto_peer.py rc4 FILE             FILE: "<key hex> <data hex>" a line; prints the data
                                      RC4-encrypted, a line each
  crypto_peer.py filepass PASSWORD SALT VERIFIER
                                      the body of an RC4 FILEPASS record (type 1, version 1.1) for
                                      the password (UTF-8 argument), salt and verifier (hex)
  crypto_peer.py keystream PASSWORD SALT LENGTH
                                      the key stream of a workbook stream encrypted with that
                                      password and salt, positions 0..LENGTH-1, re-keyed every
                                      1024 bytes, as hex
"""
import hashlib
import struct
import sys


def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 0xFF
        s[i], s[j] = s[j], s[i]
    i = j = 0
    out = bytearray()
    for b in data:
        i = (i + 1) & 0xFF
        j = (j + s[i]) & 0xFF
        s[i], s[j] = s[j], s[i]
        out.append(b ^ s[(s[i] + s[j]) & 0xFF])
    return bytes(out)


def derived_key(password, salt):
    h0 = hashlib.md5(password.encode("utf-16-le")).digest()
    return hashlib.md5((h0[:5] + salt) * 16).digest()


def block_key(derived, block):
    return hashlib.md5(derived[:5] + struct.pack("<I", block)).digest()


def main():
    mode = sys.argv[1]
    if mode == "hashes":
        for line in open(sys.argv[2]):
            data = bytes.fromhex(line.strip())
            print(hashlib.md5(data).hexdigest(), hashlib.sha1(data).hexdigest())
    elif mode == "rc4":
        for line in open(sys.argv[2]):
            key, data = line.split()
            print(rc4(bytes.fromhex(key), bytes.fromhex(data)).hex())
    elif mode == "filepass":
        password, salt, verifier = sys.argv[2], bytes.fromhex(sys.argv[3]), bytes.fromhex(sys.argv[4])
        key = block_key(derived_key(password, salt), 0)
        encrypted = rc4(key, verifier + hashlib.md5(verifier).digest())
        print((struct.pack("<HHH", 1, 1, 1) + salt + encrypted).hex())
    elif mode == "keystream":
        password, salt, length = sys.argv[2], bytes.fromhex(sys.argv[3]), int(sys.argv[4])
        derived = derived_key(password, salt)
        out = bytearray()
        for block in range((length + 1023) // 1024):
            out += rc4(block_key(derived, block), bytes(1024))
        print(out[:length].hex())
    else:
        sys.exit("unknown mode " + mode)


if __name__ == "__main__":
    main()
