// The page: the control form's fields and buttons, the plot, the result
// lines and the table. The engine runs in a worker (worker.js); this script
// checks typed fields with the same engine, loaded here too.
'use strict';

const READOUTS = [
  ['Talpha', 'alpha'], ['Trev', 'revolution'], ['Tcycle', 'Lcycle'], ['Tdist01', 'dist 1,2'],
  ['Tdist01min', 'dist 1,2 min'], ['Tdist01max', 'dist 1,2 max'], ['Tvesc', 'v escape'], ['Tv3', 'v3'],
  ['Tv3max', 'v3 max'], ['Tr1', 'r1'], ['Tr2', 'r2'], ['Tr3', 'r3'], ['Tphi', 'Phi'],
];

const $ = (id) => document.getElementById(id);
const state = {
  fields: [],       // the parameter fields: control, label, default, what
  checker: null,    // the engine on this page, for checking fields
  worker: null,
  ready: false,
  running: false,
  control: null,    // the block shared with the worker (see worker.js)
  tests: [],        // every finished test's columns
  words: [],        // every finished test's line in words
  csv: '',
  readouts: {},
  started: 0,
  seriesFields: [],
  palette: 'document', // the trails' colours of the series shown
  bodies: [],          // each body's latest dot on the plot, in pixels
};

function fieldTexts() {
  return state.fields.map((f) => [f.control, $(f.control).value]);
}

// Marks a field whose text does not read wholly as a number, with the same
// words as the desktop's tooltip.
function checkField(f) {
  const input = $(f.control);
  const note = $(`${f.control}-note`);
  const reads = state.checker.ccall('tb_text_reads', 'string', ['string', 'string'], [input.value, f.default]);
  input.classList.toggle('misread', reads !== '');
  input.setAttribute('aria-invalid', reads !== '' ? 'true' : 'false');
  input.title = reads === '' ? `${f.label}: ${f.what} (default ${f.default})` : `${f.label} ${reads}`;
  note.textContent = reads === '' ? '' : reads;
  note.hidden = reads === '';
}

function buildFields() {
  const form = $('fields');
  for (const f of state.fields) {
    const label = document.createElement('label');
    label.htmlFor = f.control;
    label.textContent = f.label;
    const input = document.createElement('input');
    input.id = f.control;
    input.name = f.option.slice(2);
    input.value = f.default;
    input.inputMode = 'decimal';
    input.spellcheck = false;
    input.setAttribute('aria-describedby', `${f.control}-note`);
    input.addEventListener('input', () => checkField(f));
    input.addEventListener('keydown', (e) => {
      if (e.key === 'Enter') start();
    });
    const note = document.createElement('p');
    note.id = `${f.control}-note`;
    note.className = 'field-note';
    note.hidden = true;
    form.append(label, input, note);
    checkField(f);
  }
  const list = $('readouts');
  for (const [control, label] of READOUTS) {
    const dt = document.createElement('dt');
    dt.textContent = label;
    const dd = document.createElement('dd');
    dd.id = `readout-${control}`;
    dd.textContent = '0';
    list.append(dt, dd);
  }
}

// The examples: choosing one fills the fields (and says what to watch);
// Start runs it.
function buildExamples(examples) {
  const select = $('examples');
  examples.forEach((e, k) => select.add(new Option(e.name, String(k))));
  select.addEventListener('change', () => {
    const e = examples[Number(select.value)];
    if (!select.value || !e) return;
    for (const [control, text] of e.fields) if ($(control)) $(control).value = text;
    for (const f of state.fields) checkField(f);
    $('watch').textContent = e.watch;
  });
}

function clearLines() {
  const lines = $('lines');
  lines.replaceChildren();
  for (let i = 0; i < 19; ++i) {
    const li = document.createElement('li');
    li.tabIndex = -1;
    lines.append(li);
  }
}

function setMessage(text, fault = false) {
  const m = $('message');
  m.textContent = text;
  m.classList.toggle('fault', fault);
}

function setRunning(running) {
  state.running = running;
  $('start').disabled = running || !state.ready;
  $('stop').disabled = !running;
  $('pause').disabled = !running || !state.control;
  $('step').disabled = !running || !state.control;
  // The CSV comes from the engine when a series ends (none after a Stop that
  // ended the worker).
  $('save-results').disabled = running || state.csv === '';
  if (!running) {
    $('pause').textContent = 'Pause';
    $('pause').setAttribute('aria-pressed', 'false');
  }
}

function plotSize() {
  // The drawing area in device pixels, as the page shows it.
  const box = $('plot').getBoundingClientRect();
  const side = Math.round(Math.min(box.width, box.height) * (window.devicePixelRatio || 1));
  return Math.max(200, Math.min(1600, side || 600));
}

function start() {
  if (state.running || !state.ready) return;
  const fields = fieldTexts();
  const refusal = state.checker.ccall('tb_start_refusal', 'string', ['string'],
                                      [fields.map(([c, t]) => `${c}=${t}`).join('\n')]);
  if (refusal) {
    // The last series' lines, picture and read-outs stay.
    setMessage(refusal, true);
    return;
  }
  setMessage('');
  clearLines();
  state.tests = [];
  state.words = [];
  state.csv = '';
  state.seriesFields = fields;
  fillTable();
  const side = plotSize();
  for (const c of [$('plot'), $('overlay')]) {
    c.width = side;
    c.height = side;
  }
  $('plot').getContext('2d').clearRect(0, 0, side, side);
  if (state.control) {
    Atomics.store(state.control, 1, 0);
    Atomics.store(state.control, 3, Number($('speed').value));
  }
  state.started = performance.now();
  $('timing').textContent = '';
  setRunning(true);
  state.palette = $('colour-blind').checked ? 'safe' : 'document';
  state.bodies = [];
  // The plot is square, as the world window of disp max is: its proportions
  // are true without the desktop's option.
  const options = $('colour-blind').checked ? 1 : 0;
  state.worker.postMessage({ type: 'run', fields, width: side, height: side, options,
                             control: state.control ? state.control.buffer : null });
}

function stop() {
  if (!state.running) return;
  if (state.control) {
    Atomics.add(state.control, 0, 1);
    Atomics.notify(state.control, 1);
    return;
  }
  // Without a shared block the engine cannot be told: end its worker. The
  // lines already written stay; the running test gets none.
  state.worker.terminate();
  startWorker();
  setMessage('Stopped. NEXT TEST ? ');
  setRunning(false);
}

function togglePause() {
  if (!state.control || !state.running) return;
  const paused = Atomics.load(state.control, 1) === 1 ? 0 : 1;
  Atomics.store(state.control, 1, paused);
  Atomics.notify(state.control, 1);
  $('pause').textContent = paused ? 'Run on' : 'Pause';
  $('pause').setAttribute('aria-pressed', paused ? 'true' : 'false');
}

function step() {
  if (!state.control || !state.running) return;
  if (Atomics.load(state.control, 1) !== 1) togglePause();
  Atomics.add(state.control, 2, 1);
  Atomics.notify(state.control, 1);
}

function drawFrame(m) {
  const canvas = $('plot');
  if (m.image && canvas.width === m.width && canvas.height === m.height) {
    canvas.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(m.image), m.width, m.height), 0, 0);
  }
  state.readouts = m.readouts;
  state.bodies = m.bodies;
  for (const [control] of READOUTS) $(`readout-${control}`).textContent = (m.readouts[control] || '').trim();
  drawOverlay();
}

function fillTable() {
  const head = $('table').tHead, body = $('table').tBodies[0];
  head.replaceChildren();
  body.replaceChildren();
  if (state.tests.length === 0) return;
  const columns = Object.keys(state.tests[0]);
  const row = head.insertRow();
  for (const c of columns) {
    const th = document.createElement('th');
    th.textContent = c;
    row.append(th);
  }
  state.tests.forEach((t, k) => addTableRow(t, k, columns));
}

function addTableRow(t, k, columns = Object.keys(state.tests[0])) {
  const row = $('table').tBodies[0].insertRow();
  row.title = state.words[k] || '';
  for (const c of columns) {
    const cell = row.insertCell();
    const v = t[c];
    cell.textContent = v === null || v === undefined ? '' : String(v);
    if (c === 'line') cell.className = 'line';
  }
}

function onWorkerMessage(event) {
  const m = event.data;
  switch (m.type) {
    case 'ready':
      state.ready = true;
      setRunning(state.running);
      break;
    case 'frame':
      drawFrame(m);
      break;
    case 'graph':
      drawGraphs(new Float64Array(m.values));
      break;
    case 'line': {
      const li = $('lines').children[m.index];
      if (li) li.textContent = m.text;
      break;
    }
    case 'test': {
      state.tests.push(m.test);
      state.words.push(m.words);
      const li = $('lines').children[Math.min(state.tests.length - 1, 18)];
      if (li) {
        li.title = m.words;
        li.tabIndex = 0;
      }
      if (state.tests.length === 1) fillTable();
      else addTableRow(m.test, state.tests.length - 1);
      break;
    }
    case 'caption':
      if (m.control === 'LMesg') setMessage(m.text);
      break;
    case 'fault':
      setMessage(m.message, true);
      break;
    case 'done': {
      state.csv = m.csv;
      const n = state.tests.length;
      $('timing').textContent = `${n} test${n === 1 ? '' : 's'} in ${m.seconds.toFixed(2)} s`;
      setRunning(false);
      break;
    }
  }
}

function startWorker() {
  state.ready = false;
  state.worker = new Worker('worker.js');
  state.worker.onmessage = onWorkerMessage;
}

function download(name, blob) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(blob);
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

function saveImage() {
  const plot = $('plot');
  const out = document.createElement('canvas');
  out.width = plot.width;
  out.height = plot.height;
  const g = out.getContext('2d');
  g.fillStyle = '#fff';
  g.fillRect(0, 0, out.width, out.height);
  g.drawImage(plot, 0, 0);
  if ($('show-overlay').checked) g.drawImage($('overlay'), 0, 0);
  out.toBlob((blob) => download('threebody.png', blob), 'image/png');
}

function init() {
  state.control = self.crossOriginIsolated ? new Int32Array(new SharedArrayBuffer(16)) : null;
  clearLines();
  $('start').addEventListener('click', start);
  $('stop').addEventListener('click', stop);
  $('pause').addEventListener('click', togglePause);
  $('step').addEventListener('click', step);
  $('speed').addEventListener('change', () => {
    if (state.control) Atomics.store(state.control, 3, Number($('speed').value));
  });
  $('show-overlay').addEventListener('change', drawOverlay);
  $('save-image').addEventListener('click', saveImage);
  $('save-results').addEventListener('click', () =>
    download('threebody-results.csv', new Blob([state.csv], { type: 'text/csv' })));
  $('full-screen').addEventListener('click', () => $('display').requestFullscreen && $('display').requestFullscreen());
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && state.running) stop();
  });
  startWorker();
  createThreebody().then((m) => {
    state.checker = m;
    state.fields = JSON.parse(m.ccall('tb_parameter_fields', 'string', [], []));
    buildFields();
    buildExamples(JSON.parse(m.ccall('tb_examples', 'string', [], [])));
    initMap();
    setRunning(false);
    if (!state.control) setMessage('');
  });
}

init();
