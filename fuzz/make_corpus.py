#!/usr/bin/env python3
"""Writes the named seeds of the fuzz targets (corpus/<target>/). The files are committed;
rerun this only to change the seeds. The corpus's other files (named by their SHA-1) are the
inputs a long run found, kept with `TARGET -merge=1 corpus/TARGET NEW_INPUTS`."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(here, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def archive(entries, gap=0, between=0, reverse=False, trailing=0):
    """entries: list of (data, size word)."""
    n = len(entries)
    head = b"TARC\x09\x02" + struct.pack("<H", n)
    body = bytearray(b"\x5a" * gap)
    start = 8 + 80 * n
    order = [0] + (list(range(n - 1, 0, -1)) if reverse else list(range(1, n)))
    offsets = [0] * n
    for i in order:
        offsets[i] = start + len(body)
        body += entries[i][0] + b"\xee" * between
    body += b"\x77" * trailing
    table = b"".join(bytes(range(i, i + 68)) + struct.pack("<III", len(d), w, offsets[i])
                     for i, (d, w) in enumerate(entries))
    return head + table + bytes(body)


def records(recs):
    out = bytes([len(recs)])
    for index, word, length in recs:
        out += struct.pack("<HII", index, word, length)
    return out


entries = [(bytes(range(40)), 0x100), (b"", 0x10), (b"\xab" * 100, 0x40000200)]
typical = archive(entries, gap=20, between=4, reverse=True, trailing=9)
put("fuzz_archive", "typical-no-records", records([]) + typical)
put("fuzz_archive", "typical-two-records", records([(2, 0x0004002C, 30), (0, 0x4000414C, 70)]) + typical)
put("fuzz_archive", "packed-one-record", records([(1, 7, 5)]) + archive(entries))
put("fuzz_archive", "huge-record", records([(0, 1, 0x7FFFFFF0)]) + archive(entries))
put("fuzz_archive", "no-entries", records([]) + b"TARC\x09\x02\x00\x00")
put("fuzz_archive", "data-inside-table", records([]) + typical[:8 + 76] + struct.pack("<I", 9) + typical[8 + 80:])
put("fuzz_archive", "cut-short", records([]) + typical[:-30])


def manifest(archives):
    out = struct.pack("<I", len(archives))
    for name, recs in archives:
        units = name.encode("utf-16-le") + b"\0\0"
        out += struct.pack("<I", len(units) // 2) + units + struct.pack("<I", len(recs))
        for r in recs:
            out += struct.pack("<IIII", *r)
    return out


put("fuzz_manifest", "empty", manifest([]))
put("fuzz_manifest", "two-archives", manifest([
    ("nativePC\\rom\\id\\hdd_install_msg.arc", [(13, 0x4040002C, 100, 0), (17, 0x4000414C, 20, 100)]),
    ("nativePC\\rom_pc\\id\\title.arc", [(0, 0x0004002C, 5, 2000)]),
]))
put("fuzz_manifest", "no-records", manifest([("nativePC\\a.arc", [])]))
put("fuzz_manifest", "truncated", manifest([("nativePC\\a.arc", [(1, 2, 3, 4)])])[:-3])

def fingerprints(items):
    out = b"KSFP" + struct.pack("<II", 1, len(items))
    for name, n, a, b, c in items:
        units = name.encode("utf-16-le") + b"\0\0"
        out += struct.pack("<I", len(units) // 2) + units + struct.pack("<IQQQ", n, a, b, c)
    return out


put("fuzz_fingerprints", "empty", fingerprints([]))
put("fuzz_fingerprints", "two", fingerprints([
    ("nativePC\\rom\\id\\hdd_install_msg.arc", 20, 0x1122334455667788, 1, 2),
    ("nativePC\\rom_pc\\id\\title.arc", 719, 0xcbf29ce484222325, 3, 4),
]))
put("fuzz_fingerprints", "same-name-twice", fingerprints([("a\\b.arc", 1, 1, 1, 1), ("a\\b.arc", 2, 2, 2, 2)]))
put("fuzz_fingerprints", "wrong-version", b"KSFP" + struct.pack("<II", 2, 0))

anchor = bytes([0x0F, 0x7E, 0x44, 0x24, 0x44, 0x6A, 0x11, 0x66, 0x0F, 0xD6, 0x46, 0x30])
code = bytes([0xB8, 0x11, 0x04, 0x00, 0x00, 0x90])
put("fuzz_anchor", "at-start", bytes([0, 0]) + anchor + b"\0" * 6 + code + b"\1" * 40)
put("fuzz_anchor", "near-end-small-buffer", bytes([2, 0]) + b"\x0f" * 50 + anchor + b"\0" * 12)
put("fuzz_anchor", "partial-then-anchor", bytes([5, 0]) + anchor[:7] + anchor + b"\0" * 30)
put("fuzz_anchor", "last-window-not-examined", bytes([3, 0]) + b"\x10" * 20 + anchor)
put("fuzz_anchor", "after-zero-lead", bytes([10, 0x49]) + b"\x90" * 16 + anchor + b"\0" * 24)
put("fuzz_anchor", "read-fails", bytes([0x31, 0x24]) + b"\x0f" * 64 + anchor + b"\0" * 24)
