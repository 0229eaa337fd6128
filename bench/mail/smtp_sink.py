#!/usr/bin/python3
"""An aiosmtpd server on a free port of 127.0.0.1 that takes every message and
keeps nothing, for the send benchmark. Writes the port to PORT_FILE and runs
until it is terminated.
Usage: smtp_sink.py PORT_FILE"""
import signal
import socket
import sys
import threading

from aiosmtpd.controller import Controller


class Sink:
    async def handle_DATA(self, server, session, envelope):
        return "250 2.0.0 Message accepted"


s = socket.socket()
s.bind(("127.0.0.1", 0))
port = s.getsockname()[1]
s.close()
controller = Controller(Sink(), hostname="127.0.0.1", port=port, decode_data=False)
controller.start()
with open(sys.argv[1], "w") as f:
    f.write(str(port))
stop = threading.Event()
signal.signal(signal.SIGTERM, lambda *_: stop.set())
signal.signal(signal.SIGINT, lambda *_: stop.set())
stop.wait()
controller.stop()
