#!/usr/bin/python3
"""A received page's toggle blocks as a person uses them: the real program on
an X server of its own fetches a message with an attachment after its HTML,
the viewer shows the page with the "Attachments" block closed, and a real
click on its label opens it: the attachment's line appears below the label,
on the block's linen background. The page runs no script; the block opens
all the same.

Usage: render_screen.py PROGRAM DATA_DIR OUT_DIR [--wm openbox]
"""
import base64
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import screen_test  # noqa: E402
from screen_test import Failure, Session, main, wait_for, xwd_root  # noqa: E402

TURQUOISE = (0x40, 0xE0, 0xD0)  # the labels' background
LINEN = (0xFA, 0xF0, 0xE6)      # an open block's background


def message(n):
    """An HTML message with a large heading and a PDF after it."""
    html = ('<html><body><h1 style="font-size:48px">Quarterly figures %d</h1>'
            '<p style="font-size:24px">The figures are attached.</p></body></html>' % n)
    pdf = base64.b64encode(b'%PDF-1.4\n' + bytes(range(256)) * 4 + b'\n%%EOF\n').decode()
    pdf = '\r\n'.join(pdf[i:i + 76] for i in range(0, len(pdf), 76))
    return ('From: Sender <sender@x.test>\r\nTo: tester@x.test\r\nSubject: Figures %d\r\n'
            'Date: Mon, 07 Dec 2026 10:00:00 +0000\r\nMessage-ID: <r%d@x.test>\r\nMIME-Version: 1.0\r\n'
            'Content-Type: multipart/mixed; boundary="b-%d"\r\n\r\n'
            '--b-%d\r\nContent-Type: text/html; charset=utf-8\r\n\r\n%s\r\n'
            '--b-%d\r\nContent-Type: application/pdf; name="figures.pdf"\r\n'
            'Content-Disposition: attachment; filename="figures.pdf"\r\nContent-Transfer-Encoding: base64\r\n\r\n'
            '%s\r\n--b-%d--\r\n' % (n, n, n, n, html, n, pdf, n))


screen_test.message = message


def near(p, colour, tolerance=3):
    return all(abs(a - b) <= tolerance for a, b in zip(p, colour))


def rows_of(img, colour):
    """The rows of IMG holding at least 20 pixels of COLOUR, with the middle
    column of those pixels in each."""
    w, h = img.size
    px = img.load()
    rows = {}
    for y in range(h):
        xs = [x for x in range(w) if near(px[x, y], colour)]
        if len(xs) >= 20:
            rows[y] = (xs[0] + xs[-1]) // 2
    return rows


def bands(rows):
    """Runs of consecutive rows: (first, last, middle column)."""
    out = []
    for y in sorted(rows):
        if out and y == out[-1][1] + 1:
            out[-1][1] = y
        else:
            out.append([y, y, rows[y]])
    return out


class RenderSession(Session):
    def run(self):
        self.start_program()
        m = self.main
        get_emails, viewer_button = (63, 22), (559, 90)
        wid = self.opens('viewer', lambda: (self.take_headers(m, get_emails), self.click(m, *viewer_button)),
                         ['Message'], None, None)
        self.check_page_shown('render', wid)
        x, y, w, h = self.geometry(wid)

        # The labels: "All Headers" at the top, "Attachments" below the body.
        def labels():
            found = bands(rows_of(self.screen.grab((x, y, w, h)), TURQUOISE))
            return found if len(found) >= 2 else None

        try:
            found = wait_for('the toggle labels', labels)
        except Failure:
            path = self.save('render-labels-FAILED', self.screen.grab((x, y, w, h)))
            raise Failure('the page shows fewer than two toggle labels; see %s' % path)
        first, last, column = found[-1]
        # What lies below the label, short of the viewer's button bar.
        below = (0, last + 1, w, min(h, last + 200))
        before = self.screen.grab((x, y, w, h))
        if len(rows_of(before.crop(below), LINEN)) > 0:
            path = self.save('render-open-FAILED', before)
            raise Failure('the Attachments block is open before any click; see %s' % path)
        self.save('render-closed', before)

        # On the screen's own coordinates, as the label was found there.
        self.xdo('mousemove', '--sync', x + column, y + (first + last) // 2)
        self.xdo('click', 1)

        def opened():
            img = self.screen.grab((x, y, w, h))
            return img if len(rows_of(img.crop(below), LINEN)) >= 5 else None

        try:
            after = wait_for('the Attachments block open', opened)
        except Failure:
            path = self.save('render-click-FAILED', self.screen.grab((x, y, w, h)))
            raise Failure('a click on "Toggle Attachments" opens nothing; see %s' % path)
        self.save('render-open', xwd_root(self.display, (x, y, w, h)))
        # The attachment's line: dark text on the linen below the label.
        text = after.crop(below).convert('L')
        if sum(1 for v in text.getdata() if v < 100) < 50:
            raise Failure('the open block shows no text')
        self.checked += 1
        print('ok: the Attachments block opens on a click')


if __name__ == '__main__':
    sys.exit(main(RenderSession))
