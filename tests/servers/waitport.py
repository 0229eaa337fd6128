#!/usr/bin/python3
"""Waits until something accepts connections on 127.0.0.1:PORT (at most SECONDS)."""
import socket
import sys
import time

port, limit = int(sys.argv[1]), float(sys.argv[2]) if len(sys.argv) > 2 else 10
end = time.time() + limit
while time.time() < end:
    try:
        socket.create_connection(("127.0.0.1", port), timeout=0.5).close()
        sys.exit(0)
    except OSError:
        time.sleep(0.05)
sys.exit(1)
