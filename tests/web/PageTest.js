// The page in the system's Chromium, headless, opened from a file as a user
// opens it: in each language, every field found by its label in the
// accessibility tree and the keyboard order the window's; the worked examples
// typed and computed, with the copies between fields, "ERR", "---" and the
// invalid operation's message from the message table; every sample file
// chosen and dropped on each panel; the messages for a foreign and a cut
// file; a 5 GiB file's time shown soon after its drop; no request of any kind
// after the page is open; a picture of each language.
// Usage: node PageTest.js tarnwick.html DATA_DIR RESOURCES_DIR OUT_DIR
'use strict';
const assert = require('assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');
const { statedSamples, writeLargeMp4 } = require('./Samples');

const [pageFile, data, resources, out] = process.argv.slice(2).map((p) => path.resolve(p));
const pageUrl = `file://${pageFile}`;

// The message table's text for an id, in each language.
function messageTable(file) {
  const table = new Map();
  for (const line of fs.readFileSync(file, 'utf8').split('\n')) {
    const [, id, text] = /^(\d+)\t(.*)$/.exec(line) || [];
    if (id) table.set(Number(id), text.replace(/\\n/g, '\n'));
  }
  return table;
}
const MESSAGES = { ja: messageTable(path.join(resources, 'messages.txt')), en: messageTable(path.join(resources, 'messages-en.txt')) };
const INVALID_OP = 65450;
const FORMAT_UNKNOWN = 65533;
const NO_RUNNING_TIME = 65534;
// The window's box adds a period after a last character that sorts above one.
const asReported = (text) => (text.charCodeAt(text.length - 1) > 0x2e ? `${text}.` : text);

// Each field by its label, in the window's tab order, and the buttons between.
const LANGUAGES = {
  ja: {
    locale: 'ja-JP',
    fields: [['Time', '時間'], ['NextSize', '目標サイズ'], ['NowAudio', '音声ビットレート'], ['Calc', '計算'],
      ['Video', '映像ビットレート'], ['NowVideo', '現在の映像ビットレート'], ['NowSize', '現在のサイズ'],
      ['NextAudio', '新しい音声ビットレート'], ['ReCalc', '再計算'], ['NextVideo', '新しい映像ビットレート']],
  },
  en: {
    locale: 'en-GB',
    fields: [['Time', 'Time'], ['NextSize', 'Target size'], ['NowAudio', 'Audio bitrate'], ['Calc', 'Calculate'],
      ['Video', 'Video bitrate'], ['NowVideo', 'Current video bitrate'], ['NowSize', 'Current size'],
      ['NextAudio', 'New audio bitrate'], ['ReCalc', 'Recalculate'], ['NextVideo', 'New video bitrate']],
  },
};
const ROLES = { Calc: 'button', ReCalc: 'button', NowAudio: 'combobox', NextAudio: 'combobox' };

async function openPage(browser, language) {
  const context = await browser.newContext({ locale: LANGUAGES[language].locale, viewport: { width: 720, height: 480 } });
  const page = await context.newPage();
  const requests = [];
  const errors = [];
  page.on('request', (request) => requests.push(request.url()));
  page.on('pageerror', (error) => errors.push(String(error)));
  page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
  await page.goto(pageUrl);
  // The worker has answered once the language is set; a computation waits on it.
  await page.waitForFunction(() => document.getElementById('Time') !== null);
  return { context, page, requests, errors };
}

// The eight fields in the order the module takes them.
const FIELD_IDS = ['Time', 'NextSize', 'NowAudio', 'Video', 'NowVideo', 'NowSize', 'NextAudio', 'NextVideo'];

// Sets the fields, presses the button (the window is busy at once) and waits
// until the window is no longer busy with its answer.
async function compute(page, button, values) {
  for (const [id, value] of Object.entries(values)) await page.fill(`#${id}`, value);
  const busy = await page.evaluate((id) => {
    document.getElementById(id).click();
    return document.getElementById('window').getAttribute('aria-busy');
  }, button);
  assert.strictEqual(busy, 'true', `busy after ${button}`);
  await page.waitForFunction(() => !document.getElementById('window').hasAttribute('aria-busy'));
  return page.evaluate((ids) => ({
    message: document.getElementById('message').textContent,
    fields: ids.map((id) => document.getElementById(id).value),
  }), FIELD_IDS);
}

// Hands the file to the page as a drop on the element (or through the panel's
// file chooser) and waits until the field it sets shows the expected text or a
// message appears; gives the milliseconds from the drop to that.
async function takeFile(page, how, file, watched, expected) {
  await page.evaluate(() => {
    document.getElementById('message').textContent = '';
    document.getElementById('Time').value = '';
    document.getElementById('NowSize').value = '';
  });
  if (how.chooser) {
    await page.setInputFiles(`#${how.chooser}`, file);
  } else {
    // A file the test holds, dropped as the browser drops one from the desktop.
    const holder = await page.evaluateHandle(() => {
      const input = document.createElement('input');
      input.type = 'file';
      input.hidden = true;
      document.body.append(input);
      return input;
    });
    await holder.setInputFiles(file);
    await page.evaluate(([input, target]) => {
      const transfer = new DataTransfer();
      transfer.items.add(input.files[0]);
      input.remove();
      window.droppedAt = performance.now();
      const element = document.getElementById(target);
      for (const type of ['dragenter', 'dragover', 'drop'])
        element.dispatchEvent(new DragEvent(type, { dataTransfer: transfer, bubbles: true, cancelable: true }));
    }, [holder, how.dropOn]);
  }
  await page.waitForFunction(([id, text]) => document.getElementById(id).value === text ||
    document.getElementById('message').textContent !== '', [watched, expected], { timeout: 10000 });
  return page.evaluate(() => performance.now() - window.droppedAt);
}

async function checkLanguage(browser, language, samples, large, cut) {
  const { context, page, requests, errors } = await openPage(browser, language);
  const { fields } = LANGUAGES[language];

  // Every field by its label in the accessibility tree, with the window's default.
  const defaults = { Time: '120', NextSize: '700', NowAudio: '128', Video: '', NowVideo: '700', NowSize: '700', NextAudio: '128', NextVideo: '' };
  for (const [id, label] of fields) {
    const role = ROLES[id] || 'textbox';
    const found = page.getByRole(role, { name: new RegExp(`^${label}( |$)`) });
    assert.strictEqual(await found.count(), 1, `${language}: ${role} named ${label}`);
    assert.strictEqual(await found.getAttribute('id'), id, `${language}: ${label}`);
    if (id in defaults) assert.strictEqual(await found.inputValue(), defaults[id], `${language}: ${label}'s default`);
  }
  // The keyboard order: the window's tab order, then the file choosers.
  await page.focus('#Time');
  const order = ['Time'];
  for (let i = 0; i < fields.length + 1; ++i) {
    await page.keyboard.press('Tab');
    order.push(await page.evaluate(() => document.activeElement.id));
  }
  assert.deepStrictEqual(order, fields.map(([id]) => id).concat(['ChooseSource', 'ChooseFirstEncode']), `${language}: tab order`);

  // The worked examples, the copies between fields and the two failure texts.
  let got = await compute(page, 'Calc', { Time: '120', NextSize: '700', NowAudio: '128', NowVideo: '700', NowSize: '700', NextAudio: '96' });
  assert.deepStrictEqual(got.fields, ['120', '700', '128', '668', '668', '700', '128', ''], `${language}: calculate`);
  got = await compute(page, 'ReCalc', { NowVideo: '700', NowSize: '750', NextAudio: '96' });
  assert.deepStrictEqual(got.fields, ['120', '700', '96', '668', '700', '750', '96', '675'], `${language}: recalculate`);
  got = await compute(page, 'Calc', { Time: 'x', NextSize: '1', NowAudio: '128' });
  assert.strictEqual(got.fields[3], 'ERR', `${language}: a rejected text`);
  got = await compute(page, 'Calc', { Time: '0', NextSize: '1' });
  assert.strictEqual(got.fields[3], '---', `${language}: a division by zero`);
  got = await compute(page, 'Calc', { Time: '0', NextSize: '0' });
  assert.strictEqual(got.message, asReported(MESSAGES[language].get(INVALID_OP)), `${language}: 0 ÷ 0`);

  // Every sample through each panel's chooser and dropped on each panel.
  const ways = [
    { name: 'source chooser', chooser: 'ChooseSource' },
    { name: 'first-encode chooser', chooser: 'ChooseFirstEncode', firstEncode: true },
    { name: 'drop on the calculator', dropOn: 'Time' },
    { name: 'drop on the re-calculator', dropOn: 'NowSize', firstEncode: true },
    { name: 'drop on the window outside both panels', dropOn: 'window' },
  ];
  for (const sample of samples) {
    for (const how of ways) {
      await takeFile(page, how, sample.file, 'Time', sample.minutes);
      const shown = await page.evaluate(() => [document.getElementById('Time').value, document.getElementById('NowSize').value,
        document.getElementById('message').textContent, Number(document.getElementById('window').dataset.bytesRead)]);
      const name = `${language}: ${path.basename(sample.file)} by ${how.name}`;
      assert.deepStrictEqual(shown.slice(0, 3), [sample.minutes, how.firstEncode ? sample.megabytes : '', ''], name);
      assert.ok(shown[3] > 0 && shown[3] < 4096, `${name}: read ${shown[3]} bytes`);
    }
  }

  // While a file is dragged, only the panel that would take it is outlined.
  const outlinedWhileOver = (ids) => page.evaluate((over) => over.map((id) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File(['x'], 'x.mp4'));
    const type = id ? 'dragover' : 'dragleave';
    (document.getElementById(id || 'window')).dispatchEvent(new DragEvent(type, { dataTransfer: transfer, bubbles: true }));
    return Array.from(document.querySelectorAll('.dropping'), (e) => e.id).join();
  }), ids);
  assert.deepStrictEqual(await outlinedWhileOver(['NowSize', 'Time', 'Calc', 'window', 'ReCalc', null]),
    ['GroupBox2', 'GroupBox1', 'GroupBox1', 'window', 'GroupBox2', ''], `${language}: outlines`);

  // A file of no known format and a cut one: the window's message around its
  // name, and no field changed.
  for (const [file, id] of [[path.join(data, 'make-files.sh'), FORMAT_UNKNOWN], [cut, NO_RUNNING_TIME]]) {
    await takeFile(page, { dropOn: 'Time' }, file, 'Time', '\u0000');
    const [before, after] = MESSAGES[language].get(id).split('%s');
    const name = path.basename(file);
    assert.strictEqual(await page.textContent('#message'), asReported(before + name + after), `${language}: ${name}`);
    assert.strictEqual(await page.inputValue('#Time'), '', `${language}: ${name} changes no field`);
  }

  // The 5 GiB file, dropped: its time, and how soon it shows.
  const timings = [];
  for (let i = 0; i < 5; ++i) timings.push(await takeFile(page, { dropOn: 'NowSize' }, large.file, 'Time', large.minutes));
  assert.deepStrictEqual([await page.inputValue('#Time'), await page.inputValue('#NowSize')], [large.minutes, '5121'], `${language}: 5 GiB`);
  const bytesRead = await page.evaluate(() => Number(document.getElementById('window').dataset.bytesRead));

  // Nothing but the page itself was ever requested, and the policy refuses a request.
  const violation = await page.evaluate(() => new Promise((resolve) => {
    document.addEventListener('securitypolicyviolation', (e) => resolve(e.effectiveDirective), { once: true });
    fetch('https://example.invalid/').catch(() => {});
  }));
  assert.strictEqual(violation, 'connect-src', `${language}: the policy refuses requests`);
  const others = requests.filter((url) => url !== pageUrl && !url.startsWith('blob:'));
  assert.deepStrictEqual(others, [], `${language}: requests after opening`);
  assert.deepStrictEqual(errors.filter((e) => !e.includes('example.invalid') && !e.includes('Content Security Policy')), [],
    `${language}: the page's errors`);

  await page.evaluate(() => { document.getElementById('message').textContent = ''; });
  await compute(page, 'Calc', { Time: '120', NextSize: '700', NowAudio: '128' });
  await page.screenshot({ path: path.join(out, `page-${language}.png`) });
  await context.close();
  timings.sort((a, b) => a - b);
  return { timings, bytesRead };
}

(async () => {
  fs.mkdirSync(out, { recursive: true });
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'tarnwick-page-'));
  const browser = await chromium.launch({
    executablePath: process.env.TW_CHROMIUM || '/usr/bin/chromium',
  });
  try {
    const large = { file: path.join(folder, 'large.mp4'), minutes: '90' };
    writeLargeMp4(large.file, 90);
    // The movie box of an MP4 that keeps it at the end, cut off.
    const cut = path.join(folder, 'cut-2h00m03s.mp4');
    const whole = fs.readFileSync(path.join(data, 'mp4-moov-at-end-2h00m03s.mp4'));
    fs.writeFileSync(cut, whole.subarray(0, whole.length - 100));
    const samples = statedSamples(data);
    const size = fs.statSync(pageFile).size;
    assert.ok(size <= 256 * 1024, `the page is ${size} bytes`);
    for (const language of ['ja', 'en']) {
      const { timings, bytesRead } = await checkLanguage(browser, language, samples, large, cut);
      const median = timings[Math.floor(timings.length / 2)];
      console.log(`${language}: 5 GiB file's time shown ${timings.map((t) => t.toFixed(1)).join(', ')} ms after its drop ` +
        `(median ${median.toFixed(1)}), ${bytesRead} bytes read`);
      assert.ok(median <= 100, `${language}: the time showed ${median} ms after the drop`);
    }
    console.log(`page: ${size} bytes; ${samples.length} samples by 5 ways in 2 languages as expected; pictures in ${out}`);
  } finally {
    await browser.close();
    fs.rmSync(folder, { recursive: true, force: true });
  }
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
