// DuckDB's anti-join of two list files, as a data person would run it: the lines of FIRST that
// do not occur in SECOND (without FIRST's order), written to OUT, one a line.
//
//     node duckdb_subtract.cjs PACKAGE_FOLDER FIRST SECOND OUT
//
// PACKAGE_FOLDER holds node_modules/@duckdb/node-api (compare.sh installs it there). Each file is
// read as one text column: no quoting, no escapes, no header, every value a string, and a
// delimiter that compare.sh has checked never occurs in either file.
'use strict';
const { createRequire } = require('module');

const [folder, first, second, out] = process.argv.slice(2);
if (!out) {
    console.error('usage: node duckdb_subtract.cjs PACKAGE_FOLDER FIRST SECOND OUT');
    process.exit(2);
}
const { DuckDBInstance } = createRequire(folder + '/')('@duckdb/node-api');

const literal = (text) => "'" + text.replace(/'/g, "''") + "'";
const lines = (path) =>
    `read_csv(${literal(path)}, columns = {'line': 'VARCHAR'}, header = false, ` +
    `delim = '\x01', quote = '', escape = '', all_varchar = true, auto_detect = false)`;

(async () => {
    const instance = await DuckDBInstance.create(':memory:', { threads: '2' });
    const connection = await instance.connect();
    await connection.run(
        `COPY (SELECT a.line FROM ${lines(first)} a ANTI JOIN ${lines(second)} b ` +
        `ON a.line = b.line) TO ${literal(out)} ` +
        `(FORMAT csv, HEADER false, DELIMITER '\x01', QUOTE '', ESCAPE '')`);
})().catch((error) => {
    console.error(`duckdb_subtract: ${error.message}`);
    process.exit(1);
});
