#!/usr/bin/env python3
"""korvel serve as pyodbc sees it, over FreeTDS's ODBC driver: an
independent client of the TDS endpoint.

    pyodbc_client_test.py BIN_DIR
"""
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

import pyodbc

BIN = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../../build/bin")
PASSWORD = "secret"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class ServedDatabase(unittest.TestCase):
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

    def connect(self, **options):
        return pyodbc.connect("DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=%d;DATABASE=Sales60;UID=sa;PWD=%s;"
                              "TDS_Version=7.4;ClientCharset=UTF-8" % (self.port, PASSWORD), timeout=10, **options)

    def count(self, table, where=""):
        with self.connect(autocommit=True) as other:
            return other.cursor().execute("select count(*) from %s %s" % (table, where)).fetchone()[0]

    def test_the_default_connection_commits_and_rolls_back_what_it_says(self):
        # pyodbc leaves autocommit off: FreeTDS begins transactions with
        # transaction manager requests.
        db = self.connect()
        self.assertFalse(db.autocommit)
        cur = db.cursor()
        cur.execute("create table Scratch (i int, s nvarchar(10))")
        db.commit()
        cur.execute("insert into Scratch values (1, N'一')")
        db.rollback()
        self.assertEqual(self.count("Scratch"), 0)
        cur.execute("insert into Scratch values (2, N'二')")
        self.assertEqual(cur.execute("select s from Scratch").fetchone()[0], "二")
        db.commit()
        self.assertEqual(self.count("Scratch", "where i = 2"), 1)
        cur.execute("drop table Scratch")
        db.commit()
        db.close()

    def test_a_connection_left_with_work_rolls_it_back(self):
        db = self.connect()
        cur = db.cursor()
        cur.execute("create table Left1 (i int)")
        db.commit()
        cur.execute("insert into Left1 values (1)")
        db.close()  # no commit
        self.assertEqual(self.count("Left1"), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
