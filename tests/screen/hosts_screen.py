#!/usr/bin/python3
"""A new user's first steps, on an X server of its own (Xvfb) under a window
manager, with real clicks and keys (xdotool) and the screen read back:

- F1 right after start-up opens the key help, and again once the focus has
  moved to the host list;
- the hosts window's column titles are whole (each ends clear of its
  column's edge);
- an account typed into the hosts grid at paste speed stays in its cells:
  Revert asks before it drops it, Close asks whether to save it, and once
  saved the program pulls the typed mailbox with the typed user name and
  password (the hosts file is read back by the program itself).

Usage: hosts_screen.py PROGRAM DATA_DIR OUT_DIR [--wm openbox] [--size 1600x1000]
Captures are saved as OUT_DIR/screen-hosts-*.png.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import Failure, Session, main, wait_for  # noqa: E402

POP3_BUTTON = (63, 90)  # in the main window
# The hosts window: its title row and first cell, and the buttons' row
# (42 pixels high at the bottom, buttons 116 wide every 124 from x=8).
TITLE_ROW = (2, 18)
FIRST_CELL = (40, 31)
REVERT, CLOSE = 0, 5
# Room above a window's inner area for the window manager's title bar.
FRAME_TOP = 24
# Clear space a whole title keeps before its column's edge; a cut title is
# drawn up to the edge (less the cell's margin).
TITLE_CLEARANCE = 10


def button(index, client_height):
    return 8 + 124 * index + 58, client_height - 42 + 8 + 13


class HostsSession(Session):
    click = Session.click_client

    size = (1280, 800)

    def __init__(self, args):
        if args.size:
            self.size = tuple(int(v) for v in args.size.split('x'))
        super().__init__(args)

    def start_program(self):
        # A first start: no hosts file yet.
        for path in (self.args.program, os.path.join(self.args.data, 'codepageids.txt')):
            subprocess.run(['cp', path, self.folder], check=True)
        self.program = self.spawn([os.path.join(self.folder, os.path.basename(self.args.program))], cwd=self.folder)
        self.main = wait_for('the main window', lambda: self.find_window('F1 for Help'))
        self.check_window('hosts-main', self.main, ['F1 for Help'])

    def asks(self, label, action, title_parts, answer):
        """ACTION opens a question (a new window), answered by the key ANSWER."""
        self.opens(label, action, title_parts, None, answer)

    def check_help_key(self, label):
        self.xdo('windowactivate', '--sync', self.main)
        self.asks(label, lambda: self.xdo('key', 'F1'), ['Pelliwox'], 'Return')

    def check_titles(self, wid):
        """Every column title ends clear of its column's right edge (the
        header's section lines: darker than both sides over its whole height)."""
        x, y, w, h = self.client(wid)
        img = self.screen.grab((x, y, w, h)).convert('L')
        px = img.load()
        band = range(*TITLE_ROW)
        edges = [xx for xx in range(3, w - 3)
                 if all(px[xx, yy] < px[xx - 2, yy] - 20 and px[xx, yy] < px[xx + 2, yy] - 20 for yy in band)]
        if len(edges) < 4:
            path = self.save('hosts-titles-FAILED', img)
            raise Failure('hosts: the grid shows %d column lines (%r); see %s' % (len(edges), edges, path))
        left = 0
        for n, edge in enumerate(edges[:4]):
            ink = [xx for xx in range(left, edge) for yy in range(*TITLE_ROW) if px[xx, yy] < 110]
            if not ink or edge - max(ink) < TITLE_CLEARANCE:
                path = self.save('hosts-titles-FAILED', img)
                raise Failure('hosts: title %d is cut at its column edge x=%d (its text ends at %s); see %s'
                              % (n + 1, edge, max(ink) if ink else None, path))
            left = edge + 1

    def type_account(self, wid):
        """The account, cell after cell with Tab, typed as a paste types."""
        self.entry = '127.0.0.1/%d (typed account)' % self.pop3.port
        fields = [self.entry, 'alice.typed', 'Pass-word 12', 'smtp.x.test', 'alice@x.test']
        self.click(wid, *FIRST_CELL)
        for n, text in enumerate(fields):
            if n:
                self.xdo('key', 'Tab')
            self.xdo('type', '--delay', 20, text)

    def pull_typed_account(self):
        """The program reads the saved file back: a pull of the typed entry logs
        in with the typed name and password."""
        before = len(self.pop3.lines)
        env = dict(self.env, QT_QPA_PLATFORM='offscreen')
        run = subprocess.run([os.path.join(self.folder, os.path.basename(self.args.program)), 'pull:' + self.entry],
                             cwd=self.folder, env=env, capture_output=True, text=True, timeout=120)
        said = self.pop3.lines[before:]
        # (This small server answers no UIDL: the pull's own outcome is not the point.)
        if 'USER alice.typed' not in said or 'PASS Pass-word 12' not in said:
            raise Failure('hosts: the saved account does not log in (exit %d, sent %r): %s'
                          % (run.returncode, [l for l in said if l.split(' ')[0] in ('USER', 'PASS')],
                             run.stderr.strip()[-400:]))

    def run(self):
        self.start_program()
        try:
            self.check_help_key('help-at-start')
        except Failure as e:  # the hosts window's checks go on
            self.failures.append(str(e))
            print('FAILED: ' + str(e))
        m = self.main
        hosts = self.opens('hosts-window', lambda: self.click(m, *POP3_BUTTON), ['Hosts Configuration'], None, None)
        try:
            self.check_titles(hosts)
        except Failure as e:
            self.failures.append(str(e))
            print('FAILED: ' + str(e))
        self.type_account(hosts)
        height = self.client(hosts)[3]
        self.save('hosts-typed', self.screen.grab(self.geometry(hosts)))
        # Revert asks first; No keeps the typing.
        self.asks('hosts-revert', lambda: self.click(hosts, *button(REVERT, height)), ['Pelliwox'], 'Escape')
        # Close asks whether to save; Yes saves.
        self.asks('hosts-close', lambda: self.click(hosts, *button(CLOSE, height)), ['Pelliwox'], 'y')
        wait_for('hosts window closed', lambda: hosts not in self.windows())
        wait_for('kwpop3hosts.txt', lambda: os.path.exists(os.path.join(self.folder, 'kwpop3hosts.txt')))
        self.pull_typed_account()
        # Opened again: the saved account, and nothing to ask on Close.
        hosts = self.opens('hosts-saved', lambda: self.click(m, *POP3_BUTTON), ['Hosts Configuration'], None, None)
        # The picture of the window with its title bar (the frame's height
        # above the inner area).
        cx, cy, cw, ch = self.client(hosts)
        self.save('hosts-saved-window', self.screen.grab((max(0, cx - 4), max(0, cy - FRAME_TOP), cw + 8,
                                                          ch + FRAME_TOP + 8)))
        self.click(hosts, *button(CLOSE, self.client(hosts)[3]))
        wait_for('hosts window closed without a question', lambda: hosts not in self.windows())
        # The saved list moved the focus to the host list.
        self.check_help_key('help-on-host-list')


def options(ap):
    ap.add_argument('--size', help='the screen size, e.g. 1600x1000')


if __name__ == '__main__':
    sys.exit(main(HostsSession, options))
