// The engine's worker: runs one series at a time in the WebAssembly engine
// and posts what the windows would show (the plot, the read-outs, the result
// lines) to the page. The page shares a control block with it, four 32-bit
// words in a SharedArrayBuffer: [0] Stop clicks, [1] paused (1) or running
// (0), [2] steps asked for while paused, [3] display steps a second (0: as
// fast as the machine goes). Without one (a page that is not cross-origin
// isolated) the series runs at full speed and Stop ends the worker.
'use strict';
importScripts('threebody.js');

const STOP = 1, FRAME = 2, EVERY_YIELD = 4;
const FRAME_MS = 40;

let engine = null;
let control = null;
let stopsSeen = 0, stepsSeen = 0;
let lastFrame = 0;
let pace = { since: 0, steps: 0 };
let stepUntil = -1; // the display step a Step runs to
let pauseShown = false; // the picture at the pause was sent

self.tbPoll = (displaySteps) => {
  let asked = 0;
  const now = performance.now();
  if (now - lastFrame >= FRAME_MS) {
    asked |= FRAME;
    lastFrame = now;
  }
  if (!control) return asked;
  if (Atomics.load(control, 0) !== stopsSeen) {
    stopsSeen = Atomics.load(control, 0);
    return asked | STOP;
  }
  const steps = Atomics.load(control, 2);
  if (steps !== stepsSeen) {
    stepsSeen = steps;
    stepUntil = displaySteps + 1;
    pauseShown = false;
  }
  if (stepUntil >= 0 && displaySteps < stepUntil) return asked | EVERY_YIELD;
  stepUntil = -1;
  if (Atomics.load(control, 1) === 1) {
    if (!pauseShown) {
      // Show where it stands, then wait at the next yield.
      pauseShown = true;
      lastFrame = now;
      return FRAME | EVERY_YIELD;
    }
    // Paused: sleep until Stop, Step or Run.
    while (Atomics.load(control, 1) === 1 && Atomics.load(control, 0) === stopsSeen &&
           Atomics.load(control, 2) === stepsSeen)
      Atomics.wait(control, 1, 1, 200);
    pauseShown = false;
    pace = { since: performance.now(), steps: displaySteps };
    return EVERY_YIELD;
  }
  pauseShown = false;
  const perSecond = Atomics.load(control, 3);
  if (perSecond > 0) {
    // Paced: no faster than the chosen display steps a second.
    const due = pace.since + ((displaySteps - pace.steps) * 1000) / perSecond;
    if (due > now + 1) Atomics.wait(control, 1, 0, Math.min(due - now, 250));
    if (now - pace.since > 2000) pace = { since: now, steps: displaySteps };
    return asked | EVERY_YIELD;
  }
  pace = { since: now, steps: displaySteps };
  return asked;
};

self.tbFrame = (pixels, width, height, readouts) => {
  let image = null;
  if (pixels && width > 0 && height > 0) {
    // Colours are 0x00BBGGRR: as bytes, red, green, blue and an alpha to fill.
    const source = new Uint32Array(engine.HEAPU32.buffer, pixels, width * height);
    const rgba = new Uint32Array(width * height);
    for (let i = 0; i < rgba.length; ++i) rgba[i] = source[i] | 0xff000000;
    image = rgba.buffer;
  }
  const shown = JSON.parse(readouts);
  const message = { type: 'frame', width, height, readouts: shown.readouts, bodies: shown.bodies, image };
  self.postMessage(message, image ? [image] : []);
};
self.tbGraph = (samples, count) => {
  const values = new Float64Array(engine.HEAPF64.buffer, samples, count * 7).slice();
  self.postMessage({ type: 'graph', values: values.buffer }, [values.buffer]);
};
self.tbLine = (index, text) => self.postMessage({ type: 'line', index, text });
self.tbTest = (json, words) => self.postMessage({ type: 'test', test: JSON.parse(json), words });
self.tbCaption = (control, text) => self.postMessage({ type: 'caption', control, text });
self.tbFault = (message) => self.postMessage({ type: 'fault', message });

const ready = createThreebody().then((m) => {
  engine = m;
  self.postMessage({ type: 'ready' });
});

self.onmessage = async (event) => {
  const m = event.data;
  await ready;
  if (m.type === 'map') {
    // A share of an outcome map's points: each is computed and sent, a few at
    // a time, and then the worker asks for more.
    const problem = engine.ccall('tb_map_setup', 'string', ['string', 'string', 'string', 'number'],
                                 [m.fields.map(([name, text]) => `${name}=${text}`).join('\n'), m.x, m.y, m.reference]);
    if (problem) {
      self.postMessage({ type: 'map-problem', problem });
      return;
    }
    let batch = [], sent = performance.now();
    for (const k of m.points) {
      batch.push(JSON.parse(engine.ccall('tb_map_point', 'string', ['number'], [k])));
      if (performance.now() - sent > 50) {
        self.postMessage({ type: 'points', map: m.map, points: batch });
        batch = [];
        sent = performance.now();
      }
    }
    self.postMessage({ type: 'points', map: m.map, points: batch, more: true });
    return;
  }
  if (m.type === 'run') {
    control = m.control ? new Int32Array(m.control) : null;
    if (control) {
      stopsSeen = Atomics.load(control, 0);
      stepsSeen = Atomics.load(control, 2);
    }
    stepUntil = -1;
    lastFrame = 0;
    const fields = m.fields.map(([name, text]) => `${name}=${text}`).join('\n');
    const started = performance.now();
    const csv = engine.ccall('tb_run_series', 'string', ['string', 'number', 'number', 'number'],
                             [fields, m.width, m.height, m.options]);
    self.postMessage({ type: 'done', csv, seconds: (performance.now() - started) / 1000 });
  }
};
