#!/usr/bin/python3
"""Writes a table whose only entry points past the end of the resource."""
import struct
import sys

text = "fine".encode("utf-16-le")
blob = b"STR0" + struct.pack("<I", 1) + struct.pack("<iII", 1, 20, 1000) + text
with open(sys.argv[1], "wb") as out:
    out.write(blob)
