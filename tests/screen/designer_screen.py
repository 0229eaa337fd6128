#!/usr/bin/python3
"""The style designer as a person uses it: the real program on an X server of
its own (Xvfb), driven by real clicks and keys (xdotool). From the composer's
body, Ctrl+Alt+B opens the designer on the quote style; its window and its
preview (the quote style's red ridge border on a silver block) must show in
the frame buffer and in a dump of the screen (xwd -root); a new width typed
into its field moves the preview's border; OK writes the quote style's file.
Then the composer's "Style Designer" button shows it again, not modal, and
Cancel closes it.

Usage: designer_screen.py PROGRAM DATA_DIR OUT_DIR
Captures are saved as OUT_DIR/screen-designer-*.png.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import DEADLINE, Failure, Session, main, wait_for, xwd_root  # noqa: E402

# Places in the designer's window (its client area).
WIDTH_FIELD = (365, 38)
OK_BUTTON = (926, 44)
CANCEL_BUTTON = (926, 99)
PREVIEW = (436, 444, 558, 218)
# Places in the composer's window.
COMPOSE = (735, 56)  # in the main window
BODY = (300, 350)
STYLE_BUTTON = (950, 173)


def red_columns(img):
    """The x positions of the red pixels of the quote style's border."""
    px = img.load()
    w, h = img.size
    xs = [x for y in range(h) for x in range(w)
          if (lambda p: p[0] >= 120 and p[1] <= 90 and p[2] <= 90)(px[x, y])]
    return xs


class DesignerSession(Session):
    def __init__(self, args):
        super().__init__(args)
        # The preview page goes into the per-user folder: a folder of the test's own.
        self.env['XDG_DATA_HOME'] = os.path.join(self.folder, 'userdata')

    def preview(self, label, wid):
        """Waits for the preview to show the style's border; the right edge of
        its red pixels."""
        x, y, _, _ = self.geometry(wid)
        px, py, pw, ph = PREVIEW
        box = (x + px, y + py, pw, ph)
        try:
            wait_for(label + ' preview drawn', lambda: len(red_columns(self.screen.grab(box))) >= 300)
        except Failure:
            path = self.save(label + '-preview-FAILED', self.screen.grab(box))
            raise Failure('%s: the preview shows no red border; see %s' % (label, path))
        dumped = xwd_root(self.display, box)
        self.save(label + '-preview', dumped)
        reds = red_columns(dumped)
        if len(reds) < 300:
            raise Failure('%s: the preview is missing from a dump of the screen' % label)
        return max(reds)

    def run(self):
        self.start_program()
        composer = self.opens('designer-composer', lambda: self.click(self.main, *COMPOSE),
                              ['Send an HTML Email'], None, None)
        self.click(composer, *BODY)

        # Modal, on the quote style.
        designer = self.opens('designer-modal', lambda: self.xdo('key', 'ctrl+alt+b'), ['CSS Designer'], None, None)
        self.check_on_screen('designer-modal', designer)
        right = self.preview('designer-modal', designer)
        self.click(designer, *WIDTH_FIELD)
        self.xdo('key', 'ctrl+a')
        self.xdo('type', '--delay', 20, '40%')
        x, y, _, _ = self.geometry(designer)
        px, py, pw, ph = PREVIEW
        box = (x + px, y + py, pw, ph)
        try:
            wait_for('the preview following the width',
                     lambda: (lambda r: r and max(r) < right - 100)(red_columns(self.screen.grab(box))))
        except Failure:
            path = self.save('designer-width-FAILED', self.screen.grab(box))
            raise Failure('the preview did not narrow after the width was typed; see %s' % path)
        self.save('designer-narrowed', xwd_root(self.display, (x, y) + tuple(self.geometry(designer)[2:])))
        self.click(designer, *OK_BUTTON)
        wait_for('the designer closed', lambda: designer not in self.windows())
        path = os.path.join(self.folder, 'pelliwoxblockstyle.txt')
        wait_for('the quote style written', lambda: os.path.exists(path))
        with open(path) as f:
            written = f.read()
        if 'width:40%;' not in written or 'border:ridge #FF0000 7px;' not in written:
            raise Failure('the quote style file holds %r' % written)
        print('ok: the quote style file holds %r' % written)

        # Not modal, from the composer's button.
        designer = self.opens('designer-button', lambda: self.click(composer, *STYLE_BUTTON), ['CSS Designer'],
                              None, None)
        self.click(designer, *CANCEL_BUTTON)
        wait_for('the designer closed', lambda: designer not in self.windows(), DEADLINE)
        print('ok: the designer closed with Cancel')


if __name__ == '__main__':
    sys.exit(main(DesignerSession))
