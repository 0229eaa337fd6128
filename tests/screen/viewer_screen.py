#!/usr/bin/python3
"""The message viewer beside the mailbox window, as a person meets it: the
real program on an X server of its own (Xvfb) under a window manager, driven
by real clicks and keys (xdotool), the screen read back from the frame buffer
and from a dump (xwd -root).

- Placement: the viewer opens beside the main window, not over its edge,
  and lies on the screen whole.
- Home, End and Ctrl+End in the message list move the viewer to the first
  and the last message.
- Ctrl+Enter fetches the shown message again and shows it (the caption
  leaves "Loading"); a fetch the server refuses is shown in the viewer.
- A column search on Subject finds the matching row below the current one
  in a list sorted by Size.
- A new composer puts the caret in To.
- After the composer's Preview (the editing face), a received message is
  shown with the navigation bar again and without the command bar, also
  after the viewer is toggled off and on.
- Quitting with unsaved text in the composer asks to save it as a draft;
  Yes writes the draft.

Usage: viewer_screen.py PROGRAM DATA_DIR OUT_DIR [--wm openbox] [--size WxH]
Captures are saved as OUT_DIR/screen-viewer-*.png.
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import screen_test  # noqa: E402
from screen_test import Failure, Session, run_session, wait_for, xwd_root  # noqa: E402

# Places in the main window's client area.
GET_EMAILS = (63, 22)
VIEWER_TOGGLE = (559, 90)
COMPOSE = (735, 56)
# The list's header: its Subject and Size columns.
SUBJECT_HEADER = (400, 121)
SIZE_HEADER = (655, 121)
# The list's first row and the rows' height.
FIRST_ROW_Y = 140
ROW_HEIGHT = 17
# The Locate a Row dialog's OK button.
FIND_OK = (386, 37)
# Places in the composer's client area.
PREVIEW_BUTTON = (281, 173)
TO_FIELD = (300, 80)
# The row searched for and its subject; its message is the largest.
GUI_ROW = 2
GUI_SUBJECT = 'Screen GUI test report'


def message(n):
    """The harness's message N, except that message GUI_ROW has the subject
    searched for and enough text to be the largest of the mailbox."""
    text = screen_test.plain_message(n)
    if n != GUI_ROW:
        return text
    return text.replace('Subject: Figures %d' % n, 'Subject: ' + GUI_SUBJECT).replace(
        '</body>', '<p>' + 'More figures. ' * 200 + '</p></body>')


screen_test.plain_message = screen_test.message
screen_test.message = message


def panel_pixels(img):
    """Pixels of a bar's greys (its background and button faces), neither
    the page's white nor its text."""
    return sum(1 for p in img.getdata() if 200 <= p[0] <= 252 and abs(p[0] - p[1]) < 6 and abs(p[1] - p[2]) < 6)


class ViewerSession(Session):
    click = Session.click_client

    size = (1600, 1000)

    def shot(self, label, wid):
        self.save(label, xwd_root(self.display, self.client(wid)))

    def viewer_caption(self, part, deadline=screen_test.DEADLINE):
        # "Loading Message 3 of 3" names the row too, but the program takes
        # no other row until that fetch is over: wait for the message itself.
        def shown():
            name = self.name(self.viewer)
            return part in name and 'Loading' not in name

        try:
            return wait_for('viewer caption with "%s"' % part, shown, deadline)
        except Failure:
            raise Failure('the viewer\'s caption is "%s", not one with "%s"' % (self.name(self.viewer), part))

    def list_row(self, n):
        """Clicks the list's row N (1: the first), which gives the list the keys."""
        self.xdo('windowactivate', '--sync', self.main)
        self.click(self.main, 400, FIRST_ROW_Y + (n - 1) * ROW_HEIGHT)

    def bars(self, label):
        """(navigation bar shown, command bar shown) in the viewer."""
        x, y, w, h = self.client(self.viewer)
        # The navigation bar lies over the status bar, the command bar at the top.
        bottom = self.screen.grab((x, y + h - 60, w, 30))
        top = self.screen.grab((x + 180, y + 34, w - 200, 26))
        return panel_pixels(bottom) > bottom.size[0] * bottom.size[1] // 3, \
            panel_pixels(top) > top.size[0] * top.size[1] // 3

    def reading_face(self, label):
        try:
            wait_for(label + ' reading face', lambda: self.bars(label) == (True, False))
        except Failure:
            path = self.save(label + '-FAILED', xwd_root(self.display, self.client(self.viewer)))
            raise Failure('%s: the viewer shows (navigation bar, command bar) = %r; see %s'
                          % (label, self.bars(label), path))
        print('ok: %s: the navigation bar shows, the command bar does not' % label)

    # -- the steps
    def placement(self):
        m = self.main
        self.take_headers(m, GET_EMAILS)
        self.viewer = self.opens('viewer', lambda: self.click(m, *VIEWER_TOGGLE), ['Message'], None, None)
        self.check_page_shown('viewer', self.viewer)
        self.check_on_screen('viewer', self.viewer)
        mx, my, mw, mh = self.client(m, frame=True)
        vx, vy, vw, vh = self.client(self.viewer, frame=True)
        self.save('viewer-placed', xwd_root(self.display, (0, 0) + self.screen_size))
        print('ok: main window at %r, viewer at %r' % ((mx, my, mw, mh), (vx, vy, vw, vh)))
        if vx < mx + mw:
            raise Failure('the viewer at %r lies %d pixels over the main window at %r'
                          % ((vx, vy, vw, vh), mx + mw - vx, (mx, my, mw, mh)))
        if vx + vw > self.screen_size[0]:
            raise Failure('the viewer at %r reaches past the screen' % ((vx, vy, vw, vh),))

    def find_rows(self):
        """The list's first row and its height, from the header's place."""
        self.list_row(1)
        self.viewer_caption('Message 1 of 3')

    def home_end(self):
        for key, caption in (('End', 'Message 3 of 3'), ('Home', 'Message 1 of 3'),
                             ('ctrl+End', 'Message 3 of 3'), ('ctrl+Home', 'Message 1 of 3')):
            self.xdo('key', key)
            self.viewer_caption(caption)
            # As a person would, the next key once the message is drawn.
            self.check_page_shown('viewer-' + key, self.viewer)
            print('ok: %s shows "%s"' % (key, caption))

    def fetch_again(self):
        self.list_row(1)
        self.viewer_caption('Message 1 of 3')
        before = self.pop3.commands.count('RETR')
        self.xdo('key', 'ctrl+Return')
        wait_for('a second RETR', lambda: self.pop3.commands.count('RETR') > before)
        self.viewer_caption('Message 1 of 3 - Figures 1')
        if 'Loading' in self.name(self.viewer):
            raise Failure('the viewer still says "%s"' % self.name(self.viewer))
        self.check_page_shown('viewer-fetched-again', self.viewer)
        self.shot('viewer-ctrlenter', self.viewer)
        print('ok: Ctrl+Enter fetched the message again and shows it')

        # A fetch the server refuses: the viewer says so.
        self.pop3.refuse_retr = True
        try:
            before = self.pop3.commands.count('RETR')
            box = self.opens('fetch-refused', lambda: self.xdo('key', 'ctrl+Return'), ['Pelliwox'], None, None)
            self.xdo('key', '--window', box, 'Return')
            wait_for('the report closed', lambda: box not in self.windows())
            if self.pop3.commands.count('RETR') <= before:
                raise Failure('Ctrl+Enter sent no RETR')
            self.viewer_caption('Could not retrieve email')
            x, y, w, h = self.client(self.viewer)
            wait_for('the failure page', lambda: sum(1 for v in self.screen.grab((x, y, w, 80)).convert('L').getdata()
                                                     if v < 100) >= 100)
            self.shot('viewer-ctrlenter-refused', self.viewer)
            print('ok: a refused fetch is shown in the viewer')
        finally:
            self.pop3.refuse_retr = False

    def column_search(self):
        """Sorted by Size the searched row (the largest) lies below the first
        row, and sorted the other way above the last one: found either way,
        the second time by going on from the top."""
        m = self.main
        for clicks, row in ((1, 1), (1, 3)):
            for _ in range(clicks):
                self.click(m, *SIZE_HEADER)
                time.sleep(0.5)
            self.list_row(row)
            wait_for('row %d shown' % row, lambda: 'Message' in self.name(self.viewer)
                     and 'Loading' not in self.name(self.viewer))
            if GUI_SUBJECT in self.name(self.viewer):
                raise Failure('the searched row is already the current one: %s' % self.name(self.viewer))
            present = self.windows()
            finder = self.opens('locate-subject', lambda: self.click(m, *SUBJECT_HEADER, button=3),
                                ['Locate a Row'], None, None)
            self.xdo('type', '--delay', 20, '*GUI test*')
            self.click(finder, *FIND_OK)
            try:
                wait_for('the search closed', lambda: finder not in self.windows())
            except Failure:
                path = self.save('viewer-search-FAILED', xwd_root(self.display, (0, 0) + self.screen_size))
                raise Failure('the search window stays open; see %s' % path)
            time.sleep(1)
            other = [w for w in self.windows() - present if self.name(w)]
            if other:
                self.save('viewer-search-FAILED', xwd_root(self.display, (0, 0) + self.screen_size))
                names = [self.name(w) for w in other]
                for w in other:
                    self.xdo('windowactivate', '--sync', w)
                    self.xdo('key', 'Return')
                raise Failure('searching from row %d after %d click(s) on Size answered with a window (%s) '
                              'instead of the row' % (row, clicks, names))
            # The row found: the viewer, toggled off and on, shows the selected row.
            for shown in (False, True):
                self.click(m, *VIEWER_TOGGLE)
                wait_for('the viewer toggled', lambda: (self.viewer in self.windows()) == shown)
            try:
                self.viewer_caption(GUI_SUBJECT)
            except Failure as e:
                raise Failure('%s; see %s' % (e, self.save('viewer-found-FAILED', xwd_root(self.display, (0, 0) + self.screen_size))))
            print('ok: searching from row %d after %d click(s) on Size found "%s"' % (row, clicks, GUI_SUBJECT))

    def new_composer(self):
        m = self.main
        self.composer_id = self.opens('viewer-composer', lambda: self.click(m, *COMPOSE), ['Send an HTML Email'],
                                      None, None)
        x, y, w, h = self.client(self.composer_id)
        to = (x + TO_FIELD[0] - 150, y + TO_FIELD[1] - 10, 300, 20)
        before = self.screen.grab(to)
        time.sleep(0.5)
        self.xdo('type', '--delay', 20, 'nobody@x.test')
        try:
            wait_for('the address in To', lambda: screen_test.darker_pixels(before, self.screen.grab(to)) >= 20)
        except Failure:
            path = self.save('viewer-composer-to-FAILED', xwd_root(self.display, (x, y, w, h)))
            raise Failure('the typed address does not show in To; see %s' % path)
        self.save('viewer-composer-to', xwd_root(self.display, (x, y, w, h)))
        print('ok: a new composer takes the keys in To')

    def preview_then_received(self):
        if not self.composer_id:
            raise Failure('there is no composer to preview')
        # The preview: the viewer in its editing face.
        self.click(self.composer_id, *PREVIEW_BUTTON)
        self.viewer_caption('Preview')
        try:
            wait_for('the command bar', lambda: self.bars('preview') == (False, True))
        except Failure:
            path = self.save('viewer-preview-FAILED', xwd_root(self.display, self.client(self.viewer)))
            raise Failure('the preview shows (navigation bar, command bar) = %r; see %s' % (self.bars('p'), path))
        self.shot('viewer-preview', self.viewer)
        print('ok: the preview shows the command bar')
        # A received message from the list.
        self.list_row(1)
        self.viewer_caption(' of 3 - ')
        self.reading_face('received-after-preview')
        self.check_page_shown('viewer-after-preview', self.viewer)
        self.shot('viewer-after-preview', self.viewer)
        # The viewer toggled off and on again.
        self.click(self.main, *VIEWER_TOGGLE)
        wait_for('viewer hidden', lambda: self.viewer not in self.windows())
        self.click(self.main, *VIEWER_TOGGLE)
        wait_for('viewer shown', lambda: self.viewer in self.windows())
        self.reading_face('received-after-toggle')

    def quit_with_draft(self):
        m = self.main
        # The composer holds an address typed and never saved.
        self.xdo('windowactivate', '--sync', m)
        question = self.opens('quit-question', lambda: self.xdo('key', '--window', m, 'alt+F4'), ['Pelliwox'],
                              None, None)
        # Yes: the left of the two buttons at the question's lower right.
        _, _, qw, qh = self.client(question)
        self.click(question, qw - 137, qh - 24)
        try:
            wait_for('the program ended', lambda: self.program.poll() is not None, 60)
        except Failure:
            path = self.save('viewer-quit-FAILED', xwd_root(self.display, (0, 0) + self.screen_size))
            raise Failure('the program is still running after Yes; see %s' % path)
        drafts = []
        for top, _, files in os.walk(self.folder):
            if 'draft' in os.path.relpath(top, self.folder).lower().split(os.sep):
                for f in files:
                    with open(os.path.join(top, f), 'rb') as fh:
                        if b'nobody@x.test' in fh.read():
                            drafts.append(f)
        if not drafts:
            raise Failure('quitting with unsaved text in the composer saved no draft')
        print('ok: quitting asked, and Yes saved the draft %s' % drafts[0])

    def run(self):
        self.pop3.refuse_retr = False
        self.composer_id = None
        self.start_program()
        m = self.main
        steps = [self.placement, self.find_rows, self.home_end, self.fetch_again, self.column_search,
                 self.new_composer, self.preview_then_received, self.quit_with_draft]
        if self.args.only:
            steps = [s for s in steps if s.__name__ in self.args.only or s.__name__ in
                     ('placement', 'find_rows', 'new_composer')]
        for step in steps:
            try:
                step()
                self.checked += 1
            except Failure as e:
                self.failures.append('%s: %s' % (step.__name__, e))
                print('FAILED: %s: %s' % (step.__name__, e))
                # Without the viewer nothing else can be seen.
                if not getattr(self, 'viewer', None) or step.__name__ == 'find_rows':
                    return
                self.xdo('key', 'Escape')


def main():
    import argparse
    ap = argparse.ArgumentParser()
    ap.add_argument('program')
    ap.add_argument('data')
    ap.add_argument('out')
    ap.add_argument('--wm', default='openbox')
    ap.add_argument('--size', default='1600x1000')
    ap.add_argument('--only', action='append')
    args = ap.parse_args()
    ViewerSession.size = tuple(int(v) for v in args.size.split('x'))
    return run_session(ViewerSession, args)


if __name__ == '__main__':
    sys.exit(main())
