#!/usr/bin/python3
"""Reads a message as the server received it with Python's email package and
checks what the composer sent: every "cid:" in the HTML has its image part
(Content-ID) inside the multipart/related that holds the HTML, the
attachments by file name and content, the HTML's character set and text, and
the priority and read-receipt headers.

Usage: sent_oracle.py MESSAGE CHARSET TEXT RECEIPT_TO ATTACHMENT... -- IMAGE...
(ATTACHMENT and IMAGE are paths of the files sent.) Prints the message's
structure, then OK or one line per fault."""
import email
import email.policy
import os
import re
import sys


def tree(part, depth=0):
    line = '  ' * depth + part.get_content_type()
    if part.get('Content-ID'):
        line += ' id=' + part['Content-ID']
    if part.get_filename():
        line += ' name=' + part.get_filename()
    if part.get_content_charset() and part.get_content_maintype() == 'text':
        line += ' charset=' + part.get_content_charset()
    out = [line]
    if part.is_multipart():
        for p in part.get_payload():
            out += tree(p, depth + 1)
    return out


def main():
    args = sys.argv[1:]
    path, charset, text, receipt = args[:4]
    sep = args.index('--')
    attachments, images = args[4:sep], args[sep + 1:]
    with open(path, 'rb') as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    print('\n'.join(tree(msg)))
    faults = []

    html_parts = [p for p in msg.walk() if p.get_content_type() == 'text/html']
    if len(html_parts) != 1:
        faults.append('%d HTML parts' % len(html_parts))
    else:
        html = html_parts[0]
        if (html.get_content_charset() or '').lower() != charset.lower():
            faults.append('HTML charset %s, not %s' % (html.get_content_charset(), charset))
        body = html.get_content()
        if text not in body:
            faults.append('the HTML does not read %r' % text)
        cids = re.findall(r'cid:([A-Za-z0-9]+)', body)
        if cids != ['IMAGE%d' % (n + 1) for n in range(len(images))]:
            faults.append('cid references %r' % cids)
        # The related part that holds the HTML holds the images.
        related = [p for p in msg.walk() if p.get_content_type() == 'multipart/related']
        if images and len(related) != 1:
            faults.append('%d multipart/related parts' % len(related))
        elif images:
            inside = list(related[0].walk())
            if html not in inside:
                faults.append('the HTML is not inside the related part')
            ids = {}
            for p in inside:
                if p.get('Content-ID'):
                    ids[p['Content-ID'].strip().strip('<>')] = p
            for n, path_ in enumerate(images, 1):
                part = ids.get('IMAGE%d' % n)
                if part is None:
                    faults.append('no part with Content-ID IMAGE%d (ids %r)' % (n, sorted(ids)))
                    continue
                with open(path_, 'rb') as f:
                    if part.get_payload(decode=True) != f.read():
                        faults.append('IMAGE%d does not hold %s' % (n, path_))

    got = {}
    for p in msg.walk():
        name = p.get_filename()
        if name and not p.get('Content-ID'):
            got[name] = p.get_payload(decode=True)
    want = {}
    for a in attachments:
        with open(a, 'rb') as f:
            want[os.path.basename(a)] = f.read()
    if got != want:
        faults.append('attachments %r, not %r' % (sorted(got), sorted(want)))

    if msg.get('X-Priority', '').strip() != '1' or msg.get('Priority', '').strip() != 'Urgent':
        faults.append('priority headers %r %r' % (msg.get('X-Priority'), msg.get('Priority')))
    if msg.get('Disposition-Notification-To', '').strip() != receipt:
        faults.append('Disposition-Notification-To %r' % msg.get('Disposition-Notification-To'))
    print('\n'.join(faults) if faults else 'OK')


if __name__ == '__main__':
    main()
