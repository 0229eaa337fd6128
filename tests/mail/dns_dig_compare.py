#!/usr/bin/python3
"""What dnsq (TDnsQuery) reads from a private BIND 9 named equals what dig
reads from the same server, over UDP and TCP, IPv4 and IPv6: the answers,
the response code and the exit status it gives (3 for an error answer).
A UDP answer too long for a datagram is asked again over TCP, as dig does.
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


def ours(server, proto, rtype, name):
    """(status, asked again over TCP, records, exit status)."""
    args = [dnsq, "--port", port] + (["--tcp"] if proto == "tcp" else []) + [server, rtype, name]
    out = subprocess.run(args, capture_output=True, text=True, timeout=30)
    if out.returncode not in (0, 3):
        raise SystemExit("dnsq %s failed (%d): %s" % (" ".join(args[1:]), out.returncode, out.stderr))
    lines = out.stdout.splitlines()
    head = lines[0]  # ";; status: NOERROR, truncated: no, asked again over TCP: no"
    status = head.split("status: ")[1].split(",")[0]
    again = head.endswith("TCP: yes")
    if "truncated: no" not in head:
        raise SystemExit("dnsq %s: a truncated answer was kept: %s" % (" ".join(args[1:]), head))
    return status, again, [normal(l) for l in lines[1:] if l.strip()], out.returncode


def digs(server, proto, rtype, name, ignore=True):
    """(status, records)."""
    args = ["-x", name] if rtype == "PTR" else [name, rtype]
    cmd = ["dig", "+noedns", "+noall", "+comments", "+answer", "+tries=1", "+time=5", "-p", port, "@" + server]
    cmd += (["+ignore"] if ignore else []) + (["+tcp"] if proto == "tcp" else []) + args
    out = subprocess.run(cmd, capture_output=True, text=True, timeout=30, check=True)
    status = out.stdout.split("status: ")[1].split(",")[0]
    return status, [normal(l) for l in out.stdout.splitlines() if l.strip() and not l.startswith(";")]


CASES = [
    ("MX", "pwx.test"),
    ("A", "www.pwx.test"),
    ("A", "mail.pwx.test"),
    ("AAAA", "www.pwx.test"),
    ("AAAA", "v6.pwx.test"),
    ("PTR", "192.0.2.25"),
    ("PTR", "192.0.2.7"),
    ("LOC", "geo.pwx.test"),
    ("LOC", "south.pwx.test"),
    ("A", "none.pwx.test"),   # NXDOMAIN
    ("A", "example.org"),     # REFUSED: not this server's zone
]

failed = 0
for server in ("127.0.0.1", "::1"):
    for proto in ("udp", "tcp"):
        where = "%s %s" % (server, proto)
        for rtype, name in CASES:
            status, again, a, rc = ours(server, proto, rtype, name)
            dstatus, b = digs(server, proto, rtype, name)
            want_rc = 0 if dstatus == "NOERROR" else 3
            if (status, sorted(a), rc, again) != (dstatus, sorted(b), want_rc, False):
                failed += 1
                print("DIFFER %s %s %s\n ours: %s %s exit %d\n dig:  %s %s" % (where, rtype, name, status, sorted(a), rc,
                                                                             dstatus, sorted(b)))
            else:
                print("same %s %s %s: %s, %d answers" % (where, rtype, name, status, len(a)))
        # 60 records: over UDP only part fits, so the question goes again over
        # TCP, as dig does without +ignore; of the 60 the first 50 are kept.
        status, again, a, rc = ours(server, proto, "A", "many.pwx.test")
        _, b = digs(server, proto, "A", "many.pwx.test", ignore=False)
        if not (len(b) == 60 and len(a) == 50 and set(a) <= set(b) and again == (proto == "udp") and rc == 0):
            failed += 1
            print("DIFFER %s many: ours %d answers (asked again over TCP: %s), dig %d" % (where, len(a), again, len(b)))
        else:
            print("same %s many (%d of %d answers%s)" % (where, len(a), len(b), ", asked again over TCP" if again else ""))
sys.exit(1 if failed else 0)
