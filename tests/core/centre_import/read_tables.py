# SPDX-License-Identifier: GPL-3.0-or-later
"""Prints dBASE tables with dbfread, a reader independent of the converter's engine.

usage: read_tables.py DIR TABLE...

For each table: a line "# TABLE", a line of "NAME:TYPE:LENGTH" separated by tabs, then
one line per record with the values separated by tabs: texts as stored without the
blanks that pad them, logicals as T or F, an empty field as an empty text.
"""
import os
import sys

from dbfread import DBF


def find(directory, table):
    wanted = (table + ".dbf").lower()
    for name in os.listdir(directory):
        if name.lower() == wanted:
            return os.path.join(directory, name)
    raise SystemExit(f"no table {table} in {directory}")


def show(value):
    if value is None:
        return ""
    if value is True:
        return "T"
    if value is False:
        return "F"
    return str(value)


def main():
    out = open(sys.stdout.fileno(), "w", encoding="utf-8", newline="\n", closefd=False)
    directory = sys.argv[1]
    for table in sys.argv[2:]:
        dbf = DBF(find(directory, table), encoding="cp1252", char_decode_errors="strict")
        out.write(f"# {table}\n")
        out.write("\t".join(f"{f.name}:{f.type}:{f.length}" for f in dbf.fields) + "\n")
        for record in dbf:
            out.write("\t".join(show(v) for v in record.values()) + "\n")
    out.flush()


if __name__ == "__main__":
    main()
