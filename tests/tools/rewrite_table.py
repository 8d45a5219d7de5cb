#!/usr/bin/env python3
# Saves a dBASE table anew the way a spreadsheet's dBase filter does: the live records written
# again from the first place on, one of them left out and one new row added at the end, the
# language byte and the index flag cleared; the index file beside the table is left alone.
#
#   rewrite_table.py TABLE DROP_RECORD NEW_NAME
#
# DROP_RECORD counts from 1; NEW_NAME (UTF-8) is stored in code page 866 in the first field.
import struct
import sys

path, drop, name = sys.argv[1], int(sys.argv[2]), sys.argv[3]
with open(path, "rb") as table:
    data = table.read()
count, header_length, record_length = struct.unpack("<IHH", data[4:12])
records = [data[header_length + i * record_length: header_length + (i + 1) * record_length]
           for i in range(count)]
kept = [r for i, r in enumerate(records) if i + 1 != drop and r[:1] != b"*"]
kept.append(b" " + name.encode("cp866").ljust(record_length - 1, b" ")[: record_length - 1])
header = bytearray(data[:header_length])
header[4:8] = struct.pack("<I", len(kept))
header[28] = 0
header[29] = 0
with open(path, "wb") as table:
    table.write(bytes(header) + b"".join(kept) + b"\x1a")
