#!/usr/bin/python3
"""The viewer's editing commands as a person uses them: the real program on
an X server of its own (Xvfb) under a window manager, driven by real clicks
and keys (xdotool). A large line typed into the composer's body is
previewed in the viewer in edit mode and selected; a click on the Font
button opens the font dialog, whose OK puts the line into the chosen font
(it shrinks on the screen, and the page saved to the composer holds the
font); the Mode button's menu entry View Source, clicked, opens the page's
source in a window of its own, drawn in the frame buffer and in a dump of
the screen (xwd -root).

Usage: commands_screen.py PROGRAM DATA_DIR OUT_DIR [--wm openbox]
Captures are saved as OUT_DIR/screen-commands-*.png.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import Failure, Session, main, shows_controls, wait_for, xwd_root  # noqa: E402

from emoji_screen import PAGE_TOP, TYPED, page_box, typed_preview  # noqa: E402

# Places in the viewer as the preview places it (660 pixels wide): the
# command bar's Font and Mode buttons.
FONT_BUTTON = (535, 47)
MODE_BUTTON = (253, 47)
SAVE_BUTTON = (523, 17)
# The Mode button's menu, top to bottom; no separators.
MENU = ['Insert', 'Controls', 'MARQUEE', 'Toggle Strike Through', 'Left to Right', 'Right to Left', 'Page Setup',
        'View Source', 'About the Browser Engine']


def dark_points(img):
    w = img.size[0]
    return [(i % w, i // w) for i, v in enumerate(img.convert('L').getdata()) if v < 100]


class CommandsSession(Session):
    # Wide enough for the viewer beside the main window at the width the
    # button places assume.
    size = (1600, 1000)

    def run(self):
        self.start_program()
        composer, viewer = typed_preview(self, 'commands')
        box = page_box(self, viewer)
        try:
            dark = wait_for('the typed line in the viewer',
                            lambda: (lambda d: d if len(d) >= 300 else None)(dark_points(self.screen.grab(box))))
        except Failure:
            path = self.save('commands-page-FAILED', self.screen.grab(box))
            raise Failure('the typed line does not show in the viewer; see %s' % path)
        # The line selected: a click in the page, then Ctrl+A.
        self.click(viewer, max(1, min(x for x, _ in dark) + 5), PAGE_TOP + max(y for _, y in dark) - 5)
        self.xdo('key', 'ctrl+a')

        # Font: the dialog, confirmed with its font, makes the 40-pixel line small.
        font = self.opens('commands-font-dialog', lambda: self.click(viewer, *FONT_BUTTON), ['Font'], None, None)
        self.xdo('key', 'Return')
        wait_for('the font dialog closed', lambda: font not in self.windows())
        try:
            small = wait_for('the line in the chosen font',
                             lambda: (lambda d: d if 0 < len(d) < len(dark) // 2 else None)(
                                 dark_points(self.screen.grab(box))))
        except Failure:
            path = self.save('commands-font-FAILED', self.screen.grab(box))
            raise Failure('the selected line did not take the font; see %s' % path)
        self.save('commands-font', xwd_root(self.display, self.geometry(viewer)))
        print('ok: the Font button put the line into the chosen font (%d dark pixels, were %d)'
              % (len(small), len(dark)))
        saved = os.path.join(self.folder, 'kwemailprvw.htm')
        before = os.path.getmtime(saved) if os.path.exists(saved) else None
        self.click(viewer, *SAVE_BUTTON)
        wait_for('the page saved', lambda: os.path.exists(saved) and os.path.getmtime(saved) != before)

        def text():
            with open(saved, encoding='utf-8', errors='replace') as f:
                return f.read()
        try:
            wait_for('the font in the saved page', lambda: 'font-family' in text() and TYPED in text())
        except Failure:
            raise Failure('the saved page does not hold the font: %r' % text()[-400:])
        print('ok: the saved page holds the font')

        # View Source: the Mode button's menu, its entry clicked. The menu is
        # a window of the program's without a title.
        def all_windows():
            return set(self.xdo('search', '--onlyvisible', '--pid', self.program.pid).split())
        before_menu = all_windows()
        self.click(viewer, *MODE_BUTTON)

        def menu_box():
            for w in all_windows() - before_menu:
                try:
                    x, y, w_, h = self.geometry(w)
                except (KeyError, ValueError):
                    continue
                if h >= 18 * len(MENU):
                    return x, y, x + w_, y + h
            return None
        try:
            x0, y0, x1, y1 = wait_for('the menu', menu_box)
        except Failure:
            path = self.save('commands-menu-FAILED', self.screen.grab((0, 0) + self.screen_size))
            raise Failure('the Mode button opened no menu; see %s' % path)
        wait_for('the menu drawn', lambda: not shows_controls(self.screen.grab((x0, y0, x1 - x0, y1 - y0))))
        self.save('commands-menu', self.screen.grab((x0, y0, x1 - x0, y1 - y0)))
        item = (y1 - y0) / len(MENU)
        target = (x0 + (x1 - x0) // 3, int(y0 + item * (MENU.index('View Source') + 0.5)))
        source = self.opens('commands-view-source', lambda: (self.xdo('mousemove', '--sync', *target),
                                                             self.xdo('click', 1)),
                            ['Page Source'], None, None)
        self.check_on_screen('commands-view-source', source)
        print('ok: View Source shows the page source')
        self.checked += 1


if __name__ == '__main__':
    sys.exit(main(CommandsSession))
