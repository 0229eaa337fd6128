#!/usr/bin/python3
"""The answers dnsq (TDnsQuery) decodes from a private BIND 9 named equal what
dig reads from the same server, over UDP and TCP.
Usage: dns_dig_compare.py DNSQ STATE_DIR (the named fixture's folder)."""
import subprocess
import sys

dnsq, state = sys.argv[1], sys.argv[2]
port = open(state + "/named.port").read().strip()


def loc_fields(data):
    """LOC text as numbers: 'd m s.sss H d m s.sss H altm ...' -> (lat, lon, alt)."""
    f = data.split()
    def angle(d, m, s, h):
        v = int(d) * 3600000 + int(m) * 60000 + round(float(s) * 1000)
        return -v if h in "SW" else v
    return angle(*f[0:4]), angle(*f[4:8]), round(float(f[8].rstrip("m")))


def normal(line):
    name, ttl, cls, rtype, data = line.split(None, 4)
    if rtype == "LOC":
        data = loc_fields(data)
    return (name.lower(), int(ttl), cls, rtype, data)


def ours(proto, rtype, name):
    args = [dnsq, "--port", port] + (["--tcp"] if proto == "tcp" else []) + ["127.0.0.1", rtype, name]
    out = subprocess.run(args, capture_output=True, text=True, timeout=30)
    if out.returncode != 0:
        raise SystemExit("dnsq %s failed (%d): %s" % (" ".join(args[1:]), out.returncode, out.stderr))
    return [normal(l) for l in out.stdout.splitlines() if l.strip()]


def digs(proto, rtype, name):
    if rtype == "PTR":
        args = ["-x", name]
    else:
        args = [name, rtype]
    cmd = ["dig", "+ignore", "+noedns", "+noall", "+answer", "+tries=1", "+time=5", "-p", port, "@127.0.0.1"]
    cmd += (["+tcp"] if proto == "tcp" else []) + args
    out = subprocess.run(cmd, capture_output=True, text=True, timeout=30, check=True)
    return [normal(l) for l in out.stdout.splitlines() if l.strip() and not l.startswith(";")]


CASES = [
    ("MX", "pwx.test"),
    ("A", "www.pwx.test"),
    ("A", "mail.pwx.test"),
    ("PTR", "192.0.2.25"),
    ("PTR", "192.0.2.7"),
    ("LOC", "geo.pwx.test"),
    ("LOC", "south.pwx.test"),
    ("A", "none.pwx.test"),
]

failed = 0
for proto in ("udp", "tcp"):
    for rtype, name in CASES:
        a, b = sorted(ours(proto, rtype, name)), sorted(digs(proto, rtype, name))
        if a != b:
            failed += 1
            print("DIFFER %s %s %s\n ours: %s\n dig:  %s" % (proto, rtype, name, a, b))
        else:
            print("same %s %s %s (%d answers)" % (proto, rtype, name, len(a)))
    # 60 records: over UDP the server sends as many as fit (in an order of its
    # own each time), over TCP all 60, of which the first 50 are kept.
    a, b = ours(proto, "A", "many.pwx.test"), digs(proto, "A", "many.pwx.test")
    if proto == "tcp":
        good = len(b) == 60 and len(a) == 50 and set(a) <= set(b)
    else:
        good = 0 < len(b) < 60 and len(a) == len(b)
    if not good:
        failed += 1
        print("DIFFER %s many: ours %d answers, dig %d" % (proto, len(a), len(b)))
    else:
        print("same %s many (%d of %d answers)" % (proto, len(a), len(b)))
sys.exit(1 if failed else 0)
