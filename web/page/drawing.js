// The page's drawings over the engine's picture: the legend, each body's
// number, the test's time and angle and a scale bar; and the running test's
// graphs over time.
'use strict';

// The trails' colours as the engine draws them: body 1 and 2 change shade with
// every revolution of the pair, body 3 turns red once faster than escape.
const LEGENDS = {
  document: [['#ff0000', 'body 1'], ['#00ff00', 'body 2'], ['#000000', 'body 3 (bound)'],
             ['#ff0000', 'body 3 (faster than escape)']],
  safe: [['#f0a000', 'body 1'], ['#56b4e9', 'body 2'], ['#000000', 'body 3 (bound)'],
         ['#cc79a7', 'body 3 (faster than escape)']],
};

// The legend, the test's time and angle, and a scale bar of a round length.
function drawOverlay() {
  const canvas = $('overlay');
  const g = canvas.getContext('2d');
  g.clearRect(0, 0, canvas.width, canvas.height);
  if (!$('show-overlay').checked) return;
  // Text and marks in CSS pixels, whatever the canvas's resolution.
  const s = canvas.width / (canvas.getBoundingClientRect().width || canvas.width);
  g.font = `${Math.round(13 * s)}px system-ui, sans-serif`;
  g.textBaseline = 'middle';
  LEGENDS[state.palette].forEach(([colour, text], k) => {
    const y = (14 + 18 * k) * s;
    g.fillStyle = colour;
    g.fillRect(8 * s, y - 4 * s, 8 * s, 8 * s);
    g.fillStyle = '#1b1f24';
    g.fillText(text, 22 * s, y);
  });
  const fields = Object.fromEntries(state.seriesFields);
  const tdelta = Number(fields.Ttdelta || 0), dispMax = Number(fields.Tdispmax || 0);
  const steps = Number((state.readouts.Tcycle || '0').trim());
  const alpha = (state.readouts.Talpha || '').trim();
  // Each body numbered beside its latest dot.
  g.font = `bold ${Math.round(14 * s)}px system-ui, sans-serif`;
  (state.bodies || []).forEach((at, k) => {
    if (!at) return;
    g.lineWidth = 3 * s;
    g.strokeStyle = '#ffffff';
    g.strokeText(String(k + 1), at[0] + 6 * s, at[1] - 8 * s);
    g.fillStyle = '#1b1f24';
    g.fillText(String(k + 1), at[0] + 6 * s, at[1] - 8 * s);
  });
  g.font = `${Math.round(13 * s)}px system-ui, sans-serif`;
  g.textAlign = 'right';
  if (alpha) g.fillText(`alpha ${alpha}`, canvas.width - 8 * s, 14 * s);
  if (tdelta > 0 && steps > 0) g.fillText(`t = ${(steps * tdelta).toPrecision(5)}`, canvas.width - 8 * s, 32 * s);
  g.textAlign = 'left';
  if (dispMax > 0 && isFinite(dispMax)) {
    const span = 2 * dispMax;
    const length = Math.pow(10, Math.floor(Math.log10(span / 4)));
    const px = (length / span) * canvas.width;
    const y = canvas.height - 14 * s;
    g.fillStyle = '#1b1f24';
    g.fillRect(10 * s, y, px, 2 * s);
    g.fillText(`${length}`, 10 * s + px + 6 * s, y);
  }
}

// The running test over time, as the desktop's graphs: the third body's
// distances to the pair's bodies and the pair's separation; its speed
// against its escape speed; the relative error of the total energy.
const PANELS = [
  { title: 'distances', lines: [[1, '#d00000', 'body 3 to 1'], [2, '#008800', 'body 3 to 2'], [3, '#555555', 'body 1 to 2']] },
  { title: 'speed', lines: [[4, '#1f5fbf', 'v3'], [5, '#d08000', 'v escape']] },
  { title: 'energy error', lines: [[6, '#7a3fb0', '(E - E0) / |E0|']] },
];

function drawGraphs(values) {
  state.graph = values;
  const canvas = $('graphs');
  const g = canvas.getContext('2d');
  const w = canvas.width, h = canvas.height;
  g.clearRect(0, 0, w, h);
  const n = values.length / 7;
  if (n < 2) return;
  const t0 = values[0], t1 = values[(n - 1) * 7];
  const left = 64, right = 12, gap = 10, panelH = (h - 24 - 2 * gap) / 3;
  g.font = '12px system-ui, sans-serif';
  PANELS.forEach((panel, p) => {
    const top = 6 + p * (panelH + gap);
    let lo = Infinity, hi = -Infinity;
    for (const [c] of panel.lines)
      for (let k = 0; k < n; ++k) {
        const v = values[k * 7 + c];
        if (Number.isFinite(v)) { lo = Math.min(lo, v); hi = Math.max(hi, v); }
      }
    if (!(hi > lo)) { hi = lo + 1; lo -= 1; }
    g.strokeStyle = '#c5cbd2';
    g.strokeRect(left, top, w - left - right, panelH);
    g.fillStyle = '#5b6470';
    g.textAlign = 'right';
    g.textBaseline = 'top';
    g.fillText(hi.toPrecision(3), left - 4, top);
    g.textBaseline = 'bottom';
    g.fillText(lo.toPrecision(3), left - 4, top + panelH);
    const x = (t) => left + ((t - t0) / (t1 - t0 || 1)) * (w - left - right);
    const y = (v) => top + panelH - ((v - lo) / (hi - lo)) * panelH;
    let legendX = left + 6;
    for (const [c, colour, label] of panel.lines) {
      g.strokeStyle = colour;
      g.lineWidth = 1.5;
      g.beginPath();
      let pen = false;
      for (let k = 0; k < n; ++k) {
        const v = values[k * 7 + c];
        if (!Number.isFinite(v)) { pen = false; continue; }
        if (pen) g.lineTo(x(values[k * 7]), y(v)); else g.moveTo(x(values[k * 7]), y(v));
        pen = true;
      }
      g.stroke();
      g.fillStyle = colour;
      g.textAlign = 'left';
      g.textBaseline = 'top';
      g.fillText(label, legendX, top + 3);
      legendX += g.measureText(label).width + 14;
    }
  });
  g.fillStyle = '#5b6470';
  g.textBaseline = 'bottom';
  g.textAlign = 'left';
  g.fillText(`t = ${t0.toPrecision(4)}`, left, h);
  g.textAlign = 'right';
  g.fillText(`t = ${t1.toPrecision(5)}`, w - right, h);
}
