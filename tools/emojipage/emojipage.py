#!/usr/bin/python3
"""Writes the viewer's emoji page from the Unicode emoji test data: every
fully-qualified emoji, under its group and subgroup, in the data's order.

Each emoji is a link to the page itself with the emoji's code points in the
query ("?pick=1F600", sequences joined by "-"): a real address the page can
report. A click puts the emoji on the clipboard and then follows the link;
the viewer takes that navigation as the pick and pastes the clipboard.

Usage: emojipage.py EMOJI_TEST_TXT OUT_HTM
"""
import html
import os
import sys

PAGE_HEAD = """<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<title>Emoji</title>
<style>
body { font-family: sans-serif; margin: 8px 12px; background: #fafafa; color: #222; }
#groups { position: sticky; top: 0; background: #fafafa; padding: 4px 0; border-bottom: 1px solid #ccc; }
#groups button { margin: 2px; font-size: 12px; }
h2 { font-size: 16px; margin: 14px 0 4px; border-bottom: 1px solid #ddd; scroll-margin-top: 40px; }
h3 { font-size: 11px; font-weight: normal; color: #666; margin: 6px 0 2px; }
a.e { display: inline-block; width: 1.6em; text-align: center; font-size: 24px; line-height: 1.4;
      font-family: "Noto Color Emoji", sans-serif; color: #222; text-decoration: none; border-radius: 4px; }
a.e:hover { background: #d8e6ff; }
</style>
<script>
// The pick: the emoji goes on the clipboard as plain text, then the link is
// followed. The copy runs through the page's copy event so nothing on the
// page needs selecting; where the engine refuses it, the asynchronous
// clipboard is tried before the link is followed all the same.
var picked = null;
document.addEventListener('copy', function (e) {
  if (picked === null) return;
  e.clipboardData.setData('text/plain', picked);
  e.preventDefault();
});
function copyThen(text, go) {
  var done = false;
  picked = text;
  try { done = document.execCommand('copy'); } catch (x) { done = false; }
  picked = null;
  // Only a copy that worked may navigate: the viewer pastes what the
  // clipboard holds once the page navigates.
  if (done) { go(); return; }
  if (navigator.clipboard) navigator.clipboard.writeText(text).then(go, function () {});
}
document.addEventListener('click', function (e) {
  var a = e.target.closest ? e.target.closest('a.e') : null;
  if (a) {
    e.preventDefault();
    copyThen(a.textContent, function () { location.href = a.href; });
    return;
  }
  var b = e.target.closest ? e.target.closest('#groups button') : null;
  if (b) document.getElementById(b.getAttribute('data-to')).scrollIntoView();
});
</script>
</head>
<body>
"""


def read_groups(path):
    """[(group, [(subgroup, [(code points, name)])])] of the fully-qualified
    emoji, in the file's order; groups and subgroups without any are left out."""
    groups = []
    group = subgroup = None
    with open(path, encoding='utf-8') as f:
        for line in f:
            line = line.strip()
            if line.startswith('# group:'):
                group = (line.split(':', 1)[1].strip(), [])
                groups.append(group)
                subgroup = None
            elif line.startswith('# subgroup:'):
                if group is None:
                    raise ValueError('%s: a subgroup before any group' % path)
                subgroup = (line.split(':', 1)[1].strip(), [])
                group[1].append(subgroup)
            elif line and not line.startswith('#'):
                fields, _, comment = line.partition('#')
                codes, _, status = fields.partition(';')
                if status.strip() != 'fully-qualified':
                    continue
                if subgroup is None:
                    raise ValueError('%s: an emoji outside any subgroup: %s' % (path, line))
                points = [int(c, 16) for c in codes.split()]
                # The comment is the emoji, its version ("E1.0") and its name.
                words = comment.split()
                name = ' '.join(words[2:]) if len(words) > 2 else codes.strip()
                subgroup[1].append((points, name))
    out = []
    for name, subgroups in groups:
        kept = [(s, items) for s, items in subgroups if items]
        if kept:
            out.append((name, kept))
    return out


def page(groups):
    parts = [PAGE_HEAD, '<div id="groups">']
    for i, (name, _) in enumerate(groups, 1):
        parts.append('<button type="button" data-to="g%d">%s</button>' % (i, html.escape(name)))
    parts.append('</div>\n')
    for i, (name, subgroups) in enumerate(groups, 1):
        parts.append('<section class="group"><h2 id="g%d">%s</h2>\n' % (i, html.escape(name)))
        for sub, items in subgroups:
            parts.append('<div class="subgroup"><h3>%s</h3>' % html.escape(sub.replace('-', ' ')))
            for points, title in items:
                text = ''.join(chr(p) for p in points)
                code = '-'.join('%X' % p for p in points)
                parts.append('<a class="e" href="?pick=%s" title="%s">%s</a>' % (code, html.escape(title), text))
            parts.append('</div>\n')
        parts.append('</section>\n')
    parts.append('</body></html>\n')
    return ''.join(parts)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    source, target = argv[1], argv[2]
    groups = read_groups(source)
    if not groups:
        sys.stderr.write('%s: no fully-qualified emoji found\n' % source)
        return 1
    text = page(groups)
    os.makedirs(os.path.dirname(os.path.abspath(target)), exist_ok=True)
    temp = target + '.tmp'
    with open(temp, 'w', encoding='utf-8', newline='\r\n') as f:
        f.write(text)
    os.replace(temp, target)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
