#!/usr/bin/python3
"""A blind spoof, against dnsq (TDnsQuery) and dig side by side: the scripted
peer (dns_peer.py) answers each query with a spray of forged answers that
carry the query's own ID and question, sent to the query's own port but from
another port and from another address. Neither client may take one: with the
right answer after the spray both print it; without it both time out.
Usage: dns_spoof_compare.py DNSQ STATE_DIR (the dns_peer fixture's folder)."""
import subprocess
import sys

dnsq, state = sys.argv[1], sys.argv[2]
FORGED = "6.6.6.6"
failed = 0
for server, portfile in (("127.0.0.1", "dns_peer.port"), ("::1", "dns_peer6.port")):
    port = open(state + "/" + portfile).read().strip()
    for case, answer in (("spoof", "192.0.2.1"), ("spoofonly", None)):
        name = case + ".pwx.test"
        ours = subprocess.run([dnsq, "--port", port, "--timeout", "1500", server, "A", name],
                              capture_output=True, text=True, timeout=30)
        dig = subprocess.run(["dig", "+noedns", "+short", "+tries=1", "+time=2", "-p", port, "@" + server, name, "A"],
                             capture_output=True, text=True, timeout=30)
        ours_took = [l.split()[-1] for l in ours.stdout.splitlines() if l.strip() and not l.startswith(";")]
        dig_took = [l for l in dig.stdout.splitlines() if l.strip() and not l.startswith(";")]
        want = [answer] if answer else []
        good = ours_took == want and dig_took == want and (ours.returncode == 0) == bool(answer)
        print("%s %s %s: dnsq %s (exit %d), dig %s (exit %d)" % ("same" if good else "DIFFER", server, case, ours_took,
                                                               ours.returncode, dig_took, dig.returncode))
        failed += not good
        if FORGED in ours.stdout:
            print("  dnsq took a forged answer")
sys.exit(1 if failed else 0)
