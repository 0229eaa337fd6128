#!/usr/bin/python3
"""Writes the rows dumped by the CSV benchmark with Python's csv writer and
prints the seconds the writing took. Usage: csv_python.py ROWS.bin OUT.csv"""
import csv
import struct
import sys
import time

data = open(sys.argv[1], "rb").read()
rows, row, pos = [], [], 0
while pos < len(data):
    (n,) = struct.unpack_from("<I", data, pos)
    row.append(data[pos + 4:pos + 4 + n].decode("utf-8", "surrogateescape"))
    pos += 4 + n
    if len(row) == 11:
        rows.append(row)
        row = []
header = "MessageNo,From,To,Subject,OrgDate,DateTime,Size,Firstlines,Matched,Attachment,Charset".split(",")
t0 = time.perf_counter()
with open(sys.argv[2], "w", newline="", encoding="utf-8", errors="surrogateescape") as f:
    w = csv.writer(f, lineterminator="\r\n")
    w.writerow(header)
    w.writerows(rows)
print(time.perf_counter() - t0)
