#!/usr/bin/python3
"""Live spelling as a person sees it: the real program on an X server of its
own (Xvfb), with its shipped dictionary, driven by real keys (xdotool). In
the composer's body, misspelt words typed get a red wavy underline in the
frame buffer and in a dump of the screen (xwd -root); a misspelt word being
typed has none until the space after it.

Usage: livespell_screen.py PROGRAM DATA_DIR OUT_DIR
Captures are saved as OUT_DIR/screen-livespell*.png.
"""
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import Failure, Session, main, wait_for, xwd_root  # noqa: E402

COMPOSE = (735, 56)  # in the main window
BODY = (300, 350)    # in the composer's window


def red(img):
    """Pixels of the underline's red (a thin wave: smoothed edges count)."""
    return sum(1 for p in img.convert('RGB').getdata() if p[0] >= 150 and p[0] - max(p[1], p[2]) >= 80)


class LiveSpellSession(Session):
    def __init__(self, args):
        super().__init__(args)
        # The dictionary goes into the per-user folder: a folder of the test's own.
        self.env['XDG_DATA_HOME'] = os.path.join(self.folder, 'userdata')

    def start_program(self):
        dictionary = os.path.join(os.path.dirname(self.args.program), 'British.lxm')
        if not os.path.exists(dictionary):
            raise Failure('%s is missing: build the british_lxm target' % dictionary)
        shutil.copy(dictionary, self.folder)
        super().start_program()

    def run(self):
        self.start_program()
        composer = self.opens('livespell-composer', lambda: self.click(self.main, *COMPOSE),
                              ['Send an HTML Email'], None, None)
        self.check_on_screen('livespell-composer', composer)
        box = self.geometry(composer)
        self.click(composer, *BODY)
        self.xdo('key', 'ctrl+a')
        self.xdo('key', 'BackSpace')
        time.sleep(0.3)
        before = red(self.screen.grab(box))

        # A misspelt word without the space after it: no mark yet.
        self.xdo('type', '--delay', 40, 'Helo wrold')
        try:
            wait_for('the first word marked', lambda: red(self.screen.grab(box)) >= before + 15)
        except Failure:
            path = self.save('livespell-FAILED', self.screen.grab(box))
            raise Failure('the first misspelt word got no underline; see %s' % path)
        time.sleep(0.5)
        one = red(self.screen.grab(box))
        # The space ends the word: now it is marked too.
        self.xdo('type', '--delay', 40, ' ')
        try:
            wait_for('the second word marked', lambda: red(self.screen.grab(box)) >= one + 15)
        except Failure:
            path = self.save('livespell-FAILED', self.screen.grab(box))
            raise Failure('the word before the space got no underline; see %s' % path)
        print('ok: "Helo" marked while "wrold" was typed (%d red pixels), "wrold" after the space' % (one - before))

        self.xdo('type', '--delay', 40, 'this sentense has a few misteaks in it. ')
        wait_for('every misspelling marked', lambda: red(self.screen.grab(box)) >= one + 60)
        dumped = xwd_root(self.display, box)
        self.save('livespell', dumped)
        if red(dumped) < one + 60:
            raise Failure('the underlines are missing from a dump of the screen')
        print('ok: the underlines show in a dump of the screen (%d red pixels)' % red(dumped))


if __name__ == '__main__':
    sys.exit(main(LiveSpellSession))
