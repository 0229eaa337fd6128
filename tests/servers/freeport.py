#!/usr/bin/python3
"""Prints a TCP port on 127.0.0.1 that nothing listens on right now."""
import socket

s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()
