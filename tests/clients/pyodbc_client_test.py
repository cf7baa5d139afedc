#!/usr/bin/env python3
"""korvel serve as pyodbc sees it, over FreeTDS's ODBC driver: an
independent client of the TDS endpoint.

    pyodbc_client_test.py BIN_DIR
"""
import datetime
import decimal
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
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

    def test_two_connections_with_transactions_open_write_different_tables_side_by_side(self):
        setup = self.connect(autocommit=True)
        setup.cursor().execute("create table Side1 (i int primary key); create table Side2 (i int primary key)")
        setup.close()
        # Autocommit off: each connection always has a transaction open.
        a, b = self.connect(), self.connect()
        # An open transaction that has read, also through a parameterized
        # query, keeps no other connection waiting.
        self.assertEqual(a.cursor().execute("select count(*) from Side1 where i > ?", 0).fetchone()[0], 0)
        quick = b.cursor()
        quick.execute("set lock_timeout 0")
        quick.execute("insert into Side2 values (?)", 0)
        b.commit()
        quick.execute("set lock_timeout 20000")  # from here on the two take turns with the write lock
        # Both write at once, each to its own table, committing as they go.
        start = threading.Barrier(2)
        failures = []

        def writer(connection, table, first):
            try:
                cur = connection.cursor()
                start.wait()
                for n in range(first, first + 40):
                    cur.execute("insert into %s values (?)" % table, n)
                    if n % 4 == 3:
                        connection.commit()
                connection.commit()
            except Exception as e:  # reported below, on the test's thread
                failures.append(e)

        threads = [threading.Thread(target=writer, args=(a, "Side1", 0)),
                   threading.Thread(target=writer, args=(b, "Side2", 1))]
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=60)
        self.assertEqual(failures, [])
        self.assertEqual((self.count("Side1"), self.count("Side2")), (40, 41))
        a.close()
        b.close()

    def test_parameters_of_every_type_read_and_write_what_literals_do(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create table Typed (id int primary key, v varchar(20), nv nvarchar(20), m money, "
                    "sm smallmoney, d datetime, sd smalldatetime, b bit, f float, r real, si smallint, "
                    "ti tinyint, bi bigint, ch char(4), nch nchar(4), t text, nt ntext)")
        literal = ("insert into Typed values (1, '华东区', N'上海·浦东', 1234.5678, -12.34, "
                   "'2007-01-23 10:20:30.123', '2007-01-23 10:20', 1, 0.1, 2.5, -32768, 255, "
                   "9007199254740993, 'ab', N'中文', '备注', N'长备注')")
        cur.execute(literal)
        values = ("华东区", "上海·浦东", decimal.Decimal("1234.5678"), decimal.Decimal("-12.34"),
                  datetime.datetime(2007, 1, 23, 10, 20, 30, 123000), datetime.datetime(2007, 1, 23, 10, 20),
                  True, 0.1, 2.5, -32768, 255, 9007199254740993, "ab", "中文", "备注", "长备注")
        cur.execute("insert into Typed values (2, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", *values)
        rows = cur.execute("select v, nv, m, sm, d, sd, b, f, r, si, ti, bi, ch, nch, t, nt "
                           "from Typed order by id").fetchall()
        self.assertEqual(tuple(rows[0]), tuple(rows[1]))
        self.assertEqual(rows[0].m, decimal.Decimal("1234.5678"))
        self.assertEqual(rows[0].nv, "上海·浦东")
        # Each value found by a parameter of its own type.
        for column, value in zip(("v", "nv", "m", "sm", "d", "b", "f", "si", "ti", "bi"),
                                 values[:4] + values[4:5] + values[6:8] + values[9:12]):
            found = cur.execute("select count(*) from Typed where %s = ?" % column, value).fetchone()[0]
            self.assertEqual(found, 2, column)
        # NULLs, and an update through parameters.
        cur.execute("insert into Typed (id, v, nv, m, d, b, f) values (?, ?, ?, ?, ?, ?, ?)",
                    3, None, None, None, None, None, None)
        self.assertEqual(tuple(cur.execute("select v, nv, m, d, b, f from Typed where id = 3").fetchone()),
                         (None,) * 6)
        cur.execute("update Typed set nv = ?, m = m + ? where id = ?", "改过", decimal.Decimal("0.0001"), 1)
        self.assertEqual(cur.rowcount, 1)
        row = cur.execute("select nv, m from Typed where id = 1").fetchone()
        self.assertEqual((row.nv, row.m), ("改过", decimal.Decimal("1234.5679")))
        # Text longer than nvarchar(4000) travels as nvarchar(max).
        long_text = "长" * 5000
        cur.execute("update Typed set nt = ? where id = 2", long_text)
        self.assertEqual(cur.execute("select nt from Typed where id = 2").fetchone()[0], long_text)
        # And comes back whole from an nvarchar(max) and a varchar(max).
        self.assertEqual(cur.execute("select cast(? as nvarchar(max))", long_text).fetchone()[0], long_text)
        self.assertEqual(cur.execute("select replicate(cast('x' as varchar(max)), 9000)").fetchone()[0], "x" * 9000)
        # A value too long for its column is refused, as in a batch.
        with self.assertRaises(pyodbc.Error) as refused:
            cur.execute("update Typed set v = ? where id = 1", "x" * 21)
        self.assertIn("8152", str(refused.exception))
        cur.execute("drop table Typed")
        db.close()

    def test_executemany_loads_ten_thousand_rows_through_one_prepared_statement(self):
        # FreeTDS prepares the INSERT once (sp_prepexec) and runs it for each
        # row (sp_execute). (pyodbc's fast_executemany cannot be used with
        # Debian's FreeTDS 1.3: its driver crashes converting the bound
        # parameter array, before it sends anything.)
        db = self.connect()
        cur = db.cursor()
        cur.execute("create table Many (i int primary key, s nvarchar(20), m money)")
        rows = [(i, "行%d" % i, decimal.Decimal(i) / 100) for i in range(10000)]
        cur.executemany("insert into Many values (?, ?, ?)", rows)
        db.commit()
        got = cur.execute("select count(*), sum(i), sum(m), max(s) from Many").fetchone()
        self.assertEqual((got[0], got[1], got[2], got[3]), (10000, sum(range(10000)), decimal.Decimal("499950.00"),
                                                           "行9999"))
        cur.execute("drop table Many")
        db.commit()
        db.close()

    def test_binary_values_travel_as_bytes_both_ways(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create table Blobs (id int primary key, fixed binary(4), v varbinary(20), big varbinary(max))")
        picture = bytes(range(256)) * 40  # 10240 bytes, past varbinary(8000)
        cur.execute("insert into Blobs values (?, ?, ?, ?)", 1, b"\x01\x02", b"\x00\xff\x00", picture)
        row = cur.execute("select fixed, v, big, datalength(big) from Blobs where id = ?", 1).fetchone()
        self.assertEqual((row[0], row[1], row[2], row[3]), (b"\x01\x02\x00\x00", b"\x00\xff\x00", picture, 10240))
        # A column described as varbinary, and found by a bytes parameter.
        kinds = cur.execute("select cast(0xCAFE as varbinary(10)) as x").description
        self.assertEqual(kinds[0][1], bytearray)
        self.assertEqual(cur.execute("select id from Blobs where v = ?", b"\x00\xff\x00").fetchone()[0], 1)
        cur.execute("drop table Blobs")
        db.close()

    def test_call_of_a_procedure_with_an_output_parameter_and_a_return_status(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create procedure Twice @a int, @b int = 7 output as "
                    "set @b = @a * 2 select @a as a, @b as b return @a + 1")
        self.assertEqual(tuple(cur.execute("{CALL Twice (?)}", 21).fetchone()), (21, 42))
        # The output parameter and the return status, as a batch reads them.
        cur.execute("set nocount on declare @out int, @rc int "
                    "exec @rc = Twice 5, @out output select @out, @rc")
        self.assertEqual(tuple(cur.fetchone()), (5, 10))
        self.assertTrue(cur.nextset())
        self.assertEqual(tuple(cur.fetchone()), (10, 6))
        cur.execute("drop procedure Twice")
        db.close()

    def test_catalog_functions_list_the_tables_and_their_columns(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        tables = {row.table_name for row in cur.tables(tableType="TABLE")}
        self.assertTrue({"Depart", "Employee", "Region", "Goods"} <= tables, tables)
        columns = [(row.column_name, row.type_name, row.column_size, row.nullable)
                   for row in cur.columns(table="Region")]
        self.assertEqual(columns[:2], [("RegionID", "int identity", 10, 0), ("Computer", "nvarchar", 20, 1)])
        self.assertIn(("Class", "varchar", 50, 0), columns)
        keys = [row.column_name for row in cur.primaryKeys("Region")]
        self.assertEqual(keys, ["RegionID"])
        self.assertTrue(any(row.type_name == "money" for row in cur.getTypeInfo()))
        db.close()

    def test_isql_without_e_prepares_every_statement_and_runs_it(self):
        isql = shutil.which("isql")
        if not isql:
            self.skipTest("isql (unixodbc) is not installed")
        with tempfile.TemporaryDirectory() as home:
            with open(os.path.join(home, "odbc.ini"), "w") as f:
                f.write("[Served]\nDriver = FreeTDS\nServer = 127.0.0.1\nPort = %d\nDatabase = Sales60\n"
                        "TDS_Version = 7.4\nClientCharset = UTF-8\n" % self.port)
            env = dict(os.environ, ODBCINI=os.path.join(home, "odbc.ini"))
            script = ("create table FromIsql (i int, s nvarchar(10))\n"
                      "insert into FromIsql values (1, N'甲')\n"
                      "select i, s from FromIsql\n"
                      "drop table FromIsql\n")
            out = subprocess.run([isql, "-b", "-d|", "Served", "sa", PASSWORD], input=script.encode(), env=env,
                                 capture_output=True, timeout=60)
        text = out.stdout.decode("utf-8", "replace")
        self.assertEqual(out.returncode, 0, text + out.stderr.decode("utf-8", "replace"))
        self.assertIn("1|甲", text)

    def test_a_cancelled_long_query_leaves_the_connection_usable(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create table Big (i int) insert into Big values (1)")
        for _ in range(11):
            cur.execute("insert into Big select i from Big")
        timer = threading.Timer(1.0, cur.cancel)
        timer.start()
        started = time.time()
        with self.assertRaises(pyodbc.Error):
            cur.execute("select count(*) from Big a, Big b, Big c").fetchall()
        timer.join()
        self.assertLess(time.time() - started, 30)
        self.assertEqual(cur.execute("select count(*) from Big").fetchone()[0], 2048)
        cur.execute("drop table Big")
        db.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
