#!/usr/bin/env python3
"""What Python's email package reads in a message: one line per leaf part.

text <content-type> <hex of the UTF-8 text>
file <hex of the UTF-8 name, "-" when none> <hex of the bytes>

A part is a file when it has a name, says it is an attachment, or is no
plain or HTML text. Line breaks of text, and of files not in Base64, are
given as LF (the package gives LF for quoted-printable).
"""
import email
import sys
from email import policy


def main(path):
    with open(path, 'rb') as f:
        msg = email.message_from_binary_file(f, policy=policy.default)
    for part in msg.walk():
        if part.is_multipart():
            continue
        ctype = part.get_content_type()
        name = part.get_filename()
        if name or part.get_content_disposition() == 'attachment' or ctype not in ('text/plain', 'text/html'):
            data = part.get_payload(decode=True) or b''
            if part.get('content-transfer-encoding', '').strip().lower() != 'base64':
                data = data.replace(b'\r\n', b'\n')
            print('file', name.encode('utf-8').hex() if name else '-', data.hex() or '-')
        else:
            text = part.get_content().replace('\r\n', '\n')
            print('text', ctype, text.encode('utf-8').hex() or '-')


if __name__ == '__main__':
    main(sys.argv[1])
