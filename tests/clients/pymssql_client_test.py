#!/usr/bin/env python3
"""korvel serve as pymssql sees it, over FreeTDS's db-lib: an independent
client of the TDS endpoint.

    pymssql_client_test.py BIN_DIR
"""
import decimal
import unittest
import uuid

import pymssql

from served_database import PASSWORD, ServedDatabase as ServedDatabaseBase


class ServedDatabase(ServedDatabaseBase):
    def connect(self):
        return pymssql.connect(server="127.0.0.1", port=str(self.port), user="sa", password=PASSWORD,
                               database="Sales60", autocommit=True, tds_version="7.3", login_timeout=10)

    def test_callproc_gives_the_procedures_rows_outputs_and_status(self):
        db = self.connect()
        cur = db.cursor()
        cur.execute("create procedure Listed @from int = 3, @last int = null output as "
                    "set @last = @from + 1 select @from as n, N'甲' as name union all select @last, N'乙' "
                    "return 5")
        # The rows of a call with no arguments (the default used). pymssql
        # before 2.2.6 leaves the cursor's description unset after callproc
        # (its own issue 772), so the rows are read by iterating.
        cur.callproc("dbo.Listed")
        self.assertEqual([tuple(row) for row in cur], [(3, "甲"), (4, "乙")])
        cur.callproc("Listed", (10,))
        self.assertEqual([tuple(row) for row in cur], [(10, "甲"), (11, "乙")])
        # An output parameter and the return status of a procedure without
        # rows (db-lib reads them before any rows, so a procedure with rows
        # gives them only once its rows are read).
        cur.execute("create procedure Doubled @a int, @b int output as set @b = @a * 2 return 3")
        self.assertEqual(cur.callproc("Doubled", (21, pymssql.output(int)))[1], 42)
        self.assertEqual(cur.returnvalue, 3)
        # The connection goes on.
        cur.execute("select count(*) from sys.procedures where name = 'Listed'")
        self.assertEqual(cur.fetchone()[0], 1)
        cur.execute("drop procedure Listed drop procedure Doubled")
        db.close()

    def test_max_columns_read_long_empty_and_null_values_whole(self):
        # At TDS 7.3 varchar(max), nvarchar(max) and varbinary(max) come in
        # PLP chunks, which db-lib reads whole.
        db = self.connect()
        cur = db.cursor()
        cur.execute("create table Lobs (id int primary key, v varchar(max), n nvarchar(max), b varbinary(max))")
        text = "a" * 8500 + "门店"
        wide = "商品" * 4100
        blob = bytes(range(256)) * 40
        cur.execute("insert into Lobs values (%s, %s, %s, %s)", (1, text, wide, blob))
        cur.execute("insert into Lobs values (2, '', N'', 0x)")
        cur.execute("insert into Lobs values (3, null, null, null)")
        cur.execute("select id, v, n, b, datalength(v), datalength(b) from Lobs order by id")
        self.assertEqual(cur.fetchall(), [(1, text, wide, blob, 8504, 10240), (2, "", "", b"", 0, 0),
                                          (3, None, None, None, None, None)])
        cur.execute("drop table Lobs")
        db.close()

    def test_a_guid_and_a_timestamp_read_as_sql_server_sends_them(self):
        # db-lib reads GUIDTYPE's bytes with the first three groups
        # little-endian, which pymssql gives as a uuid.UUID.
        db = self.connect()
        cur = db.cursor()
        cur.execute("select cast('6f9619ff-8b86-d011-b42d-00c04fc964ff' as uniqueidentifier), "
                    "cast(null as uniqueidentifier)")
        self.assertEqual(cur.fetchone(), (uuid.UUID("6F9619FF-8B86-D011-B42D-00C04FC964FF"), None))
        cur.execute("create table Stamped (id int, ts timestamp)")
        cur.execute("insert into Stamped (id) values (1)")
        cur.execute("select ts, @@dbts from Stamped")
        ts, dbts = cur.fetchone()
        self.assertEqual((len(ts), ts), (8, dbts))
        cur.execute("drop table Stamped")
        db.close()

    def test_compute_rows_come_after_the_rows_they_cover(self):
        db = self.connect()
        cur = db.cursor()
        cur.execute("create table #ledger (region varchar(5) not null, qty int not null, amount money null)")
        cur.execute("insert into #ledger values ('a', 1, 2.5), ('a', 2, 1), ('b', 3, 4), ('b', 4, null)")
        # db-lib hands each compute row over as a row of its aggregates'
        # values, which pymssql pads to the columns' count with None. (A
        # NULL aggregate is not tested here: db-lib's dbadata points at the
        # last value even then, and pymssql shows that.)
        cur.execute("select region, qty, amount from #ledger order by region, qty "
                    "compute sum(qty), sum(amount) by region compute count(amount)")
        self.assertEqual([tuple(row) for row in cur.fetchall()], [
            ("a", 1, decimal.Decimal("2.5000")),
            ("a", 2, decimal.Decimal("1.0000")),
            (3, decimal.Decimal("3.5000"), None),
            ("b", 3, decimal.Decimal("4.0000")),
            ("b", 4, None),
            (7, decimal.Decimal("4.0000"), None),
            (3, None, None),
        ])
        self.assertFalse(cur.nextset())
        # The connection goes on.
        cur.execute("select count(*) from #ledger")
        self.assertEqual(cur.fetchone()[0], 4)
        db.close()

    def test_sp_help_of_a_table_with_identity_reads_every_result_set(self):
        db = self.connect()
        cur = db.cursor()
        cur.execute("create table Numbered (id int identity(100, 5) primary key, label nvarchar(10))")
        cur.execute("exec sp_help 'Numbered'")
        sets = [cur.fetchall()]
        while cur.nextset():
            sets.append(cur.fetchall())
        # The object, its columns, then its identity: the seed and the
        # increment as numeric(38,0).
        self.assertEqual(sets[0][0][:3], ("Numbered", "dbo", "user table"))
        self.assertEqual([row[0] for row in sets[1]], ["id", "label"])
        self.assertEqual(tuple(sets[2][0]), ("id", decimal.Decimal(100), decimal.Decimal(5), 0))
        # And sp_help of a table without one, and of the database.
        cur.execute("exec sp_help 'Goods'")
        while cur.nextset():
            cur.fetchall()
        cur.execute("exec sp_help")
        self.assertTrue(any(row[0] == "Numbered" for row in cur.fetchall()))
        cur.execute("select 1")
        self.assertEqual(cur.fetchone()[0], 1)
        cur.execute("drop table Numbered")
        db.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
