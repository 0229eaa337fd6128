#!/usr/bin/python3
"""Prints a TCP port on HOST (default 127.0.0.1; ::1 for IPv6) that nothing
listens on right now.
Usage: freeport.py [HOST]"""
import socket
import sys

host = sys.argv[1] if len(sys.argv) > 1 else "127.0.0.1"
s = socket.socket(socket.AF_INET6 if ":" in host else socket.AF_INET)
s.bind((host, 0))
print(s.getsockname()[1])
s.close()
