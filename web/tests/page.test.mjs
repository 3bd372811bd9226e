// The page in the system's Chromium, headless: fields, Start, Stop, Pause and
// Step, the result lines against the native batch tool and the golden series.
// WEB_DIR: the built page's folder; BATCH: threebody-batch; GOLDEN: the golden
// series' CSV; MAP: threebody-map; SHOTS (optional): a folder for screenshots.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { readFileSync, mkdirSync } from 'node:fs';
import { chromium } from 'playwright-core';

const webDir = process.env.WEB_DIR;
const batch = process.env.BATCH;
const golden = process.env.GOLDEN;
const shots = process.env.SHOTS;
const here = new URL('.', import.meta.url).pathname;

let server, browser, url;

before(async () => {
  server = spawn('python3', [`${here}../serve.py`, webDir, '0'], { stdio: ['ignore', 'pipe', 'inherit'] });
  url = await new Promise((resolve, reject) => {
    server.stdout.on('data', (d) => {
      const m = /http:\/\/[0-9.]+:[0-9]+\//.exec(String(d));
      if (m) resolve(m[0]);
    });
    server.on('exit', (code) => reject(new Error(`the server ended (${code})`)));
  });
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  await browser?.close();
  server?.kill();
});

async function openPage(viewport = { width: 1920, height: 1080 }) {
  const page = await browser.newPage({ viewport });
  const requests = [];
  page.on('request', (r) => requests.push(r.url()));
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(url);
  await page.waitForFunction(() => !document.getElementById('start').disabled);
  return { page, requests, errors };
}

async function runSeries(page, fields) {
  for (const [id, text] of Object.entries(fields)) await page.fill(`#${id}`, text);
  await page.click('#start');
  await page.waitForFunction(() => document.getElementById('stop').disabled === false ||
                                   document.getElementById('timing').textContent !== '');
  await page.waitForFunction(() => document.getElementById('timing').textContent !== '', null, { timeout: 120000 });
  return page.$$eval('#lines li', (lis) => lis.map((li) => li.textContent).filter((t) => t !== ''));
}

function batchLines(args) {
  return execFileSync(batch, args, { encoding: 'utf8' }).split('\n').filter((l) => l !== '');
}

test('the page loads its own files only, and is cross-origin isolated', async () => {
  const { page, requests, errors } = await openPage();
  assert.ok(await page.evaluate(() => self.crossOriginIsolated));
  for (const r of requests) assert.ok(r.startsWith(url), `a request outside the page's folder: ${r}`);
  assert.deepEqual(errors, []);
  await page.close();
});

test('the lines are the batch tool\'s, and the golden series\' columns', async () => {
  const { page, errors } = await openPage();
  // Series of the tests before, and the README's examples.
  const cases = [
    ['--tdelta', '0.01'],
    ['--tdelta', '0.01', '--alpha-end', '40', '--m3', '100', '--init-v3', '1.2'],
    ['--tdelta', '0.005', '--alpha-start', '-30', '--alpha-end', '30', '--m2', '10'],
    ['--alpha-end', '20'],
    ['--alpha-end', '0.1', '--tdelta', '0.01'],
    ['--alpha-start', '30', '--alpha-end', '30'],
    ['--tdelta', '0.05', '--alpha-start', '36', '--alpha-end', '48'],
    ['--tdelta', '0.05', '--init-v3', '0.7', '--alpha-start', '40', '--alpha-end', '45'],
  ];
  const control = { '--alpha-start': 'Talphastr', '--alpha-end': 'Talphaend', '--tdelta': 'Ttdelta',
                    '--init-v3': 'Tinitv2', '--m2': 'Tm2', '--m3': 'Tm3', '--disp-max': 'Tdispmax' };
  for (const args of cases) {
    const fields = {};
    for (let k = 0; k < args.length; k += 2) fields[control[args[k]]] = args[k + 1];
    const lines = await runSeries(page, { Ttdelta: '0.001', Talphastr: '0', Talphaend: '180', Tinitv2: '0.9', Tm2: '1000',
                                          Tm3: '1', Tdispmax: '500', ...fields });
    const expected = batchLines(args);
    // The print form keeps 19 lines: the 19th shows the latest test.
    const shown = expected.length <= 19 ? expected : [...expected.slice(0, 18), expected[expected.length - 1]];
    assert.deepEqual(lines, shown, args.join(' '));
  }
  // The default series: every column of every test as the golden file has it.
  await runSeries(page, { Ttdelta: '0.001', Talphastr: '0', Talphaend: '180', Tinitv2: '0.9', Tm2: '1000', Tm3: '1',
                          Tdispmax: '500' });
  const csv = await page.evaluate(() => state.csv);
  const cut = csv.trim().split('\n').map((row) => row.split(',').slice(0, 14).join(','));
  assert.deepEqual(cut, readFileSync(golden, 'utf8').trim().split('\n'));
  // A hovered line says the test in words.
  const words = await page.$eval('#lines li', (li) => li.title);
  assert.match(words, /^alpha 0\b/);
  if (shots) {
    mkdirSync(shots, { recursive: true });
    await page.screenshot({ path: `${shots}/web-1920x1080.png` });
  }
  assert.deepEqual(errors, []);
  await page.close();
});

test('a typed mistake is marked with the tools\' words, and Start refuses a zero time step', async () => {
  const { page } = await openPage();
  await page.fill('#Ttdelta', '0,01');
  assert.ok(await page.$eval('#Ttdelta', (e) => e.classList.contains('misread')));
  assert.match(await page.textContent('#Ttdelta-note'), /write 0\.01/);
  await page.fill('#Ttdelta', '0.01');
  assert.ok(!(await page.$eval('#Ttdelta', (e) => e.classList.contains('misread'))));
  await page.fill('#Ttdelta', '0');
  await page.click('#start');
  assert.match(await page.textContent('#message'), /tdelta/);
  assert.ok(await page.$eval('#stop', (b) => b.disabled), 'no series started');
  // A refused experiment gets the tool's own words.
  await page.fill('#Ttdelta', '0.001');
  await page.fill('#Tm2', '-1000');
  await page.click('#start');
  let said = '';
  try {
    execFileSync(batch, ['--m2', '-1000'], { encoding: 'utf8', stdio: 'pipe' });
  } catch (e) {
    said = e.stderr.trim().replace(/^threebody-batch: /, '');
  }
  assert.ok(said !== '');
  assert.equal(await page.textContent('#message'), said);
  await page.close();
});

test('Pause, Step and Stop reach the running series', async () => {
  const { page } = await openPage({ width: 390, height: 844 });
  await page.fill('#Ttdelta', '0.0001');
  await page.selectOption('#speed', '300');
  await page.click('#start');
  await page.waitForFunction(() => Number(document.getElementById('readout-Tcycle').textContent) > 0);
  await page.click('#pause');
  await page.waitForTimeout(300);
  const paused = Number(await page.textContent('#readout-Tcycle'));
  await page.waitForTimeout(300);
  assert.equal(Number(await page.textContent('#readout-Tcycle')), paused, 'paused');
  await page.click('#step');
  await page.waitForFunction((n) => Number(document.getElementById('readout-Tcycle').textContent) > n, paused);
  const stepped = Number(await page.textContent('#readout-Tcycle'));
  assert.equal(stepped % 100, 0, 'a step ends at a display step');
  if (shots) await page.screenshot({ path: `${shots}/web-390x844.png`, fullPage: true });
  await page.click('#stop');
  await page.waitForFunction(() => document.getElementById('timing').textContent !== '');
  const lines = await page.$$eval('#lines li', (lis) => lis.map((li) => li.textContent).filter((t) => t !== ''));
  assert.equal(lines.length, 1);
  assert.match(lines[0], /end {2}0$/);
  assert.equal(await page.textContent('#message'), 'NEXT TEST ? ');
  assert.ok(!(await page.$eval('#start', (b) => b.disabled)));
  await page.close();
});

function mapCsv(args) {
  const out = `${process.env.TMPDIR || '/tmp'}/threebody-web-test-map.csv`;
  execFileSync(process.env.MAP, [...args, '--csv', out], { stdio: 'ignore' });
  const rows = readFileSync(out, 'utf8').split('\n').filter((l) => l !== '' && !l.startsWith('#'));
  const head = rows[0].split(',');
  return rows.slice(1).map((r) => Object.fromEntries(r.split(',').map((v, k) => [head[k], v])));
}

test('an outcome map on every core: the map tool\'s points, hover and click-to-run', async () => {
  const { page, errors } = await openPage();
  await page.fill('#Ttdelta', '0.01');
  await page.fill('#map-x-points', '9');
  await page.fill('#map-y-points', '5');
  for (const [integrator, args] of [['1', ['--integrator', 'reference']], ['0', ['--tdelta', '0.01']]]) {
    await page.selectOption('#map-integrator', integrator);
    await page.click('#map-compute');
    await page.waitForFunction(() => map.done === 45 && !map.running, null, { timeout: 120000 });
    const points = await page.evaluate(() => map.points);
    const rows = mapCsv(['--x', 'alpha=0:360:9', '--y', 'init-v3=0.5:1.5:5', ...args]);
    assert.equal(points.length, rows.length);
    rows.forEach((row, k) => {
      assert.equal(points[k].k, k);
      assert.equal(String(points[k].steps), row.steps, `point ${k}`);
      assert.equal(String(points[k].time), row.time, `point ${k}`);
      if (integrator === '1') assert.equal(points[k].verdict, row.verdict, `point ${k}`);
    });
    assert.match(await page.textContent('#map-status'), /45 of 45 points.*S_b/);
  }
  // Axes the map tool refuses, and a map too large for the page, are said so;
  // the map shown stays.
  await page.fill('#map-x-points', '0');
  await page.click('#map-compute');
  assert.match(await page.textContent('#map-status'), /count of "alpha=0:360:0" must be a whole number/);
  await page.fill('#map-x-points', '2000');
  await page.fill('#map-y-points', '2000');
  await page.click('#map-compute');
  assert.match(await page.textContent('#map-status'), /at most 1000000 points.*4000000/);
  assert.equal(await page.evaluate(() => map.points.length), 45);
  assert.deepEqual(await page.evaluate(() => [map.x, map.y]), ['alpha=0:360:9', 'init-v3=0.5:1.5:5']);
  await page.fill('#map-x-points', '9');
  await page.fill('#map-y-points', '5');
  // Hover over the bottom-left cell, then click it: its test runs above.
  const box = await page.$eval('#map-canvas', (c) => {
    c.scrollIntoView({ block: 'center' });
    const b = c.getBoundingClientRect();
    return [b.left, b.bottom];
  });
  await page.mouse.move(box[0] + 2, box[1] - 2);
  assert.match(await page.textContent('#map-hover'), /^alpha 0, init-v3 0\.5: /);
  await page.mouse.click(box[0] + 2, box[1] - 2);
  await page.waitForFunction(() => document.getElementById('timing').textContent !== '');
  const lines = await page.$$eval('#lines li', (lis) => lis.map((li) => li.textContent).filter((t) => t !== ''));
  assert.deepEqual(lines, batchLines(['--tdelta', '0.01', '--alpha-start', '0', '--alpha-end', '0', '--init-v3', '0.5']));
  // With a keyboard alone: Tab to the map, arrows to a cell, Enter runs it.
  await page.focus('#map-canvas');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('ArrowUp');
  assert.match(await page.textContent('#map-hover'), /^alpha 45, init-v3 0\.75: /);
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.getElementById('timing').textContent !== '' &&
                                   document.getElementById('Talphastr').value === '45');
  await page.waitForFunction(() => document.getElementById('timing').textContent !== '');
  const keyed = await page.$$eval('#lines li', (lis) => lis.map((li) => li.textContent).filter((t) => t !== ''));
  assert.deepEqual(keyed, batchLines(['--tdelta', '0.01', '--alpha-start', '45', '--alpha-end', '45', '--init-v3', '0.75']));
  if (shots) await page.screenshot({ path: `${shots}/web-map.png`, fullPage: true });
  // A drag over cells zooms into them, at the same number of points, and is
  // the map tool's map of those ranges; Back returns.
  // (The click above scrolled the page to the plot.)
  await page.waitForTimeout(800);
  const cell = await page.$eval('#map-canvas', (c) => {
    c.scrollIntoView({ block: 'center' });
    const b = c.getBoundingClientRect();
    return { left: b.left, bottom: b.bottom, w: b.width / 9, h: b.height / 5 };
  });
  await page.mouse.move(cell.left + 2.5 * cell.w, cell.bottom - 1.5 * cell.h);
  await page.mouse.down();
  await page.mouse.move(cell.left + 5.5 * cell.w, cell.bottom - 3.5 * cell.h, { steps: 5 });
  await page.mouse.up();
  assert.deepEqual(await page.evaluate(() => [map.x, map.y]), ['alpha=90:225:9', 'init-v3=0.75:1.25:5']);
  await page.waitForFunction(() => map.done === 45 && !map.running, null, { timeout: 120000 });
  const zoomed = await page.evaluate(() => map.points);
  mapCsv(['--x', 'alpha=90:225:9', '--y', 'init-v3=0.75:1.25:5', '--tdelta', '0.01']).forEach((row, k) =>
    assert.equal(String(zoomed[k].steps), row.steps, `zoomed point ${k}`));
  await page.click('#map-back');
  assert.deepEqual(await page.evaluate(() => [map.x, map.y]), ['alpha=0:360:9', 'init-v3=0.5:1.5:5']);
  assert.ok(await page.$eval('#map-back', (b) => b.disabled));
  assert.deepEqual(errors, []);
  await page.close();
});

test('the graphs follow the test to its end; the colour-blind palette draws in its own colours', async () => {
  const { page } = await openPage();
  const colours = async () => page.$eval('#plot', (c) => {
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    const count = (r, g, b) => { let n = 0; for (let i = 0; i < d.length; i += 4) n += d[i] === r && d[i + 1] === g && d[i + 2] === b; return n; };
    return { red: count(255, 0, 0), orange: count(240, 160, 0) };
  });
  await runSeries(page, { Ttdelta: '0.01', Talphastr: '0', Talphaend: '0' });
  const plain = await colours();
  // The graphs over time end with the test: their last sample at its time.
  const [samples, last, time] = await page.evaluate(() => {
    const n = state.graph.length / 7;
    return [n, state.graph[(n - 1) * 7], state.tests[0].time];
  });
  assert.ok(samples > 100, `${samples} samples`);
  assert.equal(last, time);
  assert.ok(plain.red > 0 && plain.orange === 0, JSON.stringify(plain));
  await page.check('#colour-blind');
  await runSeries(page, { Ttdelta: '0.01', Talphastr: '0', Talphaend: '0' });
  const safe = await colours();
  assert.ok(safe.red === 0 && safe.orange > 0, JSON.stringify(safe));
  await page.close();
});

test('an example fills the fields and says what to watch', async () => {
  const { page } = await openPage();
  const options = await page.$$eval('#examples option', (os) => os.map((o) => o.value).filter((v) => v !== ''));
  assert.ok(options.length > 0);
  await page.selectOption('#examples', options[0]);
  assert.notEqual(await page.textContent('#watch'), '');
  // Its one test: the start and end angle the same.
  assert.equal(await page.inputValue('#Talphastr'), await page.inputValue('#Talphaend'));
  await page.close();
});

test('served without cross-origin isolation the page still runs, and Stop ends the worker', async () => {
  const plain = spawn('python3', [`${here}../serve.py`, webDir, '0', '--plain'], { stdio: ['ignore', 'pipe', 'inherit'] });
  try {
    const plainUrl = await new Promise((resolve) => plain.stdout.on('data', (d) => {
      const m = /http:\/\/[0-9.]+:[0-9]+\//.exec(String(d));
      if (m) resolve(m[0]);
    }));
    const page = await browser.newPage();
    await page.goto(plainUrl);
    await page.waitForFunction(() => !document.getElementById('start').disabled);
    assert.equal(await page.evaluate(() => self.crossOriginIsolated), false);
    const lines = await runSeries(page, { Ttdelta: '0.01', Talphaend: '40' });
    assert.deepEqual(lines, batchLines(['--tdelta', '0.01', '--alpha-end', '40']));
    assert.ok(await page.$eval('#pause', (b) => b.disabled), 'no pause without shared memory');
    // A long series, stopped: the lines so far stay, and Start comes back.
    await page.fill('#Ttdelta', '0.0001');
    await page.fill('#Talphaend', '180');
    await page.click('#start');
    await page.waitForFunction(() => Number(document.getElementById('readout-Tcycle').textContent) > 0);
    await page.click('#stop');
    assert.match(await page.textContent('#message'), /NEXT TEST \? $/);
    await page.waitForFunction(() => !document.getElementById('start').disabled);
    // The engine's CSV of the series did not come: nothing stale is offered.
    assert.ok(await page.$eval('#save-results', (b) => b.disabled));
    await page.close();
  } finally {
    plain.kill();
  }
});
