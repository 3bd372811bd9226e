// The outcome map: its axes and integrator, its points computed by a pool of
// workers (one per core) coarse first, the picture, its legend, the basin
// entropy, and a cell's test on hover and click.
'use strict';

const MAP_FIELDS = [
  ['alpha', 'alpha'], ['init-v3', 'init v3'], ['m2', 'm2'], ['m3', 'm3'], ['tdelta', 'tdelta'],
];
// The control form's field of each axis parameter.
const AXIS_CONTROL = { alpha: 'Talphastr', 'init-v3': 'Tinitv2', m2: 'Tm2', m3: 'Tm3', tdelta: 'Ttdelta' };
const NOT_YET = 6; // the outcome slot of a point not computed yet
const CHUNK = 12;  // points a worker takes at a time
// The most points the page maps: its picture, the points' results and their
// order stay in the page's memory (the map tool takes larger maps).
const MOST_POINTS = 1000000;

const map = {
  id: 0,
  workers: [],
  running: false,
  columns: 0, rows: 0,
  axes: null,       // the axes' texts and the order of the points
  next: 0,          // the next place in that order to hand out
  points: [],       // each point's result, or undefined
  done: 0,
  cell: 1,
  legend: new Map(),
  started: 0,
  fields: [], x: '', y: '', reference: 1,
  cursor: null,     // the cell the arrow keys chose
  history: [],      // the axes of the maps zoomed out of, for Back
};

function axisText(which) {
  const v = (id) => $(`map-${which}-${id}`).value.trim();
  return `${v('field')}=${v('from')}:${v('to')}:${v('points')}`;
}

function colourOf(c) {
  return `rgb(${c & 255},${(c >> 8) & 255},${(c >> 16) & 255})`;
}

function mapWorker(k) {
  if (!map.workers[k]) {
    const w = new Worker('worker.js');
    w.onmessage = (e) => onMapMessage(k, e.data);
    map.workers[k] = w;
  }
  return map.workers[k];
}

function handOut(k) {
  if (!map.running || map.next >= map.axes.order.length) return false;
  const points = map.axes.order.slice(map.next, map.next + CHUNK);
  map.next += points.length;
  mapWorker(k).postMessage({ type: 'map', map: map.id, fields: map.fields, x: map.x, y: map.y,
                             reference: map.reference, points });
  return true;
}

function computeMap() {
  // The map shown stays until the new one is accepted.
  const fields = fieldTexts(), x = axisText('x'), y = axisText('y');
  const reference = Number($('map-integrator').value);
  const problem = state.checker.ccall('tb_map_setup', 'string', ['string', 'string', 'string', 'number'],
                                      [fields.map(([c, t]) => `${c}=${t}`).join('\n'), x, y, reference]);
  if (problem) {
    $('map-status').textContent = problem;
    $('map-status').classList.add('fault');
    return;
  }
  const count = (which) => Number($(`map-${which}-points`).value.trim());
  if (count('x') * count('y') > MOST_POINTS) {
    $('map-status').textContent = `The page maps at most ${MOST_POINTS} points and this map has ` +
      `${count('x') * count('y')}: give fewer points, or make it with threebody-map.`;
    $('map-status').classList.add('fault');
    return;
  }
  $('map-status').classList.remove('fault');
  stopMap();
  Object.assign(map, { fields, x, y, reference });
  map.axes = JSON.parse(state.checker.ccall('tb_map_axes', 'string', [], []));
  map.columns = map.axes.x.length;
  map.rows = map.axes.y.length;
  map.points = new Array(map.columns * map.rows);
  map.done = 0;
  map.next = 0;
  map.legend.clear();
  map.id += 1;
  const canvas = $('map-canvas');
  map.cell = Math.max(1, Math.min(Math.floor(720 / map.columns), Math.floor(420 / map.rows)));
  canvas.width = map.columns * map.cell;
  canvas.height = map.rows * map.cell;
  const g = canvas.getContext('2d');
  g.fillStyle = '#fff';
  g.fillRect(0, 0, canvas.width, canvas.height);
  $('map-legend').replaceChildren();
  $('map-hover').textContent = '';
  map.cursor = null;
  $('map-cursor').hidden = true;
  const [xField, yField] = [map.x, map.y].map((a) => a.split('=')[0]);
  $('map-axes').textContent = `${xField} ${map.axes.x[0]} to ${map.axes.x[map.columns - 1]} across, ` +
                              `${yField} ${map.axes.y[0]} to ${map.axes.y[map.rows - 1]} up`;
  map.running = true;
  map.started = performance.now();
  $('map-stop').disabled = false;
  const cores = Math.max(1, Math.min(navigator.hardwareConcurrency || 2, 8));
  for (let k = 0; k < cores; ++k) handOut(k);
  showProgress();
}

function stopMap() {
  if (!map.running) return;
  // The workers' running points are abandoned; what is done stays.
  for (const w of map.workers) w && w.terminate();
  map.workers = [];
  map.running = false;
  $('map-stop').disabled = true;
  showProgress(true);
}

// The cell of point k, and while its neighbours are not computed yet the
// block of the coarse pass it stands for (every 8th point both ways first).
function paintPoint(p) {
  const g = $('map-canvas').getContext('2d');
  const i = p.k % map.columns, j = p.k / map.columns | 0;
  let block = 1;
  for (const s of [8, 4, 2]) if (i % s === 0 && j % s === 0) { block = s; break; }
  g.fillStyle = colourOf(p.colour);
  for (let dj = 0; dj < block && j + dj < map.rows; ++dj)
    for (let di = 0; di < block && i + di < map.columns; ++di) {
      const q = (j + dj) * map.columns + i + di;
      if (q !== p.k && map.points[q]) continue;
      // y grows upwards: the first row at the bottom.
      g.fillRect((i + di) * map.cell, (map.rows - 1 - j - dj) * map.cell, map.cell, map.cell);
    }
  if (!map.legend.has(p.slot)) {
    map.legend.set(p.slot, p);
    const items = [...map.legend.values()].sort((a, b) => a.slot - b.slot).map((q) => {
      const li = document.createElement('li');
      li.style.setProperty('--swatch', colourOf(q.colour));
      li.textContent = q.outcome;
      return li;
    });
    $('map-legend').replaceChildren(...items);
  }
}

function onMapMessage(k, m) {
  if (m.type === 'map-problem') {
    $('map-status').textContent = m.problem;
    stopMap();
    return;
  }
  if (m.type !== 'points' || m.map !== map.id) return;
  for (const p of m.points) {
    map.points[p.k] = p;
    map.done += 1;
    paintPoint(p);
  }
  if (m.more && !handOut(k) && map.done === map.points.length) {
    map.running = false;
    $('map-stop').disabled = true;
  }
  showProgress();
}

function basinEntropy() {
  const n = map.columns * map.rows;
  const slots = state.checker._malloc(n);
  for (let q = 0; q < n; ++q) state.checker.HEAPU8[slots + q] = map.points[q] ? map.points[q].slot : NOT_YET;
  const text = state.checker.ccall('tb_basin_entropy', 'string', ['number', 'number', 'number'],
                                   [slots, map.columns, map.rows]);
  state.checker._free(slots);
  return text;
}

function showProgress(stopped = false) {
  const total = map.columns * map.rows;
  const seconds = ((performance.now() - map.started) / 1000).toFixed(1);
  let text = `${map.done} of ${total} points, ${seconds} s`;
  if (!map.running && map.done > 0) text += ` — ${basinEntropy().replace(/^threebody-map: /, '')}`;
  if (stopped && map.done < total) text += ' (stopped)';
  $('map-status').textContent = text;
}

function pointAt(event) {
  const canvas = $('map-canvas');
  const box = canvas.getBoundingClientRect();
  const i = Math.floor(((event.clientX - box.left) / box.width) * map.columns);
  const jUp = Math.floor(((event.clientY - box.top) / box.height) * map.rows);
  const j = map.rows - 1 - jUp;
  if (!map.axes || i < 0 || j < 0 || i >= map.columns || j >= map.rows) return null;
  return { i, j };
}

function describe({ i, j }) {
  const p = map.points[j * map.columns + i];
  const xField = map.x.split('=')[0], yField = map.y.split('=')[0];
  const where = `${xField} ${map.axes.x[i]}, ${yField} ${map.axes.y[j]}`;
  return p ? `${where}: ${p.outcome}\n${p.text}` : `${where}: not computed yet`;
}

// The test of a cell, run above as a one-test series.
function runCell({ i, j }) {
  if (state.running) return;
  const set = (field, text) => {
    const control = AXIS_CONTROL[field];
    $(control).value = text;
    if (control === 'Talphastr') $('Talphaend').value = text;
  };
  set(map.x.split('=')[0], map.axes.x[i]);
  set(map.y.split('=')[0], map.axes.y[j]);
  $('Talphaend').value = $('Talphastr').value;
  for (const f of state.fields) checkField(f);
  start();
  $('display').scrollIntoView({ behavior: 'smooth', block: 'nearest' });
}

// The keyboard's cell: a frame over it, and its test in words.
function showCursor(at) {
  map.cursor = at;
  const canvas = $('map-canvas'), frame = $('map-cursor');
  const w = canvas.clientWidth / map.columns, h = canvas.clientHeight / map.rows;
  Object.assign(frame.style, { left: `${canvas.offsetLeft + at.i * w}px`, top: `${canvas.offsetTop + (map.rows - 1 - at.j) * h}px`,
                               width: `${Math.max(w, 4)}px`, height: `${Math.max(h, 4)}px` });
  frame.hidden = false;
  $('map-hover').textContent = describe(at);
}

function onMapKey(e) {
  if (!map.axes) return;
  const at = map.cursor || { i: 0, j: 0 };
  const moves = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, 1], ArrowDown: [0, -1] };
  if (moves[e.key]) {
    const [di, dj] = moves[e.key];
    const step = e.shiftKey ? 8 : 1;
    showCursor({ i: Math.min(map.columns - 1, Math.max(0, at.i + di * step)),
                 j: Math.min(map.rows - 1, Math.max(0, at.j + dj * step)) });
    e.preventDefault();
  } else if (e.key === 'Enter' && map.cursor) {
    runCell(map.cursor);
    e.preventDefault();
  }
}

function initMap() {
  for (const which of ['x', 'y']) {
    const select = $(`map-${which}-field`);
    for (const [value, label] of MAP_FIELDS) select.add(new Option(label, value));
    select.value = which === 'x' ? 'alpha' : 'init-v3';
  }
  $('map-compute').addEventListener('click', computeMap);
  $('map-stop').addEventListener('click', stopMap);
  const canvas = $('map-canvas');
  canvas.addEventListener('mousemove', (e) => {
    const at = pointAt(e);
    if (at) $('map-hover').textContent = describe(at);
  });
  canvas.addEventListener('keydown', onMapKey);
  canvas.addEventListener('focus', () => map.axes && showCursor(map.cursor || { i: 0, j: 0 }));
  canvas.addEventListener('blur', () => { $('map-cursor').hidden = true; });
  // A click runs a cell's test; a drag over cells zooms into them.
  let drag = null;
  canvas.addEventListener('mousedown', (e) => {
    drag = pointAt(e) && { from: pointAt(e), x: e.clientX, y: e.clientY };
  });
  canvas.addEventListener('mousemove', (e) => {
    if (drag && (Math.abs(e.clientX - drag.x) > 4 || Math.abs(e.clientY - drag.y) > 4)) {
      drag.moved = true;
      const to = pointAt(e);
      if (to) showSelection(drag.from, to);
    }
  });
  window.addEventListener('mouseup', (e) => {
    if (!drag) return;
    const from = drag.from, moved = drag.moved;
    drag = null;
    $('map-selection').hidden = true;
    const to = pointAt(e);
    if (!to) return;
    if (!moved) runCell(to);
    else zoomTo(from, to);
  });
  $('map-back').addEventListener('click', back);
}

// The cells between two corners, framed while the mouse drags.
function showSelection(a, b) {
  const canvas = $('map-canvas'), frame = $('map-selection');
  const w = canvas.clientWidth / map.columns, h = canvas.clientHeight / map.rows;
  const i0 = Math.min(a.i, b.i), i1 = Math.max(a.i, b.i), j0 = Math.min(a.j, b.j), j1 = Math.max(a.j, b.j);
  Object.assign(frame.style, { left: `${canvas.offsetLeft + i0 * w}px`, top: `${canvas.offsetTop + (map.rows - 1 - j1) * h}px`,
                               width: `${(i1 - i0 + 1) * w}px`, height: `${(j1 - j0 + 1) * h}px` });
  frame.hidden = false;
}

// The map of the cells between two corners, at the same number of points:
// the axes' texts at the corners become the new ranges; Back returns.
function zoomTo(a, b) {
  const i0 = Math.min(a.i, b.i), i1 = Math.max(a.i, b.i), j0 = Math.min(a.j, b.j), j1 = Math.max(a.j, b.j);
  if (i1 === i0 || j1 === j0) return;
  map.history.push(axisInputs());
  $('map-x-from').value = map.axes.x[i0];
  $('map-x-to').value = map.axes.x[i1];
  $('map-y-from').value = map.axes.y[j0];
  $('map-y-to').value = map.axes.y[j1];
  $('map-back').disabled = false;
  computeMap();
}

function axisInputs() {
  const ids = ['x-field', 'x-from', 'x-to', 'x-points', 'y-field', 'y-from', 'y-to', 'y-points'];
  return Object.fromEntries(ids.map((id) => [id, $(`map-${id}`).value]));
}

function back() {
  const view = map.history.pop();
  if (!view) return;
  for (const [id, value] of Object.entries(view)) $(`map-${id}`).value = value;
  $('map-back').disabled = map.history.length === 0;
  computeMap();
}
