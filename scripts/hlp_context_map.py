#!/usr/bin/env python3
"""Gives a WinHelp file made by halibut its context number map.

halibut records each topic name (\\cfg{winhelp-topic}) in the file's |CONTEXT tree but leaves
the context number map |CTXOMAP empty, so WinHelp(HELP_CONTEXT, n) finds no topic. This step
looks up the topic offset of each named topic and writes a new |CTXOMAP that maps the program's
help context numbers to those offsets.

Usage: hlp_context_map.py IN.HLP OUT.HLP NUMBER=TOPICNAME...

The new |CTXOMAP is appended as a fresh internal file at the end and the directory entry is
pointed at it; the old, empty one stays behind as unused bytes. Nothing else in the file moves,
so every other offset in it stays valid.

Layout facts relied on (all little-endian):
- file header: magic 0x00035F3F, directory offset, first free block, total file size;
- every internal file starts with a 9-byte header: the space it takes in the help file
  (header included), the size of its contents, a flags byte;
- the directory and |CONTEXT are B+ trees: after the file header, a 38-byte tree header
  (magic 0x293B, flags, page size, 16-byte structure text, then root page, level count and entry
  count among others), then fixed-size pages; a leaf page starts with an 8-byte header (unused
  bytes, entry count, previous page, next page), an index page with a 6-byte one whose last
  field is its leftmost child;
- directory leaf entries: zero-terminated name, 32-bit file offset;
- |CONTEXT leaf entries: 32-bit hash of the topic name, 32-bit topic offset;
- |CTXOMAP: 16-bit count, then per entry a 32-bit context number and a 32-bit topic offset.
"""

import os
import struct
import sys

FILE_MAGIC = 0x00035F3F
TREE_MAGIC = 0x293B
FILE_HEADER = 9
TREE_HEADER = 38


class HelpFileError(Exception):
    pass


def topic_name_hash(name):
    """The hash WinHelp files key |CONTEXT by: value = value * 43 + code of each character."""
    value = 0
    for ch in name.lower():
        if "a" <= ch <= "z":
            code = ord(ch) - ord("a") + 17
        elif "1" <= ch <= "9":
            code = ord(ch) - ord("0")
        elif ch == "0":
            code = 10
        elif ch == ".":
            code = 12
        elif ch == "_":
            code = 13
        else:
            # The codes of other characters are not known well enough to trust.
            raise HelpFileError(f"topic name {name!r}: use only letters, digits, '.' and '_'")
        value = (value * 43 + code) & 0xFFFFFFFF
    return value


def unpack(fmt, data, offset):
    try:
        return struct.unpack_from(fmt, data, offset)
    except struct.error:
        raise HelpFileError(f"truncated file: {struct.calcsize(fmt)} bytes at {offset}") from None


def internal_file(data, offset):
    """Start and end of an internal file's contents."""
    if offset < 16 or offset + FILE_HEADER > len(data):
        raise HelpFileError(f"internal file offset {offset} outside the file")
    _reserved, used, _flags = unpack("<iiB", data, offset)
    start = offset + FILE_HEADER
    if used < 0 or start + used > len(data):
        raise HelpFileError(f"internal file at {offset} runs past the end")
    return start, start + used


def tree_leaf_entries(data, offset, read_entry):
    """Every leaf entry of the B+ tree in the internal file at offset, in key order."""
    start, end = internal_file(data, offset)
    magic, _flags, page_size = unpack("<HHH", data, start)
    if magic != TREE_MAGIC:
        raise HelpFileError(f"no B+ tree at {offset}")
    root, _must_be_minus_one, pages, levels, count = unpack("<hhhhi", data, start + 26)
    first_page = start + TREE_HEADER

    def page_at(number):
        if not 0 <= number < pages:
            raise HelpFileError(f"tree at {offset}: page {number} out of range")
        page = first_page + number * page_size
        if page + page_size > end:
            raise HelpFileError(f"tree at {offset}: page {number} runs past the file")
        return page

    page = root
    for _ in range(levels - 1):
        page = unpack("<h", data, page_at(page) + 4)[0]
    entries = []
    seen = set()
    while page != -1:
        if page in seen:
            raise HelpFileError(f"tree at {offset}: leaf chain loops")
        seen.add(page)
        at = page_at(page)
        _unused, n, _previous, following = unpack("<Hhhh", data, at)
        pos = at + 8
        for _ in range(n):
            entry, pos = read_entry(data, pos)
            entries.append(entry)
        page = following
    if len(entries) != count:
        raise HelpFileError(f"tree at {offset}: {len(entries)} entries, header says {count}")
    return entries


def directory_entry(data, pos):
    name_end = data.find(b"\0", pos)
    if name_end < 0:
        raise HelpFileError("unterminated name in the directory")
    name = data[pos:name_end].decode("latin-1")
    return (name, unpack("<i", data, name_end + 1)[0], name_end + 1), name_end + 5


def context_entry(data, pos):
    hash_value, topic = unpack("<Ii", data, pos)
    return (hash_value, topic), pos + 8


def fill_context_map(data, mapping):
    """Returns the help file with |CTXOMAP mapping each context number to its topic."""
    magic, directory, _free, _size = unpack("<IiiI", data, 0)
    if magic != FILE_MAGIC:
        raise HelpFileError("not a WinHelp file")
    files = {name: (offset, slot)
             for name, offset, slot in tree_leaf_entries(data, directory, directory_entry)}
    for needed in ("|CONTEXT", "|CTXOMAP"):
        if needed not in files:
            raise HelpFileError(f"no {needed} in the file")
    topics = dict(tree_leaf_entries(data, files["|CONTEXT"][0], context_entry))

    records = b""
    for number, name in sorted(mapping.items()):
        hash_value = topic_name_hash(name)
        if hash_value not in topics:
            raise HelpFileError(f"no topic named {name!r} in the file")
        records += struct.pack("<ii", number, topics[hash_value])
    body = struct.pack("<H", len(mapping)) + records

    out = bytearray(data)
    new_offset = len(out)
    out += struct.pack("<iiB", FILE_HEADER + len(body), len(body), 0) + body
    struct.pack_into("<i", out, files["|CTXOMAP"][1], new_offset)
    struct.pack_into("<I", out, 12, len(out))
    return bytes(out)


def parse_mapping(args):
    mapping = {}
    for arg in args:
        number, sep, name = arg.partition("=")
        if not sep or not number.isdigit() or not name:
            raise HelpFileError(f"expected NUMBER=TOPICNAME, got {arg!r}")
        if int(number) in mapping:
            raise HelpFileError(f"context {number} given twice")
        mapping[int(number)] = name
    return mapping


def main(argv):
    if len(argv) < 4:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    try:
        mapping = parse_mapping(argv[3:])
        with open(argv[1], "rb") as f:
            data = f.read()
        result = fill_context_map(data, mapping)
    except (HelpFileError, OSError) as e:
        print(f"{argv[0]}: {argv[1]}: {e}", file=sys.stderr)
        return 1
    # Write beside the target and rename, so that a failed build never leaves half a file.
    temp = argv[2] + ".tmp"
    with open(temp, "wb") as f:
        f.write(result)
    os.replace(temp, argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
