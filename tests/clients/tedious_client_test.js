#!/usr/bin/env node
// korvel serve as tedious (the TDS client of Node.js) sees it: an
// independent client of the TDS endpoint.
//
//     node tedious_client_test.js BIN_DIR NODE_MODULES_DIR
'use strict';

const assert = require('node:assert/strict');
const childProcess = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');

const BIN = process.argv[2] || path.join(__dirname, '../../build/bin');
const MODULES = process.argv[3] || path.join(__dirname, 'node_modules');
const { Connection, Request, TYPES } = require(path.join(MODULES, 'tedious'));
const PASSWORD = 'secret';

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

async function waitForPort(port, deadline) {
  for (;;) {
    const open = await new Promise((resolve) => {
      const socket = net.connect(port, '127.0.0.1', () => {
        socket.end();
        resolve(true);
      });
      socket.on('error', () => resolve(false));
    });
    if (open) return;
    if (Date.now() > deadline) throw new Error('korvel serve did not start listening');
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
}

function connect(port) {
  return new Promise((resolve, reject) => {
    const connection = new Connection({
      server: '127.0.0.1',
      authentication: { type: 'default', options: { userName: 'sa', password: PASSWORD } },
      options: { port, database: 'Sales60', encrypt: false, connectTimeout: 10000, requestTimeout: 60000 },
    });
    connection.on('connect', (err) => (err ? reject(err) : resolve(connection)));
    connection.connect();
  });
}

// Runs a request made by `make(callback)`: its rows (as arrays of values),
// output parameters by name, and the row count its callback gave.
function run(connection, method, make) {
  return new Promise((resolve, reject) => {
    const rows = [];
    const outputs = {};
    const request = make((err, rowCount) => (err ? reject(err) : resolve({ rows, outputs, rowCount })));
    request.on('row', (columns) => rows.push(columns.map((c) => c.value)));
    request.on('returnValue', (name, value) => {
      outputs[name] = value;
    });
    connection[method](request);
  });
}

function sql(connection, text, parameters = []) {
  return run(connection, 'execSql', (done) => {
    const request = new Request(text, done);
    for (const [name, type, value, options] of parameters) request.addParameter(name, type, value, options);
    return request;
  });
}

function transaction(connection, method) {
  return new Promise((resolve, reject) => connection[method]((err) => (err ? reject(err) : resolve())));
}

const tests = {
  async parameterizedQueriesBindEachTypeAsALiteralWould(db) {
    await sql(db, 'create table Typed (id int primary key, nv nvarchar(20), v varchar(20), d decimal(10,2), ' +
                  'm money, dt datetime, b bit, f float, bi bigint)');
    await sql(db, 'insert into Typed values (@id, @nv, @v, @d, @m, @dt, @b, @f, @bi)', [
      ['id', TYPES.Int, 1],
      ['nv', TYPES.NVarChar, '上海·浦东'],
      ['v', TYPES.VarChar, 'plain'],
      ['d', TYPES.Decimal, 1234.56, { precision: 10, scale: 2 }],
      ['m', TYPES.Money, 12.3456],
      ['dt', TYPES.DateTime, new Date(Date.UTC(2007, 0, 23, 10, 20, 30))],
      ['b', TYPES.Bit, true],
      ['f', TYPES.Float, 0.5],
      ['bi', TYPES.BigInt, '9007199254740993'],
    ]);
    const got = await sql(db, 'select nv, v, cast(d as varchar(20)), cast(m as varchar(20)), ' +
                              "convert(varchar(19), dt, 120), b, f, cast(bi as varchar(20)) from Typed where id = @id",
                          [['id', TYPES.Int, 1]]);
    assert.deepEqual(got.rows, [['上海·浦东', 'plain', '1234.56', '12.35', '2007-01-23 10:20:30', true, 0.5,
                                 '9007199254740993']]);
    // A NULL parameter finds nothing by equality, and is stored as NULL.
    await sql(db, 'insert into Typed (id, nv) values (@id, @nv)', [['id', TYPES.Int, 2], ['nv', TYPES.NVarChar, null]]);
    const nulls = await sql(db, 'select count(*) from Typed where nv is null and id = @id', [['id', TYPES.Int, 2]]);
    assert.deepEqual(nulls.rows, [[1]]);
    // A statement without parameters goes the same way.
    const plain = await sql(db, 'select count(*) from Typed');
    assert.deepEqual(plain.rows, [[2]]);
    const updated = await sql(db, 'update Typed set f = @f where id in (1, 2)', [['f', TYPES.Float, 2.5]]);
    assert.equal(updated.rowCount, 2);
  },

  async aProcedureCallGivesItsRowsAndItsOutputParameter(db) {
    await sql(db, 'create procedure Twice @a int, @b int output as ' +
                  "set @b = @a * 2 select @a as a, N'甲' as name union all select @b, N'乙' return 7");
    const got = await run(db, 'callProcedure', (done) => {
      const request = new Request('Twice', done);
      request.addParameter('a', TYPES.Int, 21);
      request.addOutputParameter('b', TYPES.Int);
      return request;
    });
    assert.deepEqual(got.rows, [[21, '甲'], [42, '乙']]);
    assert.equal(got.outputs.b, 42);
  },

  async transactionsCommitAndRollBack(db) {
    await sql(db, 'create table Kept (i int)');
    await transaction(db, 'beginTransaction');
    await sql(db, 'insert into Kept values (1)');
    assert.deepEqual((await sql(db, 'select @@trancount')).rows, [[1]]);
    await transaction(db, 'rollbackTransaction');
    await transaction(db, 'beginTransaction');
    await sql(db, 'insert into Kept values (2)');
    await transaction(db, 'commitTransaction');
    assert.deepEqual((await sql(db, 'select i, @@trancount from Kept')).rows, [[2, 0]]);
  },

  async maxColumnsComeAsTheirOwnTypesAndReadWhole(db) {
    await sql(db, 'create table Lobs (id int primary key, v varchar(max), n nvarchar(max), b varbinary(max))');
    const text = 'x'.repeat(9000);
    const wide = '商品'.repeat(4500);
    const blob = Buffer.alloc(8200, 0xAB);
    await sql(db, 'insert into Lobs values (1, @v, @n, @b)', [
      ['v', TYPES.VarChar, text], ['n', TYPES.NVarChar, wide], ['b', TYPES.VarBinary, blob],
    ]);
    await sql(db, "insert into Lobs values (2, '', N'', 0x)");
    await sql(db, 'insert into Lobs values (3, null, null, null)');
    const metadata = [];
    const got = await run(db, 'execSql', (done) => {
      const request = new Request('select v, n, b from Lobs order by id', done);
      request.on('columnMetadata', (columns) => metadata.push(...columns));
      return request;
    });
    // MS-TDS: BIGVARCHR, NVARCHAR and BIGVARBIN with the length 0xFFFF.
    assert.deepEqual(metadata.map((c) => [c.colName, c.type.name, c.dataLength]),
                     [['v', 'VarChar', 65535], ['n', 'NVarChar', 65535], ['b', 'VarBinary', 65535]]);
    assert.deepEqual(got.rows, [[text, wide, blob], ['', '', Buffer.alloc(0)], [null, null, null]]);
  },

  async uniqueidentifierParametersAndColumns(db) {
    await sql(db, 'create table Keyed (id uniqueidentifier primary key, n int)');
    const first = '6F9619FF-8B86-D011-B42D-00C04FC964FF';
    await sql(db, 'insert into Keyed values (@id, 1)', [['id', TYPES.UniqueIdentifier, first]]);
    await sql(db, "insert into Keyed values ('0e984725-c51c-4bf4-9960-e1c80e27aba1', 2)");
    // The last group decides the order first: 00C0... before E1C8...
    const got = await sql(db, 'select id, n from Keyed order by id');
    assert.deepEqual(got.rows.map(([id, n]) => [id.toUpperCase(), n]),
                     [[first, 1], ['0E984725-C51C-4BF4-9960-E1C80E27ABA1', 2]]);
    const found = await sql(db, 'select n from Keyed where id = @id', [['id', TYPES.UniqueIdentifier, first.toLowerCase()]]);
    assert.deepEqual(found.rows, [[1]]);
  },

  async aSqlVariantColumnGivesEachValueAsItsBaseType(db) {
    await sql(db, 'create table Variants (id int, v sql_variant)');
    await sql(db, 'insert into Variants values (1, 1689)');
    await sql(db, 'insert into Variants values (2, cast(46279.1 as decimal(8,2)))');
    await sql(db, "insert into Variants values (3, N'Grüße')");
    await sql(db, "insert into Variants values (4, cast('2002-01-15 10:20:30.500' as datetime))");
    await sql(db, 'insert into Variants values (5, null)');
    const metadata = [];
    const got = await run(db, 'execSql', (done) => {
      const request = new Request('select v from Variants order by id', done);
      request.on('columnMetadata', (columns) => metadata.push(...columns));
      return request;
    });
    assert.deepEqual(metadata.map((c) => [c.type.name, c.dataLength]), [['Variant', 8016]]);
    // tedious reads a datetime as UTC (useUTC), a decimal as a number.
    assert.deepEqual(got.rows,
                     [[1689], [46279.1], ['Grüße'], [new Date(Date.UTC(2002, 0, 15, 10, 20, 30, 500))], [null]]);
    // Ordered as sql_variant orders: character data below exact numbers
    // below dates.
    const order = await sql(db, 'select id from Variants where v is not null order by v');
    assert.deepEqual(order.rows, [[3], [1], [2], [4]]);
  },

  async aCancelledWaitLeavesTheConnectionUsable(db) {
    const started = Date.now();
    const cancelled = sql(db, "waitfor delay '00:00:30' select 1").then(
      () => assert.fail('the cancelled request succeeded'),
      (err) => err);
    setTimeout(() => db.cancel(), 500);
    const err = await cancelled;
    assert.equal(err.code, 'ECANCEL', String(err));
    assert.ok(Date.now() - started < 20000, 'the cancel took effect only after the wait');
    assert.deepEqual((await sql(db, 'select @n + 1', [['n', TYPES.Int, 41]])).rows, [[42]]);
  },
};

async function main() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'korvel-tedious-'));
  const folder = path.join(dir, 'srv');
  const korvel = path.join(BIN, 'korvel');
  childProcess.execFileSync(korvel, ['create-database', '--server', 'file:' + folder, '--database', 'Sales60',
                                     '--password', PASSWORD], { stdio: 'ignore' });
  const port = await freePort();
  const server = childProcess.spawn(korvel, ['serve', '--server', 'file:' + folder, '--listen', '127.0.0.1:' + port],
                                    { stdio: 'ignore' });
  let failed = 0;
  try {
    await waitForPort(port, Date.now() + 20000);
    for (const [name, test] of Object.entries(tests)) {
      const db = await connect(port);
      try {
        await test(db);
        console.log('ok   ' + name);
      } catch (err) {
        failed += 1;
        console.log('FAIL ' + name + '\n' + (err && err.stack ? err.stack : err));
      } finally {
        db.close();
      }
    }
  } finally {
    server.kill('SIGTERM');
    await new Promise((resolve) => server.on('exit', resolve));
    fs.rmSync(dir, { recursive: true, force: true });
  }
  console.log(failed ? failed + ' failed' : 'all passed');
  process.exit(failed ? 1 : 0);
}

main().catch((err) => {
  console.error(err);
  process.exit(1);
});
