#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Prints a dBASE table as python3-dbfread (an independent reader) sees it.

Usage: dbf_dbfread_dump.py TABLE.DBF
Output (UTF-8): one header line, one line per field, one line per live record
with the values separated by " | " (None -> <null>, logicals T/F).
"""
import sys

from dbfread import DBF


def show(value):
    if value is None:
        return "<null>"
    if value is True:
        return "T"
    if value is False:
        return "F"
    return str(value)


def main():
    table = DBF(sys.argv[1], encoding="cp1252", char_decode_errors="strict", load=True)
    h = table.header
    print("version=0x%02X ldid=0x%02X mdx=%d records=%d live=%d deleted=%d"
          % (h.dbversion, h.language_driver, h.mdx_flag, h.numrecords, len(table.records),
             len(table.deleted)))
    for f in table.fields:
        print("field %s %s %d %d index=%d" % (f.name, f.type, f.length, f.decimal_count, f.index_field_flag))
    for record in table.records:
        print(" | ".join(show(v) for v in record.values()))


if __name__ == "__main__":
    sys.stdout.reconfigure(encoding="utf-8")
    main()
