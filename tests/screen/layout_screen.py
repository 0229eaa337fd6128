#!/usr/bin/python3
"""Windows laid out to fit, as a person sees them on an X server of its own
(Xvfb) under a window manager, driven by real clicks and keys (xdotool):

- a popup menu's separators are plain lines (no stray text drawn on them):
  the spelling popup over a misspelt word of the composer's body;
- a question whose caption is long (the range prompt of a 300-message
  mailbox) comes in a window wide enough for the caption.

Usage: layout_screen.py PROGRAM DATA_DIR OUT_DIR [--wm openbox] [--size 1600x1000]
Captures are saved as OUT_DIR/screen-layout-*.png.
"""
import os
import shutil
import subprocess
import sys
import time

from PIL import ImageChops

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import Failure, Session, main, wait_for  # noqa: E402

GET_EMAILS = (63, 22)  # in the main window
COMPOSE = (735, 56)
BODY = (300, 350)      # in the composer's window


def separators(img):
    """The rows of IMG that are a separator: one grey run over most of the width."""
    w, h = img.size
    px = img.convert('L').load()
    found = []
    for y in range(h):
        run = best = 0
        for x in range(1, w):
            run = run + 1 if px[x, y] == px[x - 1, y] and 120 < px[x, y] < 235 else 0
            best = max(best, run)
        if best >= w * 0.6:
            found.append(y)
    return found


class LayoutSession(Session):
    size = (1280, 800)

    def __init__(self, args):
        if args.size:
            self.size = tuple(int(v) for v in args.size.split('x'))
        super().__init__(args)
        self.env['XDG_DATA_HOME'] = os.path.join(self.folder, 'userdata')

    def client(self, wid):
        out = subprocess.run(['xwininfo', '-id', str(wid)], env=self.env, capture_output=True, text=True,
                             timeout=30).stdout
        vals = {}
        for line in out.splitlines():
            key, _, value = line.strip().partition(':')
            vals[key] = value.strip()
        return (int(vals['Absolute upper-left X']), int(vals['Absolute upper-left Y']), int(vals['Width']),
                int(vals['Height']))

    def click(self, wid, x, y, button=1):
        cx, cy, _, _ = self.client(wid)
        self.xdo('mousemove', '--sync', cx + x, cy + y)
        self.xdo('click', button)

    def start_program(self):
        dictionary = os.path.join(os.path.dirname(self.args.program), 'British.lxm')
        if not os.path.exists(dictionary):
            raise Failure('%s is missing: build the program target' % dictionary)
        shutil.copy(dictionary, self.folder)
        super().start_program()

    def check_popup_separators(self):
        composer = self.opens('layout-composer', lambda: self.click(self.main, *COMPOSE),
                              ['Send an HTML Email'], None, None)
        self.click(composer, *BODY)
        self.xdo('key', 'ctrl+a')
        self.xdo('key', 'BackSpace')
        self.xdo('type', '--delay', 40, 'Helo there ')
        time.sleep(1.0)
        box = (0, 0) + self.screen_size
        before = self.screen.grab(box)
        # The menu key with the caret in the misspelt word.
        self.xdo('key', 'ctrl+Home', 'Right')
        self.xdo('key', 'Menu')

        def popup():
            diff = ImageChops.difference(before, self.screen.grab(box)).convert('L').point(lambda v: 255 if v > 24 else 0)
            b = diff.getbbox()
            return b if b and b[2] - b[0] > 80 and b[3] - b[1] > 60 else None

        try:
            bbox = wait_for('the spelling popup', popup)
            time.sleep(0.3)
            bbox = popup()
        except Failure:
            path = self.save('layout-popup-FAILED', self.screen.grab(box))
            raise Failure('no popup menu over the misspelt word; see %s' % path)
        img = self.screen.grab(box).crop(bbox)
        self.save('layout-popup', img)
        self.xdo('key', 'Escape')
        rows = separators(img)
        if not rows:
            path = self.save('layout-popup-FAILED', img)
            raise Failure('the spelling popup shows no separator line; see %s' % path)
        px = img.convert('L').load()
        w, h = img.size
        for y in rows:
            ink = [x for x in range(2, w - 2) for yy in range(max(0, y - 5), min(h, y + 6)) if px[x, yy] < 110]
            if ink:
                path = self.save('layout-popup-FAILED', img)
                raise Failure('a separator of the popup (row %d) has text drawn on it at x=%d; see %s'
                              % (y, ink[0], path))
        print('ok: the popup\'s %d separator rows are plain lines' % len(rows))

    def check_wide_caption(self):
        """The 300-message range prompt's caption is whole: its window is at
        least as wide as the caption's text needs."""
        wid = self.opens('layout-range', lambda: self.click(self.main, *GET_EMAILS), ['300 Messages for'], None, None)
        title = self.name(wid)
        x, y, w, h = self.geometry(wid)
        self.xdo('key', 'Escape')
        wait_for('range prompt closed', lambda: wid not in self.windows())
        # Eight pixels a character in the title bar's bold font, at least.
        if w < 7 * len(title) + 100:
            raise Failure('the range prompt "%s" is %d pixels wide: its caption is cut' % (title, w))
        print('ok: the range prompt "%s" is %d pixels wide' % (title, w))

    def run(self):
        self.start_program()
        for check in (self.check_wide_caption, self.check_popup_separators):
            try:
                check()
            except Failure as e:
                self.failures.append(str(e))
                print('FAILED: ' + str(e))
                self.xdo('key', 'Escape')


def options(ap):
    ap.add_argument('--size', help='the screen size, e.g. 1600x1000')


if __name__ == '__main__':
    sys.exit(main(LayoutSession, options))
