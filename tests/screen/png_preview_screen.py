#!/usr/bin/python3
"""The composer's Insert Image dialog previewing a PNG, as a person meets it:
the real program on an X server of its own (Xvfb), driven by real clicks and
keys (xdotool). In the composer the images' Add button opens the picture
dialog; the folder of a PNG is typed into its file name field, the file list
focused and its file made current, and the dialog's preview must show the
picture with each palette entry drawn by its own alpha: red at alpha 128
over the preview's white as pink (255, 127, 127), opaque black, and blue
(past the tRNS entries) opaque, in three bands of 40 x 80 pixels. It is read
from the frame buffer and from a dump of the screen (xwd -root).

Usage: png_preview_screen.py PROGRAM DATA_DIR OUT_DIR
Captures are saved as OUT_DIR/screen-png-preview-*.png.
"""
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import Failure, Session, main, wait_for, xwd_root  # noqa: E402

FIXTURE = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'data', 'png', 'palette-alpha.png')
COMPOSE = (735, 56)  # in the main window
BAND = (40, 80)  # each band of the picture, drawn at its own size
PINK, BLACK, BLUE, RED = (255, 127, 127), (0, 0, 0), (0, 0, 255), (255, 0, 0)


def add_image_button(width):
    """The images' Add button of a composer window WIDTH wide: in the panel
    of 300 on the right, under the top panel of 196."""
    return width - 300 + 6 + 45, 196 + 190 + 154 + 12


def box_of(img, colour):
    """The bounding box (left, top, right, bottom) of the pixels of COLOUR,
    and how many there are."""
    w, h = img.size
    px = img.load()
    xs, ys = [], []
    for y in range(h):
        for x in range(w):
            if px[x, y] == colour:
                xs.append(x)
                ys.append(y)
    if not xs:
        return None, 0
    return (min(xs), min(ys), max(xs) + 1, max(ys) + 1), len(xs)


def preview_fault(img):
    """Why IMG does not hold the preview of the three bands, or ''."""
    pink, n = box_of(img, PINK)
    bw, bh = BAND
    if not pink or n != bw * bh or (pink[2] - pink[0], pink[3] - pink[1]) != BAND:
        return 'no pink band of %dx%d (red at alpha 128): %r, %d pixels' % (bw, bh, pink, n)
    left, top = pink[0], pink[1]
    blue, n = box_of(img, BLUE)
    if blue != (left + 2 * bw, top, left + 3 * bw, top + bh) or n != bw * bh:
        return 'the blue band is not beside it: %r, %d pixels' % (blue, n)
    black = img.crop((left + bw, top, left + 2 * bw, top + bh))
    if black.getcolors() != [(bw * bh, BLACK)]:
        return 'the middle band is not all black: %r' % (black.getcolors(maxcolors=8),)
    red, n = box_of(img, RED)
    if n:
        return '%d pixels of opaque red: the alpha of 128 was dropped' % n
    return ''


class PreviewSession(Session):
    def settled(self, box):
        """Waits until two grabs of BOX a little apart are the same."""
        last = [self.screen.grab(box).tobytes()]

        def same():
            now = self.screen.grab(box).tobytes()
            if now == last[0]:
                return True
            last[0] = now
            return False
        time.sleep(0.2)
        wait_for('the dialog to settle', same)

    def __init__(self, args):
        super().__init__(args)
        self.env['XDG_DATA_HOME'] = os.path.join(self.folder, 'userdata')
        self.pictures = os.path.join(self.folder, 'pictures')
        os.makedirs(self.pictures)
        shutil.copy(FIXTURE, self.pictures)

    def run(self):
        self.start_program()
        composer = self.opens('png-preview-composer', lambda: self.click(self.main, *COMPOSE),
                              ['Send an HTML Email'], None, None)
        width = self.geometry(composer)[2]
        dialog = self.opens('png-preview-dialog', lambda: self.click(composer, *add_image_button(width)),
                            ['Insert Image'], None, None)
        self.check_on_screen('png-preview-dialog', dialog)
        # Into the folder through the file name field, then the file list
        # gets the keys and its only file becomes the current one.
        # Each key waits until the dialog has drawn what the one before did
        # (the folder is read and its completions shown in the background).
        box = self.geometry(dialog)
        self.xdo('type', '--delay', 10, self.pictures + '/')
        self.settled(box)
        self.xdo('key', 'Return')
        self.settled(box)
        self.xdo('key', 'shift+Tab')
        self.settled(box)
        self.xdo('key', 'Home')
        last = ['']

        def shown():
            last[0] = preview_fault(self.screen.grab(box))
            return not last[0]

        try:
            wait_for('the preview drawn', shown)
        except Failure:
            path = self.save('png-preview-FAILED', self.screen.grab(box))
            raise Failure('the dialog shows no preview of the picture: %s; see %s' % (last[0], path))
        self.save('png-preview', self.screen.grab(box))
        dumped = xwd_root(self.display, box)
        fault = preview_fault(dumped)
        if fault:
            path = self.save('png-preview-xwd-FAILED', dumped)
            raise Failure('the preview is wrong in a dump of the screen: %s; see %s' % (fault, path))
        self.save('png-preview-screen', xwd_root(self.display, (0, 0) + self.screen_size))
        print('ok: the preview shows red at alpha 128, opaque black and opaque blue')
        self.xdo('key', 'Escape')
        wait_for('the dialog closed', lambda: dialog not in self.windows())
        print('ok: Escape closed the dialog')


if __name__ == '__main__':
    sys.exit(main(PreviewSession))
