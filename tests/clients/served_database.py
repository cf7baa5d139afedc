"""A database of its own served by `korvel serve` on a free port, for the
Python client tests: a unittest base class that makes the server folder,
starts the server before the tests of its class and stops it after them.

The tests are run as `SCRIPT BIN_DIR`; BIN takes that argument off sys.argv.
"""
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

BIN = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../../build/bin")
PASSWORD = "secret"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class ServedDatabase(unittest.TestCase):
    """Sales60, sa's password PASSWORD, served at 127.0.0.1:cls.port."""

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        folder = os.path.join(cls.dir.name, "srv")
        subprocess.run([os.path.join(BIN, "korvel"), "create-database", "--server", "file:" + folder,
                        "--database", "Sales60", "--password", PASSWORD], check=True, capture_output=True)
        cls.port = free_port()
        cls.server = subprocess.Popen([os.path.join(BIN, "korvel"), "serve", "--server", "file:" + folder,
                                       "--listen", "127.0.0.1:%d" % cls.port],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while True:
            try:
                socket.create_connection(("127.0.0.1", cls.port), timeout=1).close()
                break
            except OSError:
                if time.time() > deadline:
                    raise
                time.sleep(0.1)

    @classmethod
    def tearDownClass(cls):
        cls.server.terminate()
        cls.server.wait(timeout=20)
        cls.dir.cleanup()
