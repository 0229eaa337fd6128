#!/usr/bin/python3
"""What a person sees: the real program on an X server of its own, driven by
real clicks and keys (XTEST through xdotool). Every window of the mailbox
subsystem is opened as a user opens it, and the X screen itself is read back
(the root window's pixels, as a VNC viewer or a monitor shows them, not the
widget drawn into an image). A window passes when its rectangle shows controls
(light background, many colours, edges of text and frames) and, for the
dialogs that take text, when the keys typed appear in it.

Usage: screen_test.py PROGRAM DATA_DIR OUT_DIR [--wm openbox]
Captures of every window are saved as OUT_DIR/screen-*.png.
"""
import argparse
import ctypes
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

from PIL import Image, ImageChops

DEADLINE = 20.0  # seconds for any one thing to appear on the screen


# ------------------------------------------------------------ the screen

class XImage(ctypes.Structure):
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int),
                ('format', ctypes.c_int), ('data', ctypes.c_void_p), ('byte_order', ctypes.c_int),
                ('bitmap_unit', ctypes.c_int), ('bitmap_bit_order', ctypes.c_int), ('bitmap_pad', ctypes.c_int),
                ('depth', ctypes.c_int), ('bytes_per_line', ctypes.c_int), ('bits_per_pixel', ctypes.c_int)]


class Screen:
    """Reads the root window's pixels with XGetImage: the frame buffer."""

    def __init__(self, display):
        self.x = ctypes.CDLL('libX11.so.6')
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.POINTER(XImage)
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                     ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XFree.argtypes = [ctypes.c_void_p]
        self.x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.d = self.x.XOpenDisplay(display.encode())
        if not self.d:
            raise RuntimeError('cannot open display ' + display)
        self.root = self.x.XDefaultRootWindow(self.d)

    def grab(self, box):
        """Pixels of (x, y, w, h) on the screen as an RGB image."""
        x, y, w, h = box
        p = self.x.XGetImage(self.d, self.root, x, y, w, h, 0xFFFFFFFF, 2)  # ZPixmap
        if not p:
            raise RuntimeError('XGetImage failed for %r' % (box,))
        img = p.contents
        if img.bits_per_pixel != 32:
            raise RuntimeError('unexpected %d bits per pixel' % img.bits_per_pixel)
        raw = ctypes.string_at(img.data, img.bytes_per_line * img.height)
        out = Image.frombuffer('RGB', (img.width, img.height), raw, 'raw', 'BGRX', img.bytes_per_line, 1).copy()
        # What XDestroyImage (a macro) does for an image XGetImage made.
        self.x.XFree(img.data)
        self.x.XFree(p)
        return out

    def close(self):
        self.x.XCloseDisplay(self.d)


def xwd_root(display, box):
    """The same rectangle as the screen dump tool writes it (xwd -root), which
    follows each window's colormap: a window whose colormap it cannot use comes
    out black there even when the frame buffer holds it."""
    raw = subprocess.run(['xwd', '-root', '-silent', '-display', display], check=True,
                         stdout=subprocess.PIPE).stdout
    head = struct.unpack('>25I', raw[:100])
    header_size, bits_per_pixel, bytes_per_line, ncolors = head[0], head[11], head[12], head[19]
    width, height, byte_order = head[4], head[5], head[7]
    # 24 bits once a window of the web engine is on the screen.
    modes = {32: ('BGRX', 'XRGB'), 24: ('BGR', 'RGB')}
    if bits_per_pixel not in modes:
        raise RuntimeError('xwd: unexpected %d bits per pixel' % bits_per_pixel)
    data = raw[header_size + 12 * ncolors:]
    full = Image.frombuffer('RGB', (width, height), data, 'raw', modes[bits_per_pixel][byte_order != 0],
                            bytes_per_line, 1)
    x, y, w, h = box
    return full.crop((x, y, x + w, y + h))


def shows_controls(img):
    """Why IMG is not a drawn window, or '' when it is one."""
    w, h = img.size
    grey = img.convert('L')
    px = grey.load()
    area = w * h
    colours = img.getcolors(maxcolors=area)
    light = sum(1 for v in grey.getdata() if v >= 160)
    edges = sum(1 for yy in range(0, h) for xx in range(0, w - 1) if abs(px[xx, yy] - px[xx + 1, yy]) >= 64)
    if colours is not None and len(colours) < 6:
        return '%d colours only' % len(colours)
    if light < area * 0.4:
        return 'light pixels %.0f%% (under 40%%)' % (100.0 * light / area)
    if edges < max(50, area * 0.002):
        return '%d edge pixels (no text or frames)' % edges
    return ''


def darker_pixels(before, after):
    """Pixels that got clearly darker: text typed onto a light field."""
    diff = ImageChops.subtract(before.convert('L'), after.convert('L'))
    return sum(1 for v in diff.getdata() if v >= 64)


# ------------------------------------------------------- a POP3 mailbox

def message(n):
    """Message N of the mailbox: a short HTML page with a large heading."""
    body = ('<html><body><h1 style="font-size:48px">Quarterly figures %d</h1>'
            '<p style="font-size:24px">The figures for the quarter are enclosed.</p></body></html>' % n)
    return ('From: Sender <sender@x.test>\r\nTo: tester@x.test\r\nSubject: Figures %d\r\n'
            'Date: Mon, 07 Dec 2026 10:00:00 +0000\r\nMessage-ID: <m%d@x.test>\r\nMIME-Version: 1.0\r\n'
            'Content-Type: text/html; charset=utf-8\r\n\r\n%s\r\n' % (n, n, body))


class Pop3Peer:
    """A mailbox of 300 messages: enough for the program's range question,
    which comes once STAT and LIST agree. TOP and RETR give each message."""

    def __init__(self):
        self.sock = socket.socket()
        self.sock.bind(('127.0.0.1', 0))
        self.sock.listen(4)
        self.port = self.sock.getsockname()[1]
        self.commands = []
        self.lines = []  # whole command lines, arguments too
        self.refuse_retr = False  # RETR answered "-ERR message locked" while set
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            threading.Thread(target=self.session, args=(conn,), daemon=True).start()

    def session(self, conn):
        sizes = {n: len(message(n)) for n in range(1, 301)}
        listing = '+OK 300 messages\r\n' + ''.join('%d %d\r\n' % (n, sizes[n]) for n in sizes) + '.'
        answers = {'USER': '+OK', 'PASS': '+OK logged in', 'STAT': '+OK 300 %d' % sum(sizes.values()), 'NOOP': '+OK'}
        with conn:
            conn.sendall(b'+OK ready\r\n')
            buf = b''
            while True:
                data = conn.recv(4096)
                if not data:
                    return
                buf += data
                while b'\r\n' in buf:
                    line, buf = buf.split(b'\r\n', 1)
                    word = line.split(b' ')[0].decode('ascii', 'replace').upper()
                    self.commands.append(word)
                    self.lines.append(line.decode('utf-8', 'replace'))
                    if word == 'QUIT':
                        conn.sendall(b'+OK bye\r\n')
                        return
                    args = [a.decode('ascii', 'replace') for a in line.split(b' ')[1:]]
                    number = int(args[0]) if args and args[0].isdigit() else 0
                    if word == 'LIST':
                        reply = listing if not args else ('+OK %d %d' % (number, sizes[number]) if number in sizes
                                                          else '-ERR no such message')
                    elif word == 'RETR' and number in sizes and self.refuse_retr:
                        reply = '-ERR message locked'
                    elif word in ('TOP', 'RETR') and number in sizes:
                        text = message(number)
                        if word == 'TOP':
                            head, _, rest = text.partition('\r\n\r\n')
                            keep = int(args[1]) if len(args) > 1 and args[1].isdigit() else 0
                            text = head + '\r\n\r\n' + ''.join(l + '\r\n' for l in rest.split('\r\n')[:keep])
                        reply = '+OK\r\n' + text.replace('\r\n.', '\r\n..') + '.'
                    else:
                        reply = answers.get(word, '-ERR not here')
                    conn.sendall((reply + '\r\n').encode())

    def close(self):
        self.sock.close()


# ------------------------------------------------------------- the test

class Failure(Exception):
    pass


def wait_for(what, probe, deadline=DEADLINE):
    """Polls PROBE until it gives something true; fails after DEADLINE."""
    end = time.monotonic() + deadline
    while True:
        got = probe()
        if got:
            return got
        if time.monotonic() > end:
            raise Failure('timed out waiting for ' + what)
        time.sleep(0.05)


class Session:
    def __init__(self, args):
        self.args = args
        self.procs = []
        self.failures = []
        self.checked = 0  # windows seen drawn
        self.folder = tempfile.mkdtemp(prefix='pwx-screen')
        os.makedirs(args.out, exist_ok=True)
        for tool in ('Xvfb', 'xdotool'):
            if not shutil.which(tool):
                raise Failure(tool + ' is missing (tools/deps.sh installs it)')
        self.display = self.start_x()
        self.env = dict(os.environ, DISPLAY=self.display, QT_QPA_PLATFORM='xcb', TZ='UTC', LC_ALL='C.UTF-8')
        self.env.pop('XAUTHORITY', None)
        self.screen = Screen(self.display)
        if args.wm:
            self.spawn([args.wm])
            # The manager is up once it tells the desktops it manages.
            wait_for(args.wm, lambda: subprocess.run(['xdotool', 'get_num_desktops'], env=self.env,
                                                     capture_output=True).returncode == 0)
        self.pop3 = Pop3Peer()

    def start_x(self):
        r, w = os.pipe()
        # A session class may ask for another size (a "size" attribute).
        self.screen_size = getattr(self, 'size', (1280, 800))
        self.spawn(['Xvfb', '-displayfd', str(w), '-screen', '0', '%dx%dx24' % self.screen_size, '-nolisten', 'tcp'],
                   pass_fds=(w,))
        os.close(w)
        with os.fdopen(r) as f:
            number = f.readline().strip()
        if not number:
            raise Failure('Xvfb did not start')
        return ':' + number

    def spawn(self, argv, **kw):
        # Before the display exists (Xvfb itself) the environment is inherited.
        p = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             env=getattr(self, 'env', None), **kw)
        self.procs.append(p)
        return p

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
        self.pop3.close()
        shutil.rmtree(self.folder, ignore_errors=True)

    # -- xdotool
    def xdo(self, *argv):
        return subprocess.run(['xdotool'] + [str(a) for a in argv], env=self.env, capture_output=True,
                              text=True, timeout=30).stdout

    def windows(self):
        """The program's visible top-level windows."""
        out = self.xdo('search', '--onlyvisible', '--pid', self.program.pid, '--name', '')
        return set(out.split())

    def geometry(self, wid):
        vals = dict(line.split('=', 1) for line in self.xdo('getwindowgeometry', '--shell', wid).split())
        return int(vals['X']), int(vals['Y']), int(vals['WIDTH']), int(vals['HEIGHT'])

    def name(self, wid):
        return self.xdo('getwindowname', wid).strip()

    def click(self, wid, x, y, button=1):
        self.xdo('mousemove', '--sync', '--window', wid, x, y)
        self.xdo('click', button)

    def client(self, wid, frame=False):
        """The window's inner area on the screen as X itself tells it (under a
        window manager's frame), or with Frame the frame's outer rectangle."""
        out = subprocess.run(['xwininfo', '-id', str(wid)] + (['-frame'] if frame else []), env=self.env,
                             capture_output=True, text=True, timeout=30).stdout
        vals = {}
        for line in out.splitlines():
            key, _, value = line.strip().partition(':')
            vals[key] = value.strip()
        return (int(vals['Absolute upper-left X']), int(vals['Absolute upper-left Y']), int(vals['Width']),
                int(vals['Height']))

    def click_client(self, wid, x, y, button=1):
        """A click at (X, Y) of the window's inner area."""
        cx, cy, _, _ = self.client(wid)
        self.xdo('mousemove', '--sync', cx + x, cy + y)
        self.xdo('click', button)

    # -- the program
    def start_program(self):
        shutil.copy(self.args.program, self.folder)
        shutil.copy(os.path.join(self.args.data, 'codepageids.txt'), self.folder)
        with open(os.path.join(self.folder, 'kwpop3hosts.txt'), 'w', newline='') as f:
            f.write('127.0.0.1/%d (screen test),tester,secret,,\r\n' % self.pop3.port)
        self.program = self.spawn([os.path.join(self.folder, os.path.basename(self.args.program))], cwd=self.folder)
        self.main = wait_for('the main window', lambda: self.find_window('F1 for Help'))
        self.check_window('main', self.main, ['F1 for Help'])

    def find_window(self, part):
        for w in self.windows():
            if part in self.name(w):
                return w
        return None

    def save(self, label, img):
        path = os.path.join(self.args.out, 'screen-%s.png' % label)
        img.save(path)
        return path

    def check_window(self, label, wid, title_parts):
        """Waits until the window's rectangle on the screen shows controls."""
        title = self.name(wid)
        if not any(p.lower() in title.lower() for p in title_parts):
            raise Failure('%s: the new window is "%s"' % (label, title))
        box = self.geometry(wid)
        last = ['']

        def drawn():
            img = self.screen.grab(box)
            last[0] = shows_controls(img)
            return img if not last[0] else None

        try:
            img = wait_for(label + ' drawn', drawn)
        except Failure:
            path = self.save(label + '-FAILED', self.screen.grab(box))
            raise Failure('%s ("%s" at %r) is not drawn on the screen: %s; see %s' % (label, title, box, last[0], path))
        self.save(label, img)
        dumped = xwd_root(self.display, box)
        why = shows_controls(dumped)
        if why:
            path = self.save(label + '-xwd-FAILED', dumped)
            raise Failure('%s ("%s" at %r) is black in a dump of the screen: %s; see %s' % (label, title, box, why, path))
        self.checked += 1
        return box, img

    def take_headers(self, m, get_emails):
        """Asks for the first three messages' headers and waits for them."""
        self.opens('range-for-viewer', lambda: self.click(m, *get_emails), ['300 Messages for'], None, None)
        self.xdo('type', '--delay', 20, '1-3')
        self.xdo('key', 'Return')
        wait_for('headers taken', lambda: self.pop3.commands.count('TOP') >= 3)

    def check_page_shown(self, label, wid):
        """The message's page is drawn in the viewer: its large heading
        darkens many pixels of the page's top, in the frame buffer and in
        a dump of the screen."""
        x, y, w, h = self.geometry(wid)
        page = (x, y, w, h // 3)

        def dark(img):
            return sum(1 for v in img.convert('L').getdata() if v < 100)

        # The loading notice has a heading of its own: the message's page is
        # the one drawn once the caption no longer says it is loading.
        try:
            wait_for(label + ' loaded', lambda: 'Loading' not in self.name(wid))
            wait_for(label + ' page drawn', lambda: dark(self.screen.grab(page)) >= 500)
        except Failure:
            path = self.save(label + '-page-FAILED', self.screen.grab((x, y, w, h)))
            raise Failure('%s: no page shows (RETR sent: %s); see %s' % (label, 'RETR' in self.pop3.commands, path))
        dumps = []

        def dumped():
            dumps[:] = [xwd_root(self.display, (x, y, w, h))]
            return dark(dumps[0].crop((0, 0, w, h // 3))) >= 500

        try:
            wait_for(label + ' page in a dump of the screen', dumped)
        except Failure:
            self.save(label + '-page', dumps[0])
            raise Failure('%s: the page is missing from a dump of the screen' % label)
        self.save(label + '-page', dumps[0])

    def check_on_screen(self, label, wid):
        """The whole window, so every button of its bars, lies on the screen."""
        x, y, w, h = self.geometry(wid)
        if x < 0 or y < 0 or x + w > self.screen_size[0] or y + h > self.screen_size[1]:
            raise Failure('%s at %r reaches past the %dx%d screen' % ((label, (x, y, w, h)) + self.screen_size))

    def type_into(self, label, box, before, text):
        """Types TEXT as keys and waits until it shows in the window."""
        self.xdo('type', '--delay', 20, text)
        try:
            after = wait_for(label + ' typing shown', lambda: (lambda i: i if darker_pixels(before, i) >= 20 else None)(
                self.screen.grab(box)))
        except Failure:
            path = self.save(label + '-typed-FAILED', self.screen.grab(box))
            raise Failure('%s: the typed "%s" does not show; see %s' % (label, text, path))
        self.save(label + '-typed', after)

    def opens(self, label, action, title_parts, typed=None, close='Escape'):
        """Runs ACTION, checks the one new window it opens, types into it
        and closes it with a key when asked to."""
        before = self.windows()
        action()
        # A window manager may add windows of its own; the program's has a title.
        # A short-lived window can go between the listing and the look at it.
        def area(w):
            try:
                g = self.geometry(w)
            except (KeyError, ValueError):
                return None
            return g[2] * g[3]
        new = wait_for(label + ' window',
                       lambda: [(w, a) for w in self.windows() - before if self.name(w) and (a := area(w))])
        wid = max(new, key=lambda p: p[1])[0]
        box, img = self.check_window(label, wid, title_parts)
        if typed:
            self.type_into(label, box, img, typed)
        if close:
            self.xdo('key', close)
            wait_for(label + ' closed', lambda: wid not in self.windows())
        print('ok: %s, "%s" at %r' % (label, title_parts[0], box))
        return wid

    def run(self):
        self.start_program()
        m = self.main
        # Places in the main window's client area (its panel of buttons, then the list).
        get_emails, pop3, timeout, list_font = (63, 22), (63, 90), (559, 90), (463, 90)
        viewer = timeout  # its left click
        summary = list_font  # its left click
        from_header, list_body = (150, 121), (400, 300)
        compose = (735, 56)
        cases = [
            # label, action, window title, text typed, closing key
            ('range-question', lambda: self.click(m, *get_emails), ['300 Messages for'], '4-7', 'Escape'),
            ('timeout-question', lambda: self.click(m, *timeout, button=3), ['POP3 Timeout'], '42', 'Escape'),
            ('locate-row', lambda: self.click(m, *from_header, button=3), ['Locate a Row'], 'abc', 'Escape'),
            ('font-dialog', lambda: self.click(m, *list_font, button=3), ['Font'], None, 'Escape'),
            ('help-box', lambda: (self.click(m, *list_body), self.xdo('key', 'F1')), ['Pelliwox'], None, 'Return'),
            # Before the summary mode, whose window would show over it.
            # The first messages' headers, then the viewer on the first one;
            # toggled off again by the same button, which it does not cover.
            ('viewer', lambda: (self.take_headers(m, get_emails), self.click(m, *viewer)), ['Message'], None, None),
            # Before the windows that stay open over the main window's buttons.
            ('summary-window', lambda: self.click(m, *summary), ['Email Summary'], None, 'Escape'),
            ('hosts', lambda: self.click(m, *pop3), ['Hosts Configuration'], None, None),
            ('comms-log', lambda: self.click(m, *pop3, button=3), ['Communications Log'], None, None),
            ('composer', lambda: self.click(m, *compose), ['Send an HTML Email'], 'Hello', None),
        ]
        if self.args.only:
            cases = [c for c in cases if c[0] in self.args.only]
        for label, action, titles, typed, close in cases:
            try:
                wid = self.opens(label, action, titles, typed, close)
                if label == 'viewer':
                    self.check_on_screen(label, wid)
                    self.check_page_shown(label, wid)
                    self.click(m, *viewer)
                    wait_for('viewer hidden', lambda: wid not in self.windows())
                if label == 'comms-log':
                    # Its Find button (340..415) opens the find dialog; beside the
                    # summary, at its narrowest (350), the log shows the button's left end.
                    self.opens('find-dialog', lambda: self.click(wid, min(377, self.geometry(wid)[2] - 5), 16), ['Find'],
                               'needle', 'Escape')
            except Failure as e:
                self.failures.append(str(e))
                print('FAILED: ' + str(e))
                # A window left open would hide the next one's trigger.
                self.xdo('key', 'Escape')
        if 'STAT' not in self.pop3.commands:
            self.failures.append('the program never asked the mailbox for its size')


def run_session(session_class, args):
    """Runs one session's checks and reports them; the exit status."""
    s = None
    try:
        s = session_class(args)
        s.run()
    except Failure as e:
        print('FAILED: ' + str(e))
        if s:
            s.failures.append(str(e))
        else:
            return 1
    finally:
        if s:
            s.close()
    print('%d passed, %d failed' % (s.checked, len(s.failures)))
    return 1 if s.failures else 0


def main(session_class=Session, options=None):
    ap = argparse.ArgumentParser()
    if options:
        options(ap)  # a session's own options
    ap.add_argument('program')
    ap.add_argument('data')
    ap.add_argument('out')
    ap.add_argument('--wm', help='a window manager to run, e.g. openbox')
    ap.add_argument('--only', action='append', help='run only this window\'s case (repeatable), e.g. viewer')
    return run_session(session_class, ap.parse_args())


if __name__ == '__main__':
    sys.exit(main())
