#!/usr/bin/env python3
"""Reference for bench/test: runs the records of a sqllogictest file with
Python's sqlite3 module (no ODBC) and compares the results as sqllogictest
does, so that wsql --test can be stated against it.

    slt_reference.py DATABASE FILE

Knows what the benchmark's file holds: "statement ok" and "query TYPES
nosort" records, values one per line. Prints "records N failed M"; exit
status 1 when a record failed.
"""
import sqlite3
import sys


def value(kind, v):
    if v is None:
        return "NULL"
    if kind == "I":
        return str(int(v))
    if kind == "R":
        return "%.3f" % float(v)
    text = str(v)
    return "(empty)" if text == "" else "".join("@" if c < " " else c for c in text)


def main():
    db = sqlite3.connect(sys.argv[1])
    with open(sys.argv[2], encoding="utf-8") as f:
        blocks = f.read().split("\n\n")
    records = failed = 0
    for block in blocks:
        lines = [l for l in block.split("\n") if l and not l.startswith("#")]
        if not lines:
            continue
        records += 1
        head = lines[0].split()
        if head[0] == "statement":
            db.execute("\n".join(lines[1:]))
            continue
        sep = lines.index("----")
        rows = db.execute("\n".join(lines[1:sep])).fetchall()
        got = [value(head[1][i], v) for row in rows for i, v in enumerate(row)]
        if got != lines[sep + 1:]:
            failed += 1
    print("records %d failed %d" % (records, failed))
    return 1 if failed else 0


sys.exit(main())
