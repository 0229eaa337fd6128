#!/usr/bin/python3
"""Windows laid out to fit, as a person sees them on an X server of its own
(Xvfb) under a window manager, driven by real clicks and keys (xdotool):

- a popup menu's separators are plain lines (no stray text drawn on them):
  the spelling popup over a misspelt word of the composer's body;
- windows whose captions are long (the range prompt of a 300-message
  mailbox, the archiving options) are wide enough for them;
- the attachment dialog's file list shows a long name and its date whole.

Usage: layout_screen.py PROGRAM DATA_DIR OUT_DIR [--wm openbox] [--size 1600x1000]
Captures are saved as OUT_DIR/screen-layout-*.png.
"""
import os
import shutil
import subprocess
import sys
import time

from PIL import ImageFont

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import Failure, Session, main, wait_for  # noqa: E402

GET_EMAILS = (63, 22)  # in the main window
RECEIVED_FOLDER = (342, 89)
COMPOSE = (735, 56)
BODY = (300, 350)      # in the composer's window
ATTACH_ADD = (749, 365)
# The attachment dialog's file list starts right of its places (its texts
# after the file icons), in the program's font.
FILE_LIST_LEFT = 128
FONT, FONT_PIXELS = '/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf', 12
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


def text_lines(img, level=110):
    """(top, bottom) of each band of rows holding dark (text) pixels, below
    the dialog's top bar and list header (the first 60 rows)."""
    w, h = img.size
    px = img.convert('L').load()
    inked = [y for y in range(60, h) if any(px[x, y] < level for x in range(FILE_LIST_LEFT, w - 20))]
    bands = []
    for y in inked:
        if bands and y - bands[-1][1] <= 1:
            bands[-1][1] = y
        else:
            bands.append([y, y])
    return [b for b in bands if 6 <= b[1] - b[0] <= 20]


def runs(img, top, bottom, level=110, gap=12):
    """The texts of one line: runs of dark columns less than GAP apart."""
    w, _ = img.size
    px = img.convert('L').load()
    out = []
    for x in range(FILE_LIST_LEFT, w - 20):
        if any(px[x, y] < level for y in range(top, bottom + 1)):
            if out and x - out[-1][1] < gap:
                out[-1][1] = x
            else:
                out.append([x, x])
    return out


class LayoutSession(Session):
    click = Session.click_client

    size = (1280, 800)

    def __init__(self, args):
        if args.size:
            self.size = tuple(int(v) for v in args.size.split('x'))
        super().__init__(args)
        self.env['XDG_DATA_HOME'] = os.path.join(self.folder, 'userdata')
        # The file dialog keeps its last size in the settings: a run's own.
        self.env['XDG_CONFIG_HOME'] = os.path.join(self.folder, 'config')

    def start_program(self):
        dictionary = os.path.join(os.path.dirname(self.args.program), 'British.lxm')
        if not os.path.exists(dictionary):
            raise Failure('%s is missing: build the program target' % dictionary)
        shutil.copy(dictionary, self.folder)
        super().start_program()

    def composer(self):
        if not getattr(self, 'composer_wid', None):
            self.composer_wid = self.opens('layout-composer', lambda: self.click(self.main, *COMPOSE),
                                           ['Send an HTML Email'], None, None)
        return self.composer_wid

    def check_popup_separators(self):
        composer = self.composer()
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

    def check_file_dialog(self):
        """The attachment dialog, over a folder with a long file name, shows
        its detail list's columns whole."""
        long_name = 'Quarterly figures for the board, final revision with appendices.pdf'
        with open(os.path.join(self.folder, long_name), 'w') as f:
            f.write('x' * 5000)
        composer = self.composer()
        wid = self.opens('layout-attach', lambda: self.click(composer, *ATTACH_ADD), ['Add Attachment'], None, None)
        time.sleep(1.0)
        img = self.screen.grab(self.client(wid))
        self.save('layout-attach-open', img)
        self.xdo('key', 'Escape')
        wait_for('attachment dialog closed', lambda: wid not in self.windows())
        # The long name's line: the line whose first text is the widest; its
        # name and its date drawn whole (as wide as the font makes them).
        font = ImageFont.truetype(FONT, FONT_PIXELS)
        stamp = time.strftime('%d %b %Y %H:%M:%S', time.localtime(os.path.getmtime(os.path.join(self.folder, long_name))))
        lines = [runs(img, top, bottom) for top, bottom in text_lines(img)]
        lines = [l for l in lines if len(l) >= 3]
        if not lines:
            raise Failure('the attachment dialog lists no files')
        line = max(lines, key=lambda l: l[0][1] - l[0][0])
        for what, run, text in (('name', line[0], long_name), ('date', line[-1], stamp)):
            need = font.getlength(text) * 0.9
            if run[1] - run[0] < need:
                path = self.save('layout-attach-FAILED', img)
                raise Failure('the attachment dialog cuts the file\'s %s: %d pixels shown of about %d; see %s'
                              % (what, run[1] - run[0], need / 0.9, path))
        print('ok: the attachment dialog shows the long name and its date whole')

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

    def check_range_caption(self):
        # The range prompt of a 300-message mailbox.
        self.check_caption('layout-range', lambda: self.click(self.main, *GET_EMAILS), '300 Messages for')

    def check_archiving_caption(self):
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
        for check in (self.check_range_caption, self.check_archiving_caption, self.check_popup_separators,
                      self.check_file_dialog):
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
