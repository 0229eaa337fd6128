#!/usr/bin/python3
"""The thesaurus as a person uses it: the real program on an X server of its
own (Xvfb), driven by real clicks and keys (xdotool). In the composer's body
a word is typed and selected; Ctrl+T opens the thesaurus dialog on it. The
dialog must show in the frame buffer and in a dump of the screen (xwd -root)
with its lists of meanings and words filled; a word clicked in the list and
Replace close it.

Usage: thesaurus_screen.py PROGRAM DATA_DIR OUT_DIR
The thesaurus file (syntaro-uk.lxt) is taken from the program's folder.
Captures are saved as OUT_DIR/screen-thesaurus-*.png.
"""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import Failure, Session, darker_pixels, main, wait_for, xwd_root  # noqa: E402

# Places in the composer's window.
COMPOSE = (735, 56)  # in the main window
BODY = (300, 350)
FIRST_LINE = (2, 200, 300, 20)  # the body's first line of text
# Places in the dialog's window (its client area, 361 x 211).
CONTEXTS = (8, 72, 161, 105)
WORDS = (192, 48, 162, 129)
SECOND_WORD = (240, 48 + 26)
REPLACE = (229, 195)


def marked_pixels(img):
    """Pixels of text or selection on a list's white background (inside its
    frame): none in an empty list."""
    w, h = img.size
    inner = img.crop((3, 3, w - 3, h - 3)).convert('L')
    return sum(1 for v in inner.getdata() if v < 200)


class ThesaurusSession(Session):
    def __init__(self, args):
        super().__init__(args)
        self.env['XDG_DATA_HOME'] = os.path.join(self.folder, 'userdata')

    def start_program(self):
        lxt = os.path.join(os.path.dirname(os.path.abspath(self.args.program)), 'syntaro-uk.lxt')
        if not os.path.exists(lxt):
            raise Failure(lxt + ' is missing: the build makes it')
        shutil.copy(lxt, self.folder)
        super().start_program()

    def lists_filled(self, wid):
        """Both lists show rows of text, in the frame buffer and in a dump."""
        x, y, _, _ = self.geometry(wid)
        for name, (lx, ly, lw, lh) in (('contexts', CONTEXTS), ('words', WORDS)):
            box = (x + lx, y + ly, lw, lh)
            try:
                wait_for('the %s list filled' % name, lambda: marked_pixels(self.screen.grab(box)) >= 300)
            except Failure:
                path = self.save('thesaurus-%s-FAILED' % name, self.screen.grab(box))
                raise Failure('the %s list shows no words; see %s' % (name, path))
            if marked_pixels(xwd_root(self.display, box)) < 300:
                raise Failure('the %s list is empty in a dump of the screen' % name)
            print('ok: the %s list is filled' % name)

    def run(self):
        self.start_program()
        composer = self.opens('thesaurus-composer', lambda: self.click(self.main, *COMPOSE),
                              ['Send an HTML Email'], None, None)
        self.click(composer, *BODY)
        self.xdo('key', 'ctrl+a')
        self.xdo('type', '--delay', 20, 'A quick reply')
        # The word before the last one selected: Ctrl+Left twice, then Shift+Ctrl+Right.
        self.xdo('key', 'ctrl+Left', 'ctrl+Left', 'shift+ctrl+Right')
        dialog = self.opens('thesaurus-dialog', lambda: self.xdo('key', 'ctrl+t'), ['Thesaurus: English'], None, None)
        self.check_on_screen('thesaurus-dialog', dialog)
        self.lists_filled(dialog)
        self.save('thesaurus-screen', xwd_root(self.display, (0, 0) + self.screen_size))
        cx, cy, _, _ = self.geometry(composer)
        fx, fy, fw, fh = FIRST_LINE
        line = (cx + fx, cy + fy, fw, fh)
        before = self.screen.grab(line)
        self.click(dialog, *SECOND_WORD)
        self.click(dialog, *REPLACE)
        wait_for('the dialog closed', lambda: dialog not in self.windows())
        print('ok: Replace closed the dialog')
        try:
            wait_for('the word replaced', lambda: darker_pixels(before, self.screen.grab(line)) >= 20)
        except Failure:
            path = self.save('thesaurus-replaced-FAILED', self.screen.grab(line))
            raise Failure('the body\'s line did not change after Replace; see %s' % path)
        self.save('thesaurus-replaced', self.screen.grab(line))
        print('ok: the body shows the word chosen')


if __name__ == '__main__':
    sys.exit(main(ThesaurusSession))
