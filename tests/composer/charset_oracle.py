#!/usr/bin/python3
"""Reads a message as the server received it with Python's email package and
tells, as JSON, what its HTML part says of its character set: the charset of
its Content-Type, the set its page declares in a META element, whether the
page decoded in that set holds TEXT, the subject, and the defects found.

Usage: charset_oracle.py MESSAGE TEXT"""
import email
import email.policy
import json
import re
import sys


def main():
    path, text = sys.argv[1], sys.argv[2]
    with open(path, 'rb') as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    html = [p for p in msg.walk() if p.get_content_type() == 'text/html']
    out = {'html_parts': len(html), 'subject': str(msg['Subject'] or ''),
           'defects': [type(d).__name__ for p in msg.walk() for d in p.defects]}
    if html:
        part = html[0]
        out['charset'] = part.get_content_charset() or ''
        raw = part.get_payload(decode=True)
        page = raw.decode(out['charset'] or 'ascii', errors='replace')
        # What a browser reads in the page itself.
        m = re.search(r'<meta[^>]*?charset\s*=\s*["\']?([-\w:.]+)', page, re.I)
        out['declared'] = m.group(1) if m else ''
        out['holds_text'] = text in page
        out['replaced'] = page.count('\ufffd')
    print(json.dumps(out))


if __name__ == '__main__':
    main()
