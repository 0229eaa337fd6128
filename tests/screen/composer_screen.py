#!/usr/bin/python3
"""The composer's small windows as a person meets them: the real program on an
X server of its own (Xvfb) under a window manager, driven by real clicks and
keys (xdotool), the screen read back from the frame buffer and from a dump
(xwd -root).

- The address book editor ("To :-"): the text window's title line shows the
  book's long details line and, beside it, the hint "Ctrl+F Search, F3 Search
  Again, Ctrl+P Print", with clear space between them; the hint's text ends
  inside the window.
- Load Draft: the check-list dialog's pick opens over the composer (not in a
  corner of the screen), lists the drafts, and shows no check box of its check
  mode in its lower part.
- Find and Replace (Ctrl+H in the body): its question comes in a window wide
  enough for its caption.

Usage: composer_screen.py PROGRAM DATA_DIR OUT_DIR [--wm openbox]
Captures are saved as OUT_DIR/screen-composer-*.png.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import Failure, Session, main, wait_for, xwd_root  # noqa: E402

# Places in the composer's window (its client area).
COMPOSE = (735, 56)  # in the main window
TO_BUTTON = (50, 80)
SUBJECT = (400, 140)
SAVE_DRAFT = (536, 173)
LOAD_DRAFT = (618, 173)
BODY = (300, 350)
# The text window's title line, and the check-list dialog's lower part
# (its buttons' panel, 96 pixels high).
TITLE_LINE_HEIGHT = 28
LOWER_PART = 96
# Wider than the blank between two words of the hint, narrower than the
# room the title leaves before the hint.
HINT_GAP = 10
# The address book, as a person may keep it: plain text, a name with a comma.
BOOK = '"New, Person" <np@x.test>\r\nbob@x.test\r\n'


def dark_columns(img, level=110):
    """The x positions that hold a dark (text) pixel."""
    w, h = img.size
    px = img.convert('L').load()
    return sorted({x for x in range(w) for y in range(h) if px[x, y] < level})


def runs(columns, gap):
    """COLUMNS grouped into runs that lie less than GAP apart: (first, last)."""
    out = []
    for x in columns:
        if out and x - out[-1][1] < gap:
            out[-1][1] = x
        else:
            out.append([x, x])
    return out


class ComposerSession(Session):
    click = Session.click_client

    def start_program(self):
        with open(os.path.join(self.folder, 'pelliwoxaddbook.txt'), 'w', newline='') as f:
            f.write(BOOK)
        super().start_program()

    def composer(self):
        wid = self.opens('composer-window', lambda: self.click(self.main, *COMPOSE), ['Send an HTML Email'], None, None)
        self.check_on_screen('composer-window', wid)
        return wid

    def address_book_title(self, composer):
        """The editor's title line: the long details line, a clear space, the hint."""
        editor = self.opens('composer-addressbook', lambda: self.click(composer, *TO_BUTTON),
                            ['Address Book Editor'], None, None)
        x, y, w, _ = self.client(editor)
        line = (x + 2, y + 2, w - 4, TITLE_LINE_HEIGHT - 4)
        # The hint is the line's last run of text; the title's lie before it.
        def laid_out():
            cols = dark_columns(self.screen.grab(line))
            return runs(cols, HINT_GAP) if cols else None
        try:
            parts = wait_for('the title line drawn', lambda: (lambda r: r if r and len(r) >= 2 else None)(laid_out()))
        except Failure:
            path = self.save('composer-titleline-FAILED', self.screen.grab(line))
            raise Failure('the title line does not show a title and a hint apart; see %s' % path)
        dumped = xwd_root(self.display, line)
        self.save('composer-titleline', dumped)
        self.save('composer-addressbook-screen', xwd_root(self.display, (0, 0) + self.screen_size))
        parts = runs(dark_columns(dumped), HINT_GAP)
        # The hint is the last run; the title is everything before it.
        hint, title = parts[-1], (parts[0][0], parts[-2][1])
        print('ok: title line: title text at %d..%d, hint at %d..%d of %d' % (title[0], title[1], hint[0], hint[1],
                                                                               line[2]))
        if hint[1] - hint[0] < 150:
            raise Failure('the hint is cut or missing: its text spans %d pixels only' % (hint[1] - hint[0]))
        if hint[1] >= line[2] - 2:
            raise Failure('the hint runs to the window\'s edge (cut)')
        if title[1] - title[0] < 200:
            raise Failure('the details line shows as %d pixels of text only' % (title[1] - title[0]))
        self.xdo('key', 'Escape')
        wait_for('the editor closed', lambda: editor not in self.windows())

    def pick_mode(self, composer):
        """Drafts saved, then Load Draft: the pick over the composer, no option box."""
        self.click(composer, *SUBJECT)
        self.xdo('type', '--delay', 20, 'Screen draft')
        # Two drafts: the second in the same minute gets a name of its own.
        for n in range(2):
            self.opens('composer-saved-%d' % n, lambda: self.click(composer, *SAVE_DRAFT), ['pelliwox'], None, 'Return')
        dialog = self.opens('composer-pick', lambda: self.click(composer, *LOAD_DRAFT), ['Choose a draft email'],
                            None, None)
        cx, cy, cw, ch = self.client(composer)
        dx, dy, dw, dh = self.client(dialog)
        centre = (dx + dw // 2, dy + dh // 2)
        print('ok: the pick at %r over the composer at %r' % ((dx, dy, dw, dh), (cx, cy, cw, ch)))
        if not (cx + cw // 4 <= centre[0] <= cx + 3 * cw // 4 and cy + ch // 4 <= centre[1] <= cy + 3 * ch // 4):
            raise Failure('the pick at %r is not over the composer at %r' % ((dx, dy, dw, dh), (cx, cy, cw, ch)))
        # The lower part holds OK and Cancel only: no check box with its text at its left.
        options = (dx + 4, dy + dh - LOWER_PART, dw // 2, 30)
        dumped = xwd_root(self.display, options)
        self.save('composer-pick-lower', dumped)
        marks = len(dark_columns(dumped))
        if marks > 10:
            raise Failure('the pick shows something above its buttons (%d columns of text or box); see %s'
                          % (marks, self.save('composer-pick-lower-FAILED', dumped)))
        print('ok: no check box of the check mode in the pick')
        self.save('composer-pick-screen', xwd_root(self.display, (0, 0) + self.screen_size))
        self.xdo('key', 'Escape')
        wait_for('the pick closed', lambda: dialog not in self.windows())

    def replace_question(self, composer):
        self.click(composer, *BODY)
        question = self.opens('composer-replace', lambda: self.xdo('key', 'ctrl+h'), ['Global Search and Replace'],
                              'needle', None)
        _, _, w, _ = self.client(question)
        if w < 400:
            raise Failure('the question\'s window is %d pixels wide: its caption is cut' % w)
        print('ok: Find and Replace asks in a window %d pixels wide' % w)
        self.xdo('key', 'Escape')
        wait_for('the question closed', lambda: question not in self.windows())

    def run(self):
        self.start_program()
        composer = self.composer()
        for step in (self.address_book_title, self.pick_mode, self.replace_question):
            try:
                step(composer)
            except Failure as e:
                self.failures.append(str(e))
                print('FAILED: ' + str(e))
                self.xdo('key', 'Escape')


if __name__ == '__main__':
    sys.exit(main(ComposerSession))
