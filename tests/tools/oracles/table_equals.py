#!/usr/bin/python3
# Compares what abonex-db exported with the table it came from, both read by independent
# readers: the table by Python's dbfread, a CSV file by Python's csv module, a vCard file by
# python3-vobject. Rows are compared in the table's record order (live records only).
#
#   table_equals.py csv TABLE FILE [--encoding E] [--separator S] [--table-encoding E]
#   table_equals.py vcard TABLE FILE [--table-encoding E]
#
# Prints "N rows equal" and exits 0, or prints the first difference and exits 1; exits 3 when
# a reader is not installed. A vCard row is equal when FN is the first field, the TELs are the
# non-empty phones (second and third fields), NOTE is the fourth field (absent when empty) and
# the card has a UID no other card of the file has.
import argparse
import csv
import io
import sys

try:
    from dbfread import DBF
except ImportError:
    sys.exit(3)

parser = argparse.ArgumentParser()
parser.add_argument("kind", choices=["csv", "vcard"])
parser.add_argument("table")
parser.add_argument("file")
parser.add_argument("--encoding", default="utf-8-sig")
parser.add_argument("--separator", default=",")
parser.add_argument("--table-encoding")
args = parser.parse_args()

kwargs = {"encoding": args.table_encoding} if args.table_encoding else {}
table = DBF(args.table, load=True, **kwargs)
rows = [[("" if r[n] is None else r[n]) for n in table.field_names] for r in table.records]


def differ(index, what, expected, found):
    print("row %d: %s: the table holds %r, the file %r" % (index + 1, what, expected, found))
    sys.exit(1)


if args.kind == "csv":
    with open(args.file, encoding=args.encoding, newline="") as f:
        lines = list(csv.reader(f, delimiter=args.separator))
    if lines[0] != table.field_names:
        differ(-1, "header", table.field_names, lines[0])
    lines = lines[1:]
    if len(lines) != len(rows):
        differ(len(rows), "row count", len(rows), len(lines))
    for i, (row, line) in enumerate(zip(rows, lines)):
        if [str(v) for v in row] != line:
            differ(i, "fields", row, line)
else:
    try:
        import vobject
    except ImportError:
        sys.exit(3)
    with open(args.file, encoding="utf-8", newline="") as f:
        cards = list(vobject.readComponents(f.read()))
    if len(cards) != len(rows):
        differ(len(rows), "card count", len(rows), len(cards))
    uids = set()
    for i, (row, card) in enumerate(zip(rows, cards)):
        name, phone1, phone2, comment = row[:4]
        if card.fn.value != name:
            differ(i, "FN", name, card.fn.value)
        tels = [t.value for t in card.contents.get("tel", [])]
        if tels != [p for p in (phone1, phone2) if p]:
            differ(i, "TEL", [phone1, phone2], tels)
        note = card.note.value if hasattr(card, "note") else ""
        if note != comment:
            differ(i, "NOTE", comment, note)
        uid = card.uid.value if hasattr(card, "uid") else ""
        if not uid.startswith("urn:uuid:") or uid in uids:
            differ(i, "UID (present, distinct)", "a UID of its own", uid)
        uids.add(uid)
print("%d rows equal" % len(rows))
