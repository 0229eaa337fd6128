#!/usr/bin/python3
"""The spelling configuration dialog as a person uses it: shown by
spellcfg_demo on an X server of its own (Xvfb), driven by real clicks
(xdotool). The dialog and its option list must show in the frame buffer and
in a dump of the screen (xwd -root): every option row holds text. A click on
the first option's box ticks it, a click on a main dictionary's title ticks
that dictionary, and OK writes both into Spell.cfg. Before that, its
"Dictionaries ..." button opens the custom dictionaries' list, whose "New"
asks for a name (typed, Enter) and whose "Edit" opens the new dictionary's
editor, where a typed word and Enter add it; each of these windows must show
its controls on the screen too, and the word must land in the new file.

The active custom dictionary is configured by its full path, as the program
does: the drop-down must show its name whole, there and again at 1600x1000
and at 1280x800 under a window manager (openbox unless --wm names another).

Usage: spellcfg_screen.py DEMO DATA_DIR OUT_DIR [--wm WM]
Captures are saved as OUT_DIR/screen-spellcfg-*.png.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import Failure, Session, main, wait_for, xwd_root  # noqa: E402
from spelldialog_screen import SIZES, FramedScreen  # noqa: E402

OPTIONS = 9           # the demo offers nine options
OPTION_ROW = (24, 24, 240, 14)  # the first option's row in the client area; rows are 16 apart
FIRST_BOX = (22, 31)
AMERICAN_TITLE = (90, 225)  # the first main dictionary's title, below the list's header
OK_BUTTON = (275, 363)  # one unused option row (16 pixels) less than the full dialog
DICTIONARIES_BUTTON = (252, 325)
# In the custom dictionaries' list.
LIST_NEW, LIST_EDIT, LIST_OK = (259, 89), (259, 35), (267, 187)
# In the dictionary editor.
EDITOR_OK = (268, 315)


def dark_pixels(img):
    return sum(1 for v in img.convert('L').getdata() if v < 100)


def custom_box_shown(folder, size):
    """The active dictionary's drop-down as the demo saw it when it closed."""
    with open(os.path.join(folder, 'combo.txt')) as f:
        shown, fits = f.read().split('\n')[:2]
    if shown != 'tester.lxu' or fits != 'fits':
        raise Failure('at %dx%d the active dictionary shows as %r (%s)' % (size + (shown, fits)))
    print('ok: at %dx%d the active dictionary shows whole as %r' % (size + (shown,)))


class SpellConfigSession(Session):
    size = (1280, 800)

    def rows(self, img):
        x0, y0, w, h = OPTION_ROW
        return [img.crop((x0, y0 + 16 * i, x0 + w, y0 + 16 * i + h)) for i in range(OPTIONS)]

    def run(self):
        self.program = self.spawn([self.args.program, self.folder])
        wid = wait_for('the configuration dialog', lambda: self.find_window('Spelling Options'))
        box, _ = self.check_window('spellcfg', wid, ['Spelling Options'])
        dumped = xwd_root(self.display, box)
        self.save('spellcfg-xwd', dumped)
        blank = [i for i, row in enumerate(self.rows(dumped)) if dark_pixels(row) < 20]
        if blank:
            raise Failure('option rows %r show no text in a dump of the screen' % blank)
        print('ok: the %d option rows are painted' % OPTIONS)

        self.dictionaries(wid)

        before = self.screen.grab(box).crop((14, 24, 30, 40))
        self.click(wid, *FIRST_BOX)
        try:
            wait_for('the first option ticked',
                     lambda: dark_pixels(self.screen.grab(box).crop((14, 24, 30, 40))) > dark_pixels(before) + 3)
        except Failure:
            path = self.save('spellcfg-tick-FAILED', self.screen.grab(box))
            raise Failure('the first option shows no tick after the click; see %s' % path)
        self.click(wid, *AMERICAN_TITLE)
        self.save('spellcfg-ticked', xwd_root(self.display, box))
        self.click(wid, *OK_BUTTON)
        wait_for('the dialog closed and the demo ended', lambda: self.program.poll() is not None)
        with open(os.path.join(self.folder, 'Spell.cfg'), newline='') as f:
            written = f.read()
        for line in ('_soUpcase=+', '_Main_count=2', '_Main_1=American.lxm', 'mywords.lxu'):
            if line not in written:
                raise Failure('Spell.cfg does not hold "%s": %r' % (line, written))
        print('ok: Spell.cfg holds the ticked option and the dictionary chosen by its title')
        custom_box_shown(self.folder, self.size)


    def dictionaries(self, config):
        """The list, the new-name prompt and the editor, each drawn; a new
        dictionary gets a word."""
        listing = self.opens('spellcfg-dictionaries', lambda: self.click(config, *DICTIONARIES_BUTTON),
                             ['Dictionaries'], None, None)
        self.opens('spellcfg-new', lambda: self.click(listing, *LIST_NEW), ['New Custom Dictionary'], 'mywords',
                   'Return')
        path = os.path.join(self.folder, 'mywords.lxu')
        wait_for('the new dictionary written', lambda: os.path.exists(path))
        editor = self.opens('spellcfg-editor', lambda: self.click(listing, *LIST_EDIT), ['mywords.lxu'], None, None)
        self.xdo('type', '--delay', 20, 'zorp')
        self.xdo('key', 'Return')
        x, y, w, h = self.geometry(editor)
        self.save('spellcfg-editor-added', xwd_root(self.display, (x, y, w, h)))
        self.click(editor, *EDITOR_OK)
        wait_for('the editor closed', lambda: editor not in self.windows())
        with open(path, 'rb') as f:
            if b'Izorp\0' not in f.read():
                raise Failure('the word typed into the editor is not in mywords.lxu')
        print('ok: the editor wrote the typed word into the new dictionary')
        self.click(listing, *LIST_OK)
        wait_for('the list closed', lambda: listing not in self.windows())


class FramedSession(FramedScreen):
    """The dialog framed by a window manager: opened, captured, closed with OK."""

    def run(self):
        self.program = self.spawn([self.args.program, self.folder])
        wid = wait_for('the configuration dialog', lambda: self.find_window('Spelling Options'))
        label = 'spellcfg-framed-%dx%d' % self.size
        self.check_window(label, wid, ['Spelling Options'])
        self.save(label, xwd_root(self.display, (0, 0) + self.size))
        self.click(wid, *OK_BUTTON)
        wait_for('the dialog closed and the demo ended', lambda: self.program.poll() is not None)
        custom_box_shown(self.folder, self.size)


if __name__ == '__main__':
    framed = [type('FramedSession%dx%d' % size, (FramedSession,), {'size': size}) for size in SIZES]
    sys.exit(max(main(s) for s in [SpellConfigSession] + framed))
