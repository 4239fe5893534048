// What the page's tests read besides the committed samples.
'use strict';
const fs = require('fs');
const path = require('path');

// A 5 GiB MP4 that is mostly a hole: its movie box lies past 4 GiB.
function writeLargeMp4(file, minutes) {
  const be = (value, bytes) => {
    const b = Buffer.alloc(bytes);
    for (let i = bytes - 1; i >= 0; --i, value = Math.floor(value / 256)) b[i] = value % 256;
    return b;
  };
  const box = (type, ...content) => {
    const body = Buffer.concat(content);
    return Buffer.concat([be(body.length + 8, 4), Buffer.from(type), body]);
  };
  const media = 5 * 2 ** 30;
  const head = Buffer.concat([box('ftyp', Buffer.from('isom'), be(512, 4), Buffer.from('isomiso2mp41')),
    be(1, 4), Buffer.from('mdat'), be(media + 16, 8)]);
  const frames = minutes * 60 * 25;
  const movieHeader = box('mvhd', be(0, 4), be(0, 8), be(25, 4), be(frames, 4), be(0x00010000, 4), be(0x0100, 2),
    Buffer.alloc(70), be(2, 4));
  const movie = box('moov', movieHeader, box('trak', Buffer.alloc(48 * 1024)));
  const fd = fs.openSync(file, 'w');
  fs.writeSync(fd, head, 0, head.length, 0);
  fs.writeSync(fd, movie, 0, movie.length, head.length + media);
  fs.closeSync(fd);
}

// The committed samples whose names state their running time ("2h00m03s"):
// the minutes and megabytes the window shows for each, both rounded up.
function statedSamples(data) {
  const samples = [];
  for (const name of fs.readdirSync(data).sort()) {
    const stated = /(?:(\d+)h)?(\d+)m(\d+)s/.exec(name);
    if (!stated) continue;
    const seconds = 3600 * (stated[1] || 0) + 60 * stated[2] + Number(stated[3]);
    const file = path.join(data, name);
    const size = fs.statSync(file).size;
    samples.push({ file, size, minutes: String(Math.ceil(seconds / 60)), megabytes: String(Math.ceil(size / 2 ** 20)) });
  }
  if (samples.length < 15) throw new Error(`only ${samples.length} samples in ${data}`);
  return samples;
}

module.exports = { statedSamples, writeLargeMp4 };
