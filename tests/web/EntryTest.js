// The browser entry under node: the window's worked examples and its two
// failure texts, an error that leaves the computation with the window's
// message in each language, every sample file read through slices handed over
// as the page hands them (minutes and megabytes rounded up), a 5 GiB file read
// at offsets past 4 GiB, a file of no known format and a folder refused with
// their messages, and a read that stops short refused as a read failure.
// Usage: node --no-experimental-fetch EntryTest.js tarnwick_web.js DATA_DIR
'use strict';
const assert = require('assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { statedSamples, writeLargeMp4 } = require('./Samples');

const [entry, data] = process.argv.slice(2);
const codePage932 = new TextDecoder('shift_jis');

require(path.resolve(entry))().then((module) => {
  // As the page's worker reads an answer: messages are in code page 932.
  const lines = (pointer) => {
    const bytes = module.HEAPU8.subarray(pointer, module.HEAPU8.indexOf(0, pointer));
    const text = new TextDecoder().decode(bytes);
    return /^(raised|refused)\n/.test(text) ? codePage932.decode(bytes).split('\n') : text.split('\n');
  };
  const compute = (which, fields) =>
    lines(module.ccall('tw_compute', 'number', ['number', 'string'], [which, fields.join('\n')]));
  const readFile = (file, limit = Infinity) => {
    const fd = fs.openSync(file, 'r');
    let asked = 0;
    module.readSlice = (offset, into, length) => {
      asked += length;
      return offset >= limit ? 0 : fs.readSync(fd, module.HEAPU8, into, length, offset);
    };
    try {
      const answer = lines(module._tw_read_file(fs.statSync(file).size));
      if (answer[0] === 'file') assert.strictEqual(Number(answer[4]), asked, `${file}: the bytes read as reported`);
      return answer;
    } finally {
      fs.closeSync(fd);
    }
  };

  // time, target size, current audio, video, current video, current size, new audio, new video
  const cases = [
    [0, ['120', '700', '128', '', '700', '700', '96', ''], ['fields', '120', '700', '128', '668', '668', '700', '128', '']],
    [0, ['0', '1', '128', '', '700', '700', '96', ''], ['fields', '0', '1', '128', '---', '700', '700', '128', '']],
    [0, ['x', '1', '128', '', '700', '700', '96', ''], ['fields', 'x', '1', '128', 'ERR', '700', '700', '128', '']],
    [0, ['１２０', '700', 'ｘ', '', '700', '700', '96', ''], ['fields', '１２０', '700', 'ｘ', 'ERR', '700', '700', 'ｘ', '']],
    [1, ['120', '700', '128', '', '700', '750', '96', ''], ['fields', '120', '700', '96', '', '700', '750', '96', '675']],
  ];
  for (const [which, fields, expected] of cases) assert.deepStrictEqual(compute(which, fields), expected, fields.join(','));
  const zeroByZero = ['0', '0', '128', '', '700', '700', '96', ''];
  module._tw_set_language(0);
  assert.deepStrictEqual(compute(0, zeroByZero), ['raised', 'EInvalidOp', '不正な浮動小数点数演算命令']);
  const refusedText = readFile(path.join(data, 'make-files.sh'));
  assert.deepStrictEqual(refusedText, ['refused', 'UnsupportedFormat', 'ファイル「', '」の形式には対応していません。']);
  module._tw_set_language(1);
  assert.deepStrictEqual(compute(0, zeroByZero), ['raised', 'EInvalidOp', 'Invalid floating point operation']);
  assert.deepStrictEqual(lines(module._tw_not_a_file()), ['refused', 'NotAFile', '"', '" is not a file.']);

  const samples = statedSamples(data);
  for (const sample of samples) {
    const name = path.basename(sample.file);
    const [kind, minutes, megabytes, bytes, bytesRead] = readFile(sample.file);
    assert.deepStrictEqual([kind, minutes, megabytes, Number(bytes)], ['file', sample.minutes, sample.megabytes, sample.size], name);
    assert.ok(Number(bytesRead) > 0 && Number(bytesRead) < 4096, name);
  }
  assert.strictEqual(readFile(path.join(data, 'mp4-moov-at-end-2h00m03s.mp4'), 100)[1], 'ReadFailed');

  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'tarnwick-entry-'));
  try {
    const large = path.join(folder, 'large.mp4');
    writeLargeMp4(large, 90);
    const [kind, minutes, megabytes, , bytesRead] = readFile(large);
    assert.deepStrictEqual([kind, minutes, megabytes], ['file', '90', '5121'], 'the 5 GiB file');
    assert.ok(Number(bytesRead) < 4096, `the 5 GiB file: ${bytesRead} bytes read`);
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
  console.log(`browser entry: ${cases.length + 2} computations and ${samples.length + 4} files as expected`);
});
