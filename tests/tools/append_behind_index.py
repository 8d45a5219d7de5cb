#!/usr/bin/env python3
# Appends rows to a dBASE table the way other dBASE software does: the records, the end mark and
# the header's record count, and nothing else; the index file beside the table is left alone.
#
#   append_behind_index.py TABLE NAME...
#
# Each row gets NAME (UTF-8 on the command line, code page 866 in the file) in its first field
# and blanks in the others.
import struct
import sys

path = sys.argv[1]
with open(path, "r+b") as table:
    header = table.read(32)
    count, header_length, record_length = struct.unpack("<IHH", header[4:12])
    at = header_length + count * record_length
    table.seek(at)
    for name in sys.argv[2:]:
        text = name.encode("cp866").ljust(record_length - 1, b" ")[: record_length - 1]
        table.write(b" " + text)
        count += 1
    table.write(b"\x1a")
    table.truncate()
    table.seek(4)
    table.write(struct.pack("<I", count))
