#!/usr/bin/python3
"""The spelling dialog as a person uses it: a memo with a misspelling on an X
server of its own (Xvfb) and a whole-text check over it. The dialog must show
in the frame buffer and in a dump of the screen (xwd -root), beside the memo
and not over the misspelt word; a real click (xdotool) on its Change button
replaces the word with the first suggestion, and the check ends with the
memo's text changed.

Usage: spelldialog_screen.py DEMO_PROGRAM MAIN_DICTIONARY OUT_DIR
Captures are saved as OUT_DIR/screen-spelldialog-*.png.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_test import Failure, Session, main, wait_for, xwd_root  # noqa: E402

# Places in the dialog's window (its client area).
CHANGE_BUTTON = (294, 46)
BEFORE = 'The quick brown fox jumsp over the lazy dog.\r\nIt was a sunny day.'
AFTER = 'The quick brown fox jumps over the lazy dog.\r\nIt was a sunny day.'


class SpellDialogSession(Session):
    def start_program(self):
        self.out_file = os.path.join(self.folder, 'memo.txt')
        self.program = self.spawn([os.path.abspath(self.args.program), os.path.abspath(self.args.data), self.folder, self.out_file], cwd=self.folder)
        self.memo = wait_for('the memo window', lambda: self.find_window('Pelliwox memo'))
        self.check_window('spelldialog-memo', self.memo, ['Pelliwox memo'])

    def run(self):
        self.start_program()
        dialog = wait_for('the spelling dialog', lambda: self.find_window('Spelling'))
        box, _ = self.check_window('spelldialog', dialog, ['Spelling'])
        self.check_on_screen('spelldialog', dialog)
        # Both windows together, as the screen shows them.
        mx, my, mw, mh = self.geometry(self.memo)
        x, y, w, h = box
        left, top = min(mx, x), min(my, y)
        both = (left, top, max(mx + mw, x + w) - left, max(my + mh, y + h) - top)
        self.save('spelldialog-with-memo', xwd_root(self.display, both))
        # The word stays in sight: the dialog lies below the memo's text.
        if y < my + 40:
            raise Failure('the dialog at %r covers the memo\'s first line (memo at %r)' % (box, (mx, my, mw, mh)))
        if os.path.exists(self.out_file):
            raise Failure('the check ended before anything was chosen')

        self.click(dialog, *CHANGE_BUTTON)
        wait_for('the check to end', lambda: os.path.exists(self.out_file))
        with open(self.out_file, newline='') as f:
            text = f.read()
        if text != AFTER:
            raise Failure('after Change the memo holds %r (before: %r)' % (text, BEFORE))
        print('ok: Change made the memo read %r' % text)
        wait_for('the dialog closed', lambda: dialog not in self.windows())
        self.save('spelldialog-after', xwd_root(self.display, self.geometry(self.memo)))


if __name__ == '__main__':
    sys.exit(main(SpellDialogSession))
