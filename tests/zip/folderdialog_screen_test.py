#!/usr/bin/python3
"""The folder-browse dialog as a person sees it, on an X server of its own:
it must show on the screen and in a dump of it with its folder preselected;
a click on "New folder" asks for a name, the typed name becomes a folder,
and Return chooses it.

Usage: folderdialog_screen_test.py DEMO OUT_DIR
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'screen'))
import screen_test as screen  # noqa: E402


class FolderSession(screen.Session):
    def run(self):
        start = os.path.join(self.folder, 'archives', 'december')
        os.makedirs(start)
        out = os.path.join(self.folder, 'chosen.txt')
        self.program = self.spawn([self.args.program, start, out])
        wid = screen.wait_for('the folder dialog', lambda: self.find_window('Choose a folder'))
        self.check_window('folder-dialog', wid, ['Choose a folder'])
        x, y, w, h = self.geometry(wid)
        # The button sits at the bottom left, inside the 12-pixel margin.
        self.opens('new-folder-name', lambda: self.click(wid, 40, h - 24), ['New folder'], typed='made',
                   close='Return')
        made = os.path.join(start, 'made')
        screen.wait_for('the new folder', lambda: os.path.isdir(made))
        self.check_window('folder-dialog-made', wid, ['Choose a folder'])
        self.xdo('windowfocus', '--sync', wid)
        self.xdo('key', 'Return')
        screen.wait_for('the dialog closed', lambda: self.program.poll() is not None)
        with open(out) as f:
            chosen = f.read().strip()
        if chosen != made:
            self.failures.append('the dialog chose %r, not %r' % (chosen, made))


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    args = type('Args', (), {'program': sys.argv[1], 'data': None, 'out': sys.argv[2], 'wm': None})()
    return screen.run_session(FolderSession, args)


if __name__ == '__main__':
    sys.exit(main())
