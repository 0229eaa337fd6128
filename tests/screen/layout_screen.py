#!/usr/bin/python3
"""Windows laid out to fit, as a person sees them on an X server of its own
(Xvfb) under a window manager, driven by real clicks and keys (xdotool):

- a popup menu's separators are plain lines (no stray text drawn on them):
  the spelling popup over a misspelt word of the composer's body;
- windows whose captions are long (the range prompt of a 300-message
  mailbox, the archiving options) are wide enough for them.

Usage: layout_screen.py PROGRAM DATA_DIR OUT_DIR [--wm openbox] [--size 1600x1000]
Captures are saved as OUT_DIR/screen-layout-*.png.
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import Failure, Session, main, wait_for  # noqa: E402

GET_EMAILS = (63, 22)  # in the main window
RECEIVED_FOLDER = (342, 89)
COMPOSE = (735, 56)
BODY = (300, 350)      # in the composer's window
# The title bar's bold font takes 6.5 pixels a character at least; its
# icon, buttons and margins about 100.
TITLE_CHAR, TITLE_BUTTONS = 6.5, 100
# The popup's left margin, where its items' texts have not begun.
LEFT_MARGIN = 24


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
        time.sleep(1.5)
        before = self.windows()
        # The menu key with the caret in the misspelt word.
        self.xdo('key', 'ctrl+Home', 'Right')
        self.xdo('key', 'Menu')

        def popup():
            for w in self.windows() - before:
                try:
                    g = self.geometry(w)
                except (KeyError, ValueError):
                    continue
                if g[2] > 80 and g[3] > 60:
                    return g
            return None

        try:
            box = wait_for('the spelling popup', popup)
            time.sleep(0.5)
        except Failure:
            path = self.save('layout-popup-FAILED', self.screen.grab((0, 0) + self.screen_size))
            raise Failure('no popup menu over the misspelt word; see %s' % path)
        img = self.screen.grab(box)
        self.save('layout-popup', img)
        self.xdo('key', 'Escape')
        rows = separators(img)
        if not rows:
            path = self.save('layout-popup-FAILED', img)
            raise Failure('the spelling popup shows no separator line; see %s' % path)
        px = img.convert('L').load()
        w, h = img.size
        for y in rows:
            # Left of where the items' texts begin, on the separator's own rows.
            ink = [x for x in range(2, LEFT_MARGIN) for yy in range(max(0, y - 3), min(h, y + 4)) if px[x, yy] < 110]
            if ink:
                path = self.save('layout-popup-FAILED', img)
                raise Failure('a separator of the popup (row %d) has text drawn on it at x=%d; see %s'
                              % (y, ink[0], path))
        print('ok: the popup\'s %d separator rows are plain lines' % len(rows))

    def check_caption(self, label, action, title_part):
        """The window ACTION opens is wide enough for its whole caption in the
        title bar, beside the window manager's buttons."""
        wid = self.opens(label, action, [title_part], None, None)
        title = self.name(wid)
        x, y, w, h = self.geometry(wid)
        self.save(label + '-frame', self.screen.grab((max(0, x - 10), max(0, y - 40), w + 20, h + 50)))
        self.xdo('key', 'Escape')
        wait_for(label + ' closed', lambda: wid not in self.windows())
        if w < TITLE_CHAR * len(title) + TITLE_BUTTONS:
            raise Failure('"%s" is in a window %d pixels wide: its caption is cut' % (title, w))
        print('ok: "%s" in a window %d pixels wide' % (title, w))

    def check_wide_captions(self):
        # The range prompt of a 300-message mailbox.
        self.check_caption('layout-range', lambda: self.click(self.main, *GET_EMAILS), '300 Messages for')
        # The archiving options, over a received mail older than 30 days.
        rcvd = os.path.join(self.folder, 'rcvd', 'tester')
        os.makedirs(rcvd, exist_ok=True)
        old = os.path.join(rcvd, 'old.eml')
        with open(old, 'w') as f:
            f.write('Subject: old\r\n\r\nold\r\n')
        past = time.time() - 60 * 86400
        os.utime(old, (past, past))
        self.check_caption('layout-archiving', lambda: self.click(self.main, *RECEIVED_FOLDER, button=3),
                           'Options for Archiving')

    def run(self):
        self.start_program()
        for check in (self.check_wide_captions, self.check_popup_separators):
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
