#!/usr/bin/python3
"""Waits until something accepts connections on HOST:PORT (at most SECONDS;
HOST 127.0.0.1 unless given).
Usage: waitport.py PORT [SECONDS [HOST]]"""
import socket
import sys
import time

port, limit = int(sys.argv[1]), float(sys.argv[2]) if len(sys.argv) > 2 else 10
host = sys.argv[3] if len(sys.argv) > 3 else "127.0.0.1"
end = time.time() + limit
while time.time() < end:
    try:
        socket.create_connection((host, port), timeout=0.5).close()
        sys.exit(0)
    except OSError:
        time.sleep(0.05)
sys.exit(1)
