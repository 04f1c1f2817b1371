#!/usr/bin/python3
"""Compiles a readable string table into the binary "STR0" format.

Source: UTF-8 text, one entry per line as `identifier = text`. Blank lines and lines starting
with '#' are ignored. The text runs from after "= " to the end of the line; a text that must
keep leading or trailing spaces is written in double quotes, which are removed.

Output (little-endian): "STR0", the entry count (uint32), entries sorted by identifier
(int32 id, uint32 offset of the text from the start, uint32 length in UTF-16 code units),
then the texts in UTF-16LE without terminators.
"""

import argparse
import os
import re
import struct
import sys

LINE = re.compile(r"^\s*(-?\d+)\s*=(?: (.*))?$")


def fail(path, number, message):
    sys.exit(f"{path}:{number}: error: {message}")


def read_source(path):
    entries = {}
    with open(path, encoding="utf-8") as source:
        for number, raw in enumerate(source, 1):
            line = raw.rstrip("\r\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            match = LINE.match(line)
            if not match:
                fail(path, number, "expected 'identifier = text'")
            ident = int(match.group(1))
            if not -2**31 <= ident < 2**31:
                fail(path, number, f"identifier {ident} does not fit in 32 bits")
            text = match.group(2) or ""
            if len(text) >= 2 and text.startswith('"') and text.endswith('"'):
                text = text[1:-1]
            if not text:
                fail(path, number, f"identifier {ident} has no text")
            if ident in entries:
                fail(path, number, f"identifier {ident} appears twice")
            entries[ident] = text
    return entries


def build(entries):
    ids = sorted(entries)
    encoded = [entries[i].encode("utf-16-le") for i in ids]
    offset = 8 + 12 * len(ids)
    head = bytearray(b"STR0" + struct.pack("<I", len(ids)))
    for ident, text in zip(ids, encoded):
        head += struct.pack("<iII", ident, offset, len(text) // 2)
        offset += len(text)
    return bytes(head) + b"".join(encoded)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("source")
    parser.add_argument("output")
    parser.add_argument("--count", type=int, help="fail unless the table has this many entries")
    args = parser.parse_args()
    entries = read_source(args.source)
    if args.count is not None and len(entries) != args.count:
        sys.exit(f"{args.source}: error: {len(entries)} entries, expected {args.count}")
    data = build(entries)
    temporary = args.output + ".tmp"
    with open(temporary, "wb") as out:
        out.write(data)
    os.replace(temporary, args.output)


if __name__ == "__main__":
    main()
