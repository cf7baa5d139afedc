#!/usr/bin/env python3
"""korvel serve as pyodbc sees it, over FreeTDS's ODBC driver: an
independent client of the TDS endpoint.

    pyodbc_client_test.py BIN_DIR
"""
import ctypes
import datetime
import decimal
import os
import shutil
import subprocess
import tempfile
import threading
import time
import unittest

import pyodbc

from served_database import PASSWORD, ServedDatabase as ServedDatabaseBase


# ODBC's cursor types (SQLSetConnectAttr / SQLSetStmtAttr SQL_ATTR_CURSOR_TYPE):
# FreeTDS opens a server cursor for any but forward-only.
SQL_ATTR_CURSOR_TYPE = 6
SQL_CURSOR_KEYSET_DRIVEN = 1
SQL_CURSOR_STATIC = 3


class ScrollableStatement:
    """A statement of FreeTDS's ODBC driver called through unixODBC
    directly: pyodbc has no scrolling, SQLFetchScroll does. The first
    column of each row fetched is read as an int."""

    FETCH = {"next": 1, "first": 2, "last": 3, "prior": 4, "absolute": 5, "relative": 6}

    def __init__(self, connection_string, cursor_type):
        self.odbc = ctypes.CDLL("libodbc.so.2")
        self.odbc.SQLFetchScroll.argtypes = [ctypes.c_void_p, ctypes.c_short, ctypes.c_ssize_t]
        self.odbc.SQLGetData.argtypes = [ctypes.c_void_p, ctypes.c_ushort, ctypes.c_short, ctypes.c_void_p,
                                         ctypes.c_ssize_t, ctypes.POINTER(ctypes.c_ssize_t)]
        self.odbc.SQLSetEnvAttr.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
        self.odbc.SQLSetStmtAttr.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
        self.odbc.SQLDriverConnect.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_short,
                                               ctypes.c_void_p, ctypes.c_short, ctypes.c_void_p, ctypes.c_ushort]
        self.odbc.SQLExecDirect.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.odbc.SQLAllocHandle.argtypes = [ctypes.c_short, ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p)]
        self.odbc.SQLFreeHandle.argtypes = [ctypes.c_short, ctypes.c_void_p]
        self.odbc.SQLDisconnect.argtypes = [ctypes.c_void_p]
        self.env, self.dbc, self.stmt = ctypes.c_void_p(), ctypes.c_void_p(), ctypes.c_void_p()
        self.check(self.odbc.SQLAllocHandle(1, None, ctypes.byref(self.env)), "SQLAllocHandle(ENV)")
        self.check(self.odbc.SQLSetEnvAttr(self.env, 200, ctypes.c_void_p(3), 0), "SQL_ATTR_ODBC_VERSION")
        self.check(self.odbc.SQLAllocHandle(2, self.env, ctypes.byref(self.dbc)), "SQLAllocHandle(DBC)")
        self.check(self.odbc.SQLDriverConnect(self.dbc, None, connection_string.encode(), -3, None, 0, None, 0),
                   "SQLDriverConnect")
        self.check(self.odbc.SQLAllocHandle(3, self.dbc, ctypes.byref(self.stmt)), "SQLAllocHandle(STMT)")
        self.check(self.odbc.SQLSetStmtAttr(self.stmt, SQL_ATTR_CURSOR_TYPE, ctypes.c_void_p(cursor_type), 0),
                   "SQL_ATTR_CURSOR_TYPE")

    @staticmethod
    def check(rc, what):
        if rc not in (0, 1):
            raise AssertionError("%s returned %d" % (what, rc))

    def execute(self, sql):
        self.check(self.odbc.SQLExecDirect(self.stmt, sql.encode(), -3), "SQLExecDirect")

    def scroll(self, orientation, offset=0):
        """The first column of the row SQLFetchScroll lands on, or None for
        SQL_NO_DATA."""
        rc = self.odbc.SQLFetchScroll(self.stmt, self.FETCH[orientation], offset)
        if rc == 100:
            return None
        self.check(rc, "SQLFetchScroll(%s, %d)" % (orientation, offset))
        value, indicator = ctypes.c_int32(), ctypes.c_ssize_t()
        self.check(self.odbc.SQLGetData(self.stmt, 1, -16, ctypes.byref(value), 4, ctypes.byref(indicator)),
                   "SQLGetData")
        return value.value

    def close(self):
        self.odbc.SQLFreeHandle(3, self.stmt)
        self.odbc.SQLDisconnect(self.dbc)
        self.odbc.SQLFreeHandle(2, self.dbc)
        self.odbc.SQLFreeHandle(1, self.env)


class ServedDatabase(ServedDatabaseBase):
    def connection_string(self):
        return ("DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=%d;DATABASE=Sales60;UID=sa;PWD=%s;"
                "TDS_Version=7.4;ClientCharset=UTF-8" % (self.port, PASSWORD))

    def connect(self, **options):
        return pyodbc.connect(self.connection_string(), timeout=10, **options)

    def count(self, table, where=""):
        with self.connect(autocommit=True) as other:
            return other.cursor().execute("select count(*) from %s %s" % (table, where)).fetchone()[0]

    def test_compute_rows_are_result_sets_after_the_rows_they_follow(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create table #ledger (region varchar(5) not null, qty int not null, amount money null)")
        cur.execute("insert into #ledger values ('a', 1, 2.5), ('a', 2, null), ('b', 3, 4)")
        # The ODBC driver gives each compute row as a result set of its own,
        # between the rows before it and the rows after it.
        cur.execute("select region, qty, amount from #ledger order by region, qty "
                    "compute sum(qty), avg(amount) by region compute count(qty)")
        sets = [(len(cur.description), [tuple(row) for row in cur.fetchall()])]
        while cur.nextset():
            sets.append((len(cur.description), [tuple(row) for row in cur.fetchall()]))
        self.assertEqual(sets, [
            (3, [("a", 1, decimal.Decimal("2.5000")), ("a", 2, None)]),
            (2, [(3, decimal.Decimal("2.5000"))]),
            (3, [("b", 3, decimal.Decimal("4.0000"))]),
            (2, [(3, decimal.Decimal("4.0000"))]),
            (1, [(3,)]),
        ])
        # The connection goes on.
        cur.execute("select count(*) from #ledger")
        self.assertEqual(cur.fetchone()[0], 3)
        db.close()

    def test_browse_mode_keys_stay_hidden_from_the_application(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create table #tmp1 (i numeric(10,0) identity primary key, b varchar(20) null, c int not null)")
        cur.execute("insert into #tmp1 (b, c) values ('x', 1), (null, 2)")
        # The key browse mode adds after the columns asked for is hidden:
        # the ODBC driver counts and fetches the two columns alone.
        cur.execute("select c, b from #tmp1 order by c for browse")
        self.assertEqual([d[0] for d in cur.description], ["c", "b"])
        self.assertEqual([tuple(row) for row in cur.fetchall()], [(1, "x"), (2, None)])
        cur.execute("set no_browsetable on")
        cur.execute("select b from #tmp1 where c = 1")
        self.assertEqual([d[0] for d in cur.description], ["b"])
        self.assertEqual(cur.fetchall()[0][0], "x")
        cur.execute("set no_browsetable off")
        db.close()

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

    def test_max_columns_read_long_empty_and_null_values_whole(self):
        # At TDS 7.4 varchar(max), nvarchar(max) and varbinary(max) come as
        # their own types in PLP chunks, whatever their length.
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create table Lobs (id int primary key, v varchar(max), n nvarchar(max), b varbinary(max))")
        text = "门店" * 3000 + "end"             # 12003 bytes in CP936
        wide = "商品" * 4500                      # 9000 UTF-16 units
        blob = bytes(range(256)) * 36              # 9216 bytes
        cur.execute("insert into Lobs values (?, ?, ?, ?)", 1, text, wide, blob)
        cur.execute("insert into Lobs values (2, '', N'', 0x)")
        cur.execute("insert into Lobs values (3, null, null, null)")
        rows = cur.execute("select id, v, n, b, datalength(v), datalength(n) from Lobs order by id").fetchall()
        self.assertEqual([tuple(r) for r in rows],
                         [(1, text, wide, blob, 12003, 18000), (2, "", "", b"", 0, 0), (3, None, None, None, None, None)])
        kinds = cur.execute("select v, n, b from Lobs").description
        self.assertEqual([k[1] for k in kinds], [str, str, bytearray])
        # An expression of a (max) type is one too.
        got = cur.execute("select cast(v as varchar(max)) + 'x' from Lobs where id = 1").fetchone()[0]
        self.assertEqual(got, text + "x")
        cur.execute("drop table Lobs")
        db.close()

    def test_uniqueidentifier_columns_and_parameters(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create table GuidKeyed (id uniqueidentifier primary key, n int)")
        first, second = "6F9619FF-8B86-D011-B42D-00C04FC964FF", "0e984725-c51c-4bf4-9960-e1c80e27aba1"
        cur.execute("insert into GuidKeyed values (?, 1)", first)
        cur.execute("insert into GuidKeyed values (?, 2)", second)
        cur.execute("insert into GuidKeyed values (newid(), 3)")
        # The last group decides the order first: 00C0... before E1C8...,
        # whatever the first groups say.
        rows = cur.execute("select id, n from GuidKeyed where n < 3 order by id").fetchall()
        self.assertEqual([(str(r[0]).upper(), r[1]) for r in rows], [(first, 1), (second.upper(), 2)])
        self.assertEqual(cur.execute("select n from GuidKeyed where id = ?", first.lower()).fetchone()[0], 1)
        self.assertEqual(cur.execute("select count(distinct id) from GuidKeyed").fetchone()[0], 3)
        cur.execute("drop table GuidKeyed")
        db.close()

    def test_the_last_identity_arrives_as_numeric_38_0(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create table Ids (id int identity(7, 1), v int)")
        cur.execute("set nocount on insert into Ids (v) values (1) select scope_identity(), @@identity")
        row = cur.fetchone()
        self.assertEqual((str(row[0]), str(row[1])), ("7", "7"))
        self.assertEqual((cur.description[0][4], cur.description[0][5]), (38, 0))
        cur.execute("drop table Ids")
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

    def test_a_view_of_customers_with_their_ledger_balance_is_made_read_and_listed(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("insert into Customer (UnitID, UnitName) values (N'C1', N'东方商行'), (N'C2', N'Wang'), "
                    "(N'C3', N'Li')")
        cur.execute("insert into CustAcc (UnitID, Type, BuyAmo, PayAmo, BalAmo) values "
                    "(N'C1', 200, 100.50, 0, 100.50), (N'C1', 1, 20, 5.25, 15.25), (N'C2', 200, 0, 0, -3)")
        cur.execute("create view CustomerBalance as select c.UnitID, c.UnitName, "
                    "coalesce(sum(a.BalAmo), 0) as Balance from Customer c left join CustAcc a "
                    "on a.UnitID = c.UnitID group by c.UnitID, c.UnitName")
        rows = cur.execute("select UnitID, UnitName, Balance from CustomerBalance "
                           "where UnitID like ? order by UnitID", "C%").fetchall()
        self.assertEqual([tuple(r) for r in rows], [("C1", "东方商行", decimal.Decimal("115.7500")),
                                                    ("C2", "Wang", decimal.Decimal("-3.0000")),
                                                    ("C3", "Li", decimal.Decimal("0.0000"))])
        views = [(r.table_schem, r.table_name, r.table_type) for r in cur.tables(tableType="VIEW")]
        self.assertIn(("dbo", "CustomerBalance", "VIEW"), views)
        self.assertNotIn("CustomerBalance", [r.table_name for r in cur.tables(tableType="TABLE")])
        columns = [(r.column_name, r.type_name) for r in cur.columns(table="CustomerBalance")]
        self.assertEqual(columns, [("UnitID", "nvarchar"), ("UnitName", "nvarchar"), ("Balance", "money")])
        cur.execute("drop view CustomerBalance")
        cur.execute("delete from CustAcc where UnitID like N'C_'")
        cur.execute("delete from Customer where UnitID like N'C_'")
        db.close()

    def test_a_keyset_cursor_keeps_the_rows_it_opened_with_and_reads_their_values_at_each_fetch(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create table Keyed (id int primary key, name nvarchar(20), grade int)")
        for i in range(1, 8):
            cur.execute("insert into Keyed values (?, ?, ?)", i, "k%d" % i, i % 3)
        db.set_attr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN)
        keyset = db.cursor()
        keyset.execute("select name, id from Keyed where id > ? order by id desc", 2)
        self.assertEqual([d[0] for d in keyset.description], ["name", "id"])  # no ROWSTAT among them
        self.assertEqual(tuple(keyset.fetchone()), ("k7", 7))
        # Another statement changes the rows while the cursor is open: an
        # update shows, a row deleted keeps its place without its values,
        # a row inserted is not among the keys.
        other = self.connect(autocommit=True).cursor()
        other.execute("update Keyed set name = N'changed' where id = 4")
        other.execute("update Keyed set id = 60 where id = 6")  # its key changed: as if deleted
        other.execute("delete from Keyed where id = 5")
        other.execute("insert into Keyed values (8, N'k8', 0)")
        rows = [tuple(r) for r in keyset.fetchall()]
        self.assertEqual(len(rows), 4)
        self.assertEqual(rows[0][0], None)  # id 6, missing: its nullable name NULL
        self.assertEqual(rows[1][0], None)  # id 5, deleted
        self.assertEqual(rows[2:], [("changed", 4), ("k3", 3)])
        keyset.close()
        # A query a keyset cannot be kept for (a join, an aggregate) opens
        # as the static cursor SQL Server converts it to.
        static = db.cursor()
        static.execute("select grade, count(*) from Keyed group by grade order by grade")
        self.assertEqual([tuple(r) for r in static.fetchall()],
                         [(0, 3), (1, 3), (2, 1)])  # ids 3, 8, 60; 1, 4, 7; 2
        # What is not a single query runs as it is (the driver allows it
        # directly), with its own results: no error, no warning.
        direct = db.cursor()
        cur.execute("create table #Direct (i int)")  # cur: forward-only, made before the attribute was set
        direct.execute("drop table #Direct")
        self.assertEqual(direct.messages, [])
        cur.execute("create procedure TwoResults @name varchar(30) as select 0 as first select 1 as second, @name")
        direct.execute("exec TwoResults 'ciao'")
        self.assertEqual(direct.fetchone()[0], 0)
        self.assertTrue(direct.nextset())
        self.assertEqual(tuple(direct.fetchone()), (1, "ciao"))
        db.close()

    def test_a_static_cursor_keeps_the_rows_of_its_open_and_scrolls_to_any_of_them(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create table Scrolled (id int primary key, note nvarchar(10))")
        for i in range(1, 11):
            cur.execute("insert into Scrolled values (?, N'n')", i * 10)
        db.set_attr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC)
        static = db.cursor()
        static.execute("select id, note from Scrolled order by id")
        self.assertEqual(static.fetchone()[0], 10)
        cur.execute("update Scrolled set id = 5 where id = 20")
        cur.execute("delete from Scrolled where id = 30")
        self.assertEqual([r[0] for r in static.fetchmany(3)], [20, 30, 40])  # as they were at open
        static.skip(2)
        self.assertEqual([r[0] for r in static.fetchall()], [70, 80, 90, 100])
        db.close()

        # SQLFetchScroll's rules, each answer the row the cursor lands on.
        cur = self.connect(autocommit=True).cursor()
        cur.execute("update Scrolled set id = 20 where id = 5")
        cur.execute("insert into Scrolled values (30, N'n')")
        scrolled = ScrollableStatement(self.connection_string(), SQL_CURSOR_STATIC)
        try:
            scrolled.execute("select id from Scrolled order by id")
            self.assertEqual(scrolled.scroll("absolute", 3), 30)
            self.assertEqual(scrolled.scroll("relative", 2), 50)
            self.assertEqual(scrolled.scroll("relative", -4), 10)
            self.assertIsNone(scrolled.scroll("prior"))          # before the first row
            self.assertEqual(scrolled.scroll("relative", 1), 10)  # from before the first row
            self.assertEqual(scrolled.scroll("last"), 100)
            self.assertIsNone(scrolled.scroll("next"))           # after the last row
            self.assertEqual(scrolled.scroll("prior"), 100)       # from after the last row
            self.assertEqual(scrolled.scroll("absolute", -2), 90)
            self.assertIsNone(scrolled.scroll("absolute", 11))
            self.assertIsNone(scrolled.scroll("absolute", 0))    # before the first row
            self.assertEqual(scrolled.scroll("next"), 10)
            self.assertIsNone(scrolled.scroll("absolute", -11))
            self.assertEqual(scrolled.scroll("first"), 10)
        finally:
            scrolled.close()
        # The keyset cursor scrolls alike.
        scrolled = ScrollableStatement(self.connection_string(), SQL_CURSOR_KEYSET_DRIVEN)
        try:
            scrolled.execute("select id from Scrolled where id >= 50 order by id desc")
            self.assertEqual(scrolled.scroll("absolute", 2), 90)
            self.assertEqual(scrolled.scroll("relative", 3), 60)
            self.assertEqual(scrolled.scroll("last"), 50)
            self.assertIsNone(scrolled.scroll("relative", 1))
        finally:
            scrolled.close()

    def test_tables_lists_by_a_table_pattern_and_by_a_catalog_pattern(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create table CustWc1 (id int)")
        cur.execute("create table CustWc2 (id int)")
        cur.execute("create table NotCust (id int)")
        cur.execute("create database OtherWc")
        cur.execute("use OtherWc")
        cur.execute("create table CustWc3 (id int)")
        cur.execute("use Sales60")

        def listed(**where):
            return [(r.table_cat, r.table_schem, r.table_name, r.table_type) for r in cur.tables(**where)
                    if r.table_name.startswith("CustWc") or r.table_name == "NotCust"]

        # Without a catalog: sp_tables, this database only.
        self.assertEqual(listed(table="Cust%"),
                         [("Sales60", "dbo", "CustWc1", "TABLE"), ("Sales60", "dbo", "CustWc2", "TABLE")])
        # A catalog with wildcards: sp_tableswc, every database it matches,
        # ordered by type, database, owner and name.
        self.assertEqual(listed(table="Cust%", catalog="%"),
                         [("OtherWc", "dbo", "CustWc3", "TABLE"), ("Sales60", "dbo", "CustWc1", "TABLE"),
                          ("Sales60", "dbo", "CustWc2", "TABLE")])
        self.assertEqual(listed(table="CustWc_", catalog="Sales6_"),
                         [("Sales60", "dbo", "CustWc1", "TABLE"), ("Sales60", "dbo", "CustWc2", "TABLE")])
        self.assertEqual(listed(table="Cust%", catalog="Nothing%"), [])
        self.assertEqual(listed(catalog="Other%", tableType="TABLE"), [("OtherWc", "dbo", "CustWc3", "TABLE")])
        # The views of a database (its INFORMATION_SCHEMA views at least).
        views = [(r.table_schem, r.table_name) for r in cur.tables(tableType="VIEW")]
        self.assertIn(("INFORMATION_SCHEMA", "TABLES"), views)
        self.assertTrue(all(r.table_type == "VIEW" for r in cur.tables(tableType="VIEW", catalog="Sales6%")))
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

    def test_a_call_with_an_argument_left_out_takes_the_parameters_default(self):
        # FreeTDS sends the argument left out as a parameter of no type
        # (NULLTYPE): the parameter takes its default.
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create procedure Three @a int, @b int = 7, @c varchar(10) = 'c' as select @a, @b, @c")
        self.assertEqual(tuple(cur.execute("{call Three(?, , 'x')}", 1).fetchone()), (1, 7, "x"))
        self.assertEqual(tuple(cur.execute("{call Three(?, ?)}", 2, 8).fetchone()), (2, 8, "c"))
        cur.execute("drop procedure Three")
        db.close()

    def test_every_help_and_catalog_procedure_reads_whole_for_a_table_with_identity(self):
        db = self.connect(autocommit=True)
        cur = db.cursor()
        cur.execute("create table Counted (id int identity(100, 5) primary key, label nvarchar(10) not null, "
                    "price decimal(10, 2), region int, "
                    "constraint FK_Counted_Region foreign key (region) references Region (RegionID))")
        cur.execute("create procedure CountedLabels @min int = 0 as select label from Counted where id >= @min")
        calls = ["exec sp_help 'Counted'", "exec sp_help", "exec sp_helpindex 'Counted'",
                 "exec sp_helptext 'CountedLabels'", "exec sp_helpdb", "exec sp_helpdb 'Sales60'",
                 "exec sp_databases", "exec sp_who", "exec sp_spaceused 'Counted'", "exec sp_spaceused",
                 "exec sp_columns 'Counted'", "exec sp_tables 'Counted'", "exec sp_pkeys 'Counted'",
                 "exec sp_fkeys @fktable_name = 'Counted'", "exec sp_fkeys 'Region'",
                 "exec sp_statistics 'Counted'", "exec sp_special_columns 'Counted'",
                 "exec sp_stored_procedures 'CountedLabels'", "exec sp_sproc_columns 'CountedLabels'",
                 "exec sp_datatype_info", "exec sp_server_info"]
        for call in calls:
            cur.execute(call)
            sets = 0
            while True:
                if cur.description:
                    cur.fetchall()
                    sets += 1
                if not cur.nextset():
                    break
            self.assertGreater(sets, 0, call)
        # sp_help's identity set: the seed and the increment as numeric(38,0).
        cur.execute("exec sp_help 'Counted'")
        while not (cur.description and cur.description[0][0] == "Identity"):
            self.assertTrue(cur.nextset())
        self.assertEqual([d[1] for d in cur.description[1:3]], [decimal.Decimal, decimal.Decimal])
        self.assertEqual(tuple(cur.fetchone()), ("id", decimal.Decimal(100), decimal.Decimal(5), 0))
        cur.execute("drop procedure CountedLabels drop table Counted")
        db.close()

    def test_a_prepared_statement_describes_its_result_before_it_runs(self):
        # SQLPrepare, then SQLNumResultCols and SQLDescribeCol before any
        # SQLExecute, through the ODBC API itself (pyodbc prepares only as
        # it executes).
        import ctypes
        import ctypes.util
        odbc = ctypes.CDLL(ctypes.util.find_library("odbc"))
        ok = (0, 1)
        env, dbc = ctypes.c_void_p(), ctypes.c_void_p()
        self.assertIn(odbc.SQLAllocHandle(1, None, ctypes.byref(env)), ok)
        odbc.SQLSetEnvAttr(env, 200, ctypes.c_void_p(3), 0)  # ODBC 3
        self.assertIn(odbc.SQLAllocHandle(2, env, ctypes.byref(dbc)), ok)
        text = ("DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=%d;DATABASE=Sales60;UID=sa;PWD=%s;TDS_Version=7.4"
                % (self.port, PASSWORD)).encode()
        self.assertIn(odbc.SQLDriverConnect(dbc, None, text, len(text), None, 0, None, 0), ok)

        def described(sql):
            stmt = ctypes.c_void_p()
            self.assertIn(odbc.SQLAllocHandle(3, dbc, ctypes.byref(stmt)), ok)
            try:
                self.assertIn(odbc.SQLPrepare(stmt, sql.encode(), len(sql)), ok, sql)
                count = ctypes.c_short()
                self.assertIn(odbc.SQLNumResultCols(stmt, ctypes.byref(count)), ok, sql)
                names = []
                for i in range(1, count.value + 1):
                    name = ctypes.create_string_buffer(128)
                    length, kind, size, digits, nullable = (ctypes.c_short(), ctypes.c_short(), ctypes.c_size_t(),
                                                            ctypes.c_short(), ctypes.c_short())
                    self.assertIn(odbc.SQLDescribeCol(stmt, i, name, 128, ctypes.byref(length), ctypes.byref(kind),
                                                      ctypes.byref(size), ctypes.byref(digits),
                                                      ctypes.byref(nullable)), ok)
                    names.append(name.value.decode())
                return names
            finally:
                odbc.SQLFreeHandle(3, stmt)

        with self.connect(autocommit=True) as db:
            db.cursor().execute("create table Described (id int primary key, label nvarchar(10), price money)")
        try:
            self.assertEqual(described("select id, label, price * 2 as doubled from Described where id > ?"),
                             ["id", "label", "doubled"])
            # A statement without a result has no columns, and preparing it
            # changes nothing.
            self.assertEqual(described("insert into Described values (1, N'x', 1)"), [])
            self.assertEqual(self.count("Described"), 0)
        finally:
            odbc.SQLDisconnect(dbc)
            odbc.SQLFreeHandle(2, dbc)
            odbc.SQLFreeHandle(1, env)
            with self.connect(autocommit=True) as db:
                db.cursor().execute("drop table Described")


if __name__ == "__main__":
    unittest.main(verbosity=2)
