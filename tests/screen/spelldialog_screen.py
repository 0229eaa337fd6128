#!/usr/bin/python3
"""The spelling dialog as a person uses it: a memo with a misspelling on an X
server of its own (Xvfb) with a window manager (openbox, which frames the
windows with a title bar) and a check over it.

First a whole-text check: the dialog must show in the frame buffer and in a
dump of the screen (xwd -root), beside the memo and not over the misspelt
word; a real click (xdotool) on its Change button replaces the word with the
first suggestion, and the check ends with the memo's text changed.

Then a check of a tall mail body with two misspellings, the dialog placed
under the word it asks about, at 1600x1000 and at 1280x800: the dialog, its
title bar and borders included, must leave each word in sight, the second
too, for which the dialog, already on the screen, moves.

Usage: spelldialog_screen.py DEMO_PROGRAM MAIN_DICTIONARY OUT_DIR [--wm WM]
Captures are saved as OUT_DIR/screen-spelldialog-*.png.
"""
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import Failure, Session, main, wait_for, xwd_root  # noqa: E402

# Places in the dialog's window (its client area).
CHANGE_BUTTON = (294, 46)
BEFORE = 'The quick brown fox jumsp over the lazy dog.\r\nIt was a sunny day.'
AFTER = 'The quick brown fox jumps over the lazy dog.\r\nIt was a sunny day.'
SIZES = [(1600, 1000), (1280, 800)]


class FramedScreen(Session):
    """A session on a screen of the size asked for, with a window manager
    that frames the windows (openbox unless --wm names another)."""
    size = (1280, 800)

    def __init__(self, args):
        args.wm = args.wm or 'openbox'
        if not shutil.which(args.wm):
            raise Failure(args.wm + ' is missing (tools/deps.sh installs it)')
        super().__init__(args)


class SpellDialogSession(FramedScreen):
    word_mode = False

    def start_program(self):
        self.out_file = os.path.join(self.folder, 'memo.txt')
        argv = [os.path.abspath(self.args.program), os.path.abspath(self.args.data), self.folder, self.out_file]
        self.program = self.spawn(argv + (['--word'] if self.word_mode else []), cwd=self.folder)
        self.memo = wait_for('the memo window', lambda: self.find_window('Pelliwox memo'))
        self.check_window(self.label('memo'), self.memo, ['Pelliwox memo'])

    def label(self, what):
        return 'spelldialog-' + what + ('-%dx%d' % self.size if self.word_mode else '')

    def outer(self, wid):
        """The window on the screen with the manager's frame around it (its
        inner area as xwininfo tells it: xdotool's position of a framed
        window is off by the frame)."""
        info = dict(re.findall(r'^\s*(Absolute upper-left X|Absolute upper-left Y|Width|Height):\s+(-?\d+)',
                               self.run_x(['xwininfo', '-id', str(wid)]), re.M))
        x, y = int(info['Absolute upper-left X']), int(info['Absolute upper-left Y'])
        w, h = int(info['Width']), int(info['Height'])
        out = self.run_x(['xprop', '-id', str(wid), '_NET_FRAME_EXTENTS'])
        m = re.search(r'=\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)', out)
        left, right, top, bottom = (int(v) for v in m.groups()) if m else (0, 0, 0, 0)
        return x - left, y - top, x + w + right, y + h + bottom

    def run_x(self, argv):
        return subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=30).stdout

    def run(self):
        self.start_program()
        dialog = wait_for('the spelling dialog', lambda: self.find_window('Spelling'))
        box, _ = self.check_window(self.label('dialog'), dialog, ['Spelling'])
        self.check_on_screen(self.label('dialog'), dialog)
        # Both windows together, as the screen shows them.
        mx, my, mw, mh = self.geometry(self.memo)
        x, y, w, h = box
        left, top = min(mx, x), min(my, y)
        both = (left, top, max(mx + mw, x + w) - left, max(my + mh, y + h) - top)
        self.save(self.label('with-memo'), xwd_root(self.display, both))
        if self.word_mode:
            self.word_in_sight(dialog, 0)
            first = self.outer(dialog)
            self.click(dialog, *CHANGE_BUTTON)
            # On to the second word: the dialog moves off it.
            wait_for('the dialog moved to the second word', lambda: self.outer(dialog) != first)
            wait_for('the dialog settled', lambda: self.settled(dialog))
            self.save(self.label('second'), xwd_root(self.display, (0, 0) + self.size))
            self.word_in_sight(dialog, 1)
        elif y < my + 40:
            # The word stays in sight: the dialog lies below the memo's text.
            raise Failure('the dialog at %r covers the memo\'s first line (memo at %r)' % (box, (mx, my, mw, mh)))
        if os.path.exists(self.out_file):
            raise Failure('the check ended before anything was chosen')

        self.click(dialog, *CHANGE_BUTTON)
        wait_for('the check to end', lambda: os.path.exists(self.out_file))
        with open(self.out_file, newline='') as f:
            text = f.read()
        if 'jumps over' not in text or 'jumsp' in text or 'sunyn' in text or (not self.word_mode and text != AFTER):
            raise Failure('after Change the memo holds %r (before: %r)' % (text, BEFORE))
        print('ok: Change made the memo read %r' % text[-len(AFTER):])
        wait_for('the dialog closed', lambda: dialog not in self.windows())
        self.save(self.label('after'), xwd_root(self.display, self.geometry(self.memo)))

    def settled(self, dialog):
        a = self.outer(dialog)
        time.sleep(0.1)
        return self.outer(dialog) == a

    def word_in_sight(self, dialog, n):
        with open(os.path.join(self.folder, 'word.txt')) as f:
            wl, wt, wr, wb = (int(v) for v in f.read().split('\n')[n].split())
        dl, dt, dr, db = self.outer(dialog)
        self.checked += 1
        if dl < wr and wl < dr and dt < wb and wt < db:
            path = self.save(self.label('covers-FAILED'), xwd_root(self.display, (0, 0) + self.size))
            raise Failure('at %dx%d the dialog (%d,%d)-(%d,%d), frame included, covers the word at (%d,%d)-(%d,%d); '
                          'see %s' % (self.size + (dl, dt, dr, db, wl, wt, wr, wb, path)))
        print('ok: at %dx%d the dialog (%d,%d)-(%d,%d) leaves the word at (%d,%d)-(%d,%d) in sight'
              % (self.size + (dl, dt, dr, db, wl, wt, wr, wb)))


def sessions():
    yield SpellDialogSession
    for size in SIZES:
        yield type('WordSession%dx%d' % size, (SpellDialogSession,), {'size': size, 'word_mode': True})


if __name__ == '__main__':
    sys.exit(max(main(s) for s in list(sessions())))
