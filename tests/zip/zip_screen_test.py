#!/usr/bin/python3
"""The archiving of received pages as a person sees it: the real program on
an X server of its own (the screen test's session), a right click on the
received-folder button opens the zip options window, which must show its
controls on the screen and in a dump of it; its OK button archives the old
pages, deletes them, keeps the new one and shows the report.

Usage: zip_screen_test.py PROGRAM DATA_DIR OUT_DIR
"""
import glob
import os
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'screen'))
import screen_test as screen  # noqa: E402


class ZipSession(screen.Session):
    def run(self):
        box = os.path.join(self.folder, 'rcvd', 'tester')
        os.makedirs(box)
        old = time.time() - 40 * 86400
        for name in ('old1.htm', 'old2.htm', 'new.htm'):
            path = os.path.join(box, name)
            with open(path, 'w') as f:
                f.write('<html>%s</html>' % name)
            if name.startswith('old'):
                os.utime(path, (old, old))
        self.start_program()
        m = self.main
        received_folder = (342, 90)  # the button's middle in the main window's panel
        options = self.opens('zip-options', lambda: self.click(m, *received_folder, button=3),
                             ['Options for Archiving'], None, None)
        # OK archives; the report comes up in the text window.
        self.opens('zip-report', lambda: self.click(options, 305, 364), ['pelliwox'], None, None)
        left = sorted(os.listdir(box))
        if left != ['new.htm']:
            self.failures.append('after archiving the folder holds %r' % left)
        archives = glob.glob(os.path.join(self.folder, 'pelliwox_rcvd_tester_*.zip'))
        if len(archives) != 1:
            self.failures.append('archives written: %r' % archives)
            return
        with zipfile.ZipFile(archives[0]) as z:
            names = sorted(os.path.basename(n) for n in z.namelist())
            if z.testzip() is not None or names != ['old1.htm', 'old2.htm']:
                self.failures.append('the archive holds %r' % names)


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    args = type('Args', (), {'program': sys.argv[1], 'data': sys.argv[2], 'out': sys.argv[3], 'wm': None})()
    return screen.run_session(ZipSession, args)


if __name__ == '__main__':
    sys.exit(main())
