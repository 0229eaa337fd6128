#!/usr/bin/python3
"""Checks the CSV file of an unattended pull against what Python's poplib and
email packages make of the same mailbox. Prints the differences; exits 1 when
there are any. Usage: pull_oracle.py CSV PORT USER PASSWORD [tls CAFILE]"""
import csv
import email.header
import email.parser
import email.policy
import poplib
import re
import ssl
import sys

poplib._MAXLINE = 1 << 24
path, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
if len(sys.argv) > 5 and sys.argv[5] == "tls":
    p = poplib.POP3_SSL("127.0.0.1", port, context=ssl.create_default_context(cafile=sys.argv[6]))
else:
    p = poplib.POP3("127.0.0.1", port)
p.user(user)
p.pass_(password)


def decoded(value):
    if value is None:
        return ""
    return str(email.header.make_header(email.header.decode_header(value))).strip()


want = {}
sizes = {int(a): int(b) for a, b in (x.split() for x in p.list()[1])}
for n in range(1, p.stat()[0] + 1):
    lines = p.top(n, 40)[1]
    text = b"\r\n".join(lines).decode("latin-1")
    head = email.parser.BytesHeaderParser(policy=email.policy.compat32).parsebytes(b"\r\n".join(lines))
    m = re.search(r";\s*charset\s*=\s*[^;\s]+(;|\s)", text, re.I)
    charset = m.group(0).split("=", 1)[1].replace(";", "").replace('"', "").strip().lower() if m else ""
    want[n] = {
        "From": decoded(head["From"]).replace('"', ""),
        "To": decoded(head["To"]).replace('"', ""),
        "Subject": decoded(head["Subject"]),
        "OrgDate": head["Date"] or "",
        "Size": str(sizes[n]),
        "Charset": charset,
    }
p.quit()

problems = []
with open(path, newline="", encoding="utf-8") as f:
    rows = list(csv.DictReader(f))
if len(rows) != len(want):
    problems.append(f"{len(rows)} rows, {len(want)} messages")
for row in rows:
    n = int(row["MessageNo"])
    for key, value in want.get(n, {}).items():
        # The CSV turns double quotes into single ones.
        if row[key] != value.replace('"', "'"):
            problems.append(f"message {n} {key}: {row[key]!r} != {value!r}")
if problems:
    print("\n".join(problems[:20]))
sys.exit(1 if problems else 0)
