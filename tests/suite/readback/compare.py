#!/usr/bin/env python3
# Reads wsql's csv and json of the readback table with Python's own parsers
# and checks each value against what the database's own client printed:
#   compare.py REFERENCE KIND OUT.csv OUT.json
# REFERENCE is psql's unaligned output (fields split by 0x1F, rows by 0x1E)
# when KIND is pg, the mariadb client's --xml output when KIND is mariadb,
# sqlite3's -json output when KIND is sqlite. Numbers of float columns must
# read back to the same double (a zero with its sign); every other value must
# be the same text; in JSON the numeric columns are numbers.
import csv, json, math, struct, sys
import xml.etree.ElementTree as ET

ref_path, kind, csv_path, json_path = sys.argv[1:5]
FLOAT = {"d": "d", "r": "f"}
TEXT = {"t", "v", "x"}  # the columns that are not numbers

class Number(str):
    """The text of a JSON number, told apart from a JSON string."""

def reference():
    if kind == "sqlite":
        rows = json.load(open(ref_path, encoding="utf-8"))
        names = list(rows[0])
        return names, [[None if r[n] is None else str(r[n]) for n in names] for r in rows]
    if kind == "pg":
        raw = open(ref_path, encoding="utf-8").read().removesuffix("\n")
        lines = raw.split("\x1e")
        names = lines[0].split("\x1f")
        # psql's NULL is the empty field of -A; an empty text is marked apart by
        # the query (see run.sh): a field of exactly \x01 is NULL.
        rows = [[None if v == "\x01" else v for v in l.split("\x1f")] for l in lines[1:] if l]
        return names, rows
    root = ET.parse(ref_path).getroot()
    rows, names = [], None
    for row in root.iter("row"):
        fields = row.findall("field")
        names = [f.get("name") for f in fields]
        nil = "{http://www.w3.org/2001/XMLSchema-instance}nil"
        rows.append([None if f.get(nil) == "true" else (f.text or "") for f in fields])
    return names, rows

def canonical(name, text):
    """The value as compared: a float column's number, bytes as hex digits."""
    if text is None:
        return None
    if name in FLOAT:
        v = struct.unpack(FLOAT[name], struct.pack(FLOAT[name], float(text)))[0]
        return (v, math.copysign(1, v))
    if name == "x":
        return text[2:].lower() if text[:2] in ("\\x", "0x") else text.lower()
    return text

names, ref = reference()
failures = []
def expect(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))

got_csv = list(csv.reader(open(csv_path, encoding="utf-8", newline="")))
expect("csv header", got_csv[0], names)
got_json = [json.loads(l, parse_float=Number, parse_int=Number)
            for l in open(json_path, encoding="utf-8").read().splitlines()]
expect("row count", (len(got_csv) - 1, len(got_json)), (len(ref), len(ref)))
for r, want_row in enumerate(ref):
    for c, name in enumerate(names):
        want = canonical(name, want_row[c])
        # csv: Python reads NULL and an empty value both as "".
        field = got_csv[r + 1][c] if r + 1 < len(got_csv) else "?"
        if field != "" or want not in (None, ""):
            expect("csv %s row %d" % (name, r + 1), canonical(name, field), want)
        value = got_json[r].get(name, "?") if r < len(got_json) else "?"
        expect("json %s row %d" % (name, r + 1), canonical(name, value), want)
        if want is not None:
            expect("json %s row %d is a number" % (name, r + 1), isinstance(value, Number), name not in TEXT)
if failures:
    print("\n".join(failures))
    sys.exit(1)
