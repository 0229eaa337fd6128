#!/usr/bin/python3
"""The viewer's emoji window as a person uses it: the real program on an X
server of its own (Xvfb), driven by real clicks and keys (xdotool). A line
typed into the composer's body is previewed in the viewer in edit mode; a
click puts the caret after it; the viewer's Emoji button opens the emoji
page in place of the document, which must show in the frame buffer and in a
dump of the screen (xwd -root); a click on the first smiley closes it, the
document shows again with the smiley at the caret, and "Save to Composer"
writes the page with the smiley after the typed words.

Usage: emoji_screen.py PROGRAM DATA_DIR OUT_DIR
The emoji page is taken from beside PROGRAM. Captures are saved as
OUT_DIR/screen-emoji-*.png.
"""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import Failure, Session, main, wait_for, xwd_root  # noqa: E402

# Places in the main window and the composer (their client areas).
COMPOSE = (735, 56)
BODY = (300, 350)
PREVIEW_BUTTON = (281, 173)
# Places in the viewer as the preview places it (660 pixels wide): its
# command bar's Emoji and Save to Composer buttons, and the end of the first
# line of the page.
VIEWER_WIDTH = 660
EMOJI_BUTTON = (202, 47)
SAVE_BUTTON = (523, 17)
PAGE_TOP = 130
TYPED = 'Dear Sir'
GRINNING = '\U0001F600'


def yellow(p):
    return p[0] >= 200 and p[1] >= 150 and p[2] <= 90


def yellow_points(img):
    px = img.load()
    w, h = img.size
    return [(x, y) for y in range(h) for x in range(w) if yellow(px[x, y])]



def page_box(session, wid):
    """Where the viewer's page is drawn, below its bars."""
    x, y, w, h = session.geometry(wid)
    return (x, y + PAGE_TOP, w, h - PAGE_TOP - 30)


def typed_preview(session, label):
    """A large line typed into a new composer's body and previewed in the
    viewer, checked to be as wide as the button places assume: (composer,
    viewer)."""
    composer = session.opens(label + '-composer', lambda: session.click(session.main, *COMPOSE),
                             ['Send an HTML Email'], None, None)
    session.click(composer, *BODY)
    session.xdo('type', '--delay', 20, '<p style="font-size:40px">%s</p>' % TYPED)
    viewer = session.opens(label + '-viewer', lambda: session.click(composer, *PREVIEW_BUTTON), ['Viewer'], None, None)
    if session.geometry(viewer)[2] != VIEWER_WIDTH:
        raise Failure('the viewer is %d pixels wide, the button places assume %d'
                      % (session.geometry(viewer)[2], VIEWER_WIDTH))
    return composer, viewer


class EmojiSession(Session):
    # Wide enough for the viewer beside the main window at the width the
    # button places assume.
    size = (1600, 1000)

    def start_program(self):
        page = os.path.join(os.path.dirname(os.path.abspath(self.args.program)), 'kwem_emojisrc.htm')
        if not os.path.exists(page):
            raise Failure(page + ' is missing: the build writes it (target emoji_page)')
        shutil.copy(page, self.folder)
        super().start_program()

    def run(self):
        self.start_program()
        composer, viewer = typed_preview(self, 'emoji')
        box = page_box(self, viewer)

        def text_shown():
            img = self.screen.grab(box)
            dark = [(x, y) for (x, y), v in zip(((x, y) for y in range(img.size[1]) for x in range(img.size[0])),
                                               img.convert('L').getdata()) if v < 100]
            return dark if len(dark) >= 300 else None
        try:
            dark = wait_for('the typed line in the viewer', text_shown)
        except Failure:
            path = self.save('emoji-viewer-page-FAILED', self.screen.grab(box))
            raise Failure('the typed line does not show in the viewer; see %s' % path)
        # The caret after the line: a click right of its last letter.
        right = max(x for x, _ in dark)
        middle = (min(y for _, y in dark) + max(y for _, y in dark)) // 2
        self.click(viewer, right + 30, PAGE_TOP + middle)

        # The emoji window, opened by its button.
        self.click(viewer, *EMOJI_BUTTON)
        try:
            wait_for('the emoji page', lambda: len(yellow_points(self.screen.grab(box))) >= 2000)
        except Failure:
            path = self.save('emoji-open-FAILED', self.screen.grab(box))
            raise Failure('the emoji page does not show after the Emoji button; see %s' % path)
        whole = xwd_root(self.display, self.geometry(viewer))
        self.save('emoji-open', whole)
        dumped = whole.crop((0, PAGE_TOP, box[2], PAGE_TOP + box[3]))
        smileys = yellow_points(dumped)
        if len(smileys) < 2000:
            raise Failure('the emoji page is missing from a dump of the screen')
        print('ok: the emoji window shows (%d yellow pixels)' % len(smileys))

        # The first smiley of the page: the top left of its yellow pixels.
        top = min(y for _, y in smileys)
        first_row = [(x, y) for x, y in smileys if y < top + 30]
        left = min(x for x, _ in first_row)
        glyph = [(x, y) for x, y in first_row if x < left + 20]
        gx = sum(x for x, _ in glyph) // len(glyph)
        gy = sum(y for _, y in glyph) // len(glyph)
        self.click(viewer, gx, PAGE_TOP + gy)

        # The document again, with the smiley where the caret was: a few
        # yellow pixels right of the typed line, not a page of them.
        def picked():
            pts = yellow_points(self.screen.grab(box))
            return pts if 50 <= len(pts) < 2000 and min(x for x, _ in pts) > right - 5 else None
        try:
            wait_for('the smiley in the document', picked)
        except Failure:
            path = self.save('emoji-picked-FAILED', self.screen.grab(box))
            raise Failure('the pick did not show in the document; see %s' % path)
        self.save('emoji-picked', xwd_root(self.display, self.geometry(viewer)))
        print('ok: the pick shows in the document')

        saved = os.path.join(self.folder, 'kwemailprvw.htm')
        before = os.path.getmtime(saved) if os.path.exists(saved) else None
        self.click(viewer, *SAVE_BUTTON)
        wait_for('the page saved', lambda: os.path.exists(saved) and os.path.getmtime(saved) != before)

        def text():
            with open(saved, encoding='utf-8', errors='replace') as f:
                return f.read()
        try:
            wait_for('the saved page', lambda: TYPED + GRINNING in text())
        except Failure:
            raise Failure('the saved page does not hold %r: %r' % (TYPED + GRINNING, text()[-300:]))
        print('ok: the saved page holds the pick after the typed words')
        self.checked += 1


if __name__ == '__main__':
    sys.exit(main(EmojiSession))
