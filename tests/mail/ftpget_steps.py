#!/usr/bin/python3
"""tools/ftpget end to end against proftpd and pyftpdlib (AUTH TLS, active),
and proftpd on ::1 (AUTH TLS, active): every step once, each reported with its reply and what the client took from
it, the files checked on both sides; a failing step ends the run with exit 1
and later steps are not run; bad arguments give exit 2.
Usage: ftpget_steps.py FTPGET STATE_DIR"""
import hashlib
import os
import subprocess
import sys
import tempfile

ftpget, state = sys.argv[1], sys.argv[2]
ports = dict(l.strip().split("=") for l in open(state + "/ports.env") if "=" in l)
root = os.path.join(state, "root")
work = tempfile.mkdtemp()
failed = 0


def check(what, ok, detail=""):
    global failed
    print(("ok   " if ok else "FAIL ") + what + ("" if ok else ": " + detail))
    failed += not ok


def run(server, *steps, tls=(), active=False):
    user = "tester"
    host = "::1" if server.startswith("FTP6_") else "127.0.0.1"
    cmd = [ftpget] + list(tls) + (["--active"] if active else []) + [host, ports[server], user, "secret"]
    out = subprocess.run(cmd + list(steps), capture_output=True, text=True, timeout=60)
    return out.returncode, out.stdout, out.stderr


def reported(out, step):
    """The reply and result printed for STEP ("size x.bin")."""
    for line in out.splitlines():
        if line.startswith(step + ": "):
            return line[len(step) + 2:]
    return None


def md5(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


data = os.urandom(300000) + b"tail"
src = os.path.join(work, "src.bin")
with open(src, "wb") as f:
    f.write(data)
half = os.path.join(work, "half.bin")
text = os.path.join(work, "text.txt")
with open(text, "wb") as f:
    f.write(b"one\ntwo\n")

for server, tls, active in (("FTP_PROFTPD", (), False),
                            ("FTP_TLS", ("--tls", "--ca", state + "/ca.crt"), True),
                            ("FTP6_PROFTPD", ("--tls", "--ca", state + "/ca.crt"), True)):
    tag = server.lower()
    with open(half, "wb") as f:
        f.write(data[:100000])
    d = "steps-%s-%d" % (tag, os.getpid())
    rc, out, err = run(server,
                       "feat", "syst", "mkd", d, "cwd", d, "pwd",
                       "put", "a.bin", src, "size", "a.bin",
                       "mfmt", "20210607080910", "a.bin", "mdtm", "a.bin", "mlst", "a.bin",
                       "get", "a.bin", os.path.join(work, "back.bin"),
                       "restget", "a.bin", half,
                       "put", "b.bin", half, "restput", "b.bin", src,
                       "append", "b.bin", src,
                       "list", "ls", "mlsd",
                       "rename", "b.bin", "c.bin",
                       "ascii", "put", "t.txt", text, "binary",
                       "quote", "NOOP",
                       "dele", "a.bin", "dele", "c.bin", "dele", "t.txt", "cdup", "rmd", d,
                       tls=tls, active=active)
    check(tag + " exit 0", rc == 0, err)
    for step, want in (("feat", "211"), ("syst", "215"), ("mkd " + d, "257"), ("cwd " + d, "250"),
                       ("pwd", '257 "/' + d), ("put a.bin " + src, "226"), ("size a.bin", "213 300004 = 300004"),
                       ("mfmt 20210607080910 a.bin", "213"), ("mdtm a.bin", "213 20210607080910 = 20210607080910.000"),
                       ("mlst a.bin", "250"), ("restget a.bin " + half, "226"), ("restput b.bin " + src, "226"),
                       ("rename b.bin c.bin", "250"), ("quote NOOP", "200"), ("rmd " + d, "250")):
        got = reported(out, step)
        check("%s reports %s" % (tag, step), got is not None and got.startswith(want), repr(got))
    check(tag + " the download is the file", md5(os.path.join(work, "back.bin")) == md5(src))
    check(tag + " restget completed the local half", md5(half) == md5(src))
    check(tag + " the listings named the files", out.count("a.bin") >= 3 and "b.bin" in out)
    check(tag + " the folder is gone", not os.path.exists(os.path.join(root, d)))
    # restput and append made c.bin the file twice, then it was deleted.
    check(tag + " append reported", (reported(out, "append b.bin " + src) or "").startswith("226"))

# A failing step ends the run: later steps are not run, QUIT still goes.
rc, out, err = run("FTP_PROFTPD", "size", "no-such-file", "pwd")
check("a failing step gives exit 1", rc == 1 and "size no-such-file: failed: 550" in err and "pwd:" not in out,
      out + err)
rc, out, err = run("FTP_PROFTPD", "frobnicate")
check("an unknown step gives exit 2 before connecting", rc == 2 and "connect" not in out, out + err)
rc, out, err = run("FTP_PROFTPD", "get", "only-one-argument")
check("a missing argument gives exit 2", rc == 2, out + err)
sys.exit(1 if failed else 0)
