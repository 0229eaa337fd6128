#!/usr/bin/python3
"""What Python's email package reads in a message file, as JSON on standard
output: the header names in order, the decoded Subject, From, To and Cc,
the longest physical header line, the
longest encoded line of any part's content, and every part with its content type, parameters, Content-ID,
X-File-ID, disposition, decoded file name, charset, transfer encoding,
defects and decoded payload (base64 of the bytes).
Usage: smtp_oracle.py MESSAGE_FILE"""
import base64
import email
import email.policy
import json
import sys

data = open(sys.argv[1], "rb").read()
raw = email.message_from_bytes(data, policy=email.policy.compat32)
msg = email.message_from_bytes(data, policy=email.policy.default)


def part_info(part):
    info = {
        "type": part.get_content_type(),
        "params": {k: v for k, v in (part.get_params() or [])[1:]},
        "cid": part.get("Content-ID"),
        "file_id": part.get("X-File-ID"),
        "disposition": part.get_content_disposition(),
        "filename": part.get_filename(),
        "charset": part.get_content_charset(),
        "cte": part.get("Content-Transfer-Encoding"),
        "defects": [type(d).__name__ for d in part.defects],
    }
    if not part.is_multipart():
        info["payload"] = base64.b64encode(part.get_payload(decode=True) or b"").decode()
    return info


print(json.dumps({
    "headers": [k for k, _ in raw.items()],
    "subject": str(msg["Subject"]),
    "from": str(msg["From"]),
    "to": str(msg["To"]),
    "cc": str(msg["Cc"]),
    "longest_header_line": max(len(line) for line in data.split(b"\r\n\r\n", 1)[0].split(b"\r\n")),
    "longest_content_line": max(len(line) for p in raw.walk() if not p.is_multipart()
                                for line in p.get_payload().splitlines() or [""]),
    "parts": [part_info(p) for p in msg.walk()],
}))
