// The browser entry under node: the window's worked examples and its two
// failure texts, an error that leaves the computation, every sample file read
// through slices handed over as the page hands them (the running time in
// whole minutes rounded up, as its name states it), a file of no known format
// refused, and a read that stops short refused as a read failure.
// Usage: node --no-experimental-fetch EntryTest.js tarnwick_web.js DATA_DIR
'use strict';
const assert = require('assert');
const fs = require('fs');
const path = require('path');

const [entry, data] = process.argv.slice(2);
require(path.resolve(entry))().then((module) => {
  const compute = (which, fields) =>
    module.ccall('tw_compute', 'string', ['number', 'string'], [which, fields.join('\n')]).split('\n');
  const readFile = (file, limit = Infinity) => {
    const fd = fs.openSync(file, 'r');
    module.readSlice = (offset, into, length) =>
      offset >= limit ? 0 : fs.readSync(fd, module.HEAPU8, into, length, offset);
    try {
      return module.ccall('tw_read_file', 'string', ['number'], [fs.statSync(file).size]).split('\n');
    } finally {
      fs.closeSync(fd);
    }
  };

  // time, target size, current audio, video, current video, current size, new audio, new video
  const cases = [
    [0, ['120', '700', '128', '', '700', '700', '128', ''], ['fields', '120', '700', '128', '668', '668', '700', '128', '']],
    [0, ['0', '1', '128', '', '700', '700', '96', ''], ['fields', '0', '1', '128', '---', '700', '700', '128', '']],
    [0, ['x', '1', '128', '', '700', '700', '96', ''], ['fields', 'x', '1', '128', 'ERR', '700', '700', '128', '']],
    [0, ['0', '0', '128', '', '700', '700', '96', ''], ['raised', 'EInvalidOp']],
    [1, ['120', '700', '128', '', '700', '750', '96', ''], ['fields', '120', '700', '96', '', '700', '750', '96', '675']],
  ];
  for (const [which, fields, expected] of cases) assert.deepStrictEqual(compute(which, fields), expected, fields.join(','));

  let read = 0;
  for (const name of fs.readdirSync(data)) {
    const stated = /(?:(\d+)h)?(\d+)m(\d+)s/.exec(name);
    if (!stated) continue;
    const seconds = 3600 * (stated[1] || 0) + 60 * stated[2] + Number(stated[3]);
    const file = path.join(data, name);
    const [kind, minutes, bytes, bytesRead] = readFile(file);
    assert.strictEqual(kind, 'file', name);
    assert.strictEqual(Number(minutes), Math.ceil(seconds / 60), name);
    assert.strictEqual(Number(bytes), fs.statSync(file).size, name);
    assert.ok(Number(bytesRead) < 4096, name);
    ++read;
  }
  assert.ok(read >= 15, `only ${read} samples`);
  assert.deepStrictEqual(readFile(path.join(data, 'make-files.sh')), ['refused', 'UnsupportedFormat']);
  assert.deepStrictEqual(readFile(path.join(data, 'mp4-moov-at-end-2h00m03s.mp4'), 100), ['refused', 'ReadFailed']);
  console.log(`browser entry: ${cases.length} computations and ${read + 2} files as expected`);
});
