// The browser engine's speed against the native one, side by side in one
// run: the default series (19 tests, about 19 million steps at tdelta 0.001)
// in the WebAssembly engine under Node.js (the same V8 as Chromium) and in
// threebody-batch one test at a time on one thread, alternated three times.
// node web/bench.mjs WEB_DIR BATCH
import { readFileSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';
import { resolve } from 'node:path';

const [webDir, batch] = process.argv.slice(2).map((p) => resolve(p));
globalThis.self = globalThis;
Object.assign(self, {
  tbPoll: () => 0, tbFrame: () => {}, tbGraph: () => {}, tbLine: () => {}, tbTest: () => {}, tbCaption: () => {},
  tbFault: () => {},
});
const createThreebody = createRequire(import.meta.url)(`${webDir}/threebody.js`);
const engine = await createThreebody({ wasmBinary: readFileSync(`${webDir}/threebody.wasm`) });

const fields = 'Ttdelta=0.001\nTalphastr=0\nTalphaend=180';
const stepsOf = (csv) => csv.trim().split('\n').slice(1).reduce((n, row) => n + Number(row.split(',')[1]), 0);

function web() {
  const t = performance.now();
  const csv = engine.ccall('tb_run_series', 'string', ['string', 'number', 'number'], [fields, 600, 600, 0]);
  return { seconds: (performance.now() - t) / 1000, steps: stepsOf(csv) };
}
function native() {
  const t = performance.now();
  const csv = execFileSync(batch, ['--jobs', '1', '--lanes', '1', '--format', 'csv', '--plot-size', '600x600'],
                           { encoding: 'utf8' });
  return { seconds: (performance.now() - t) / 1000, steps: stepsOf(csv) };
}

const runs = { web: [], native: [] };
for (let k = 0; k < 3; ++k) {
  runs.web.push(web());
  runs.native.push(native());
}
const best = (r) => r.reduce((a, b) => (b.seconds < a.seconds ? b : a));
const w = best(runs.web), n = best(runs.native);
const rate = (r) => r.steps / r.seconds / 1e6;
console.log(`default series, one test at a time, best of 3 (${w.steps} steps):`);
console.log(`  WebAssembly  ${w.seconds.toFixed(3)} s  ${rate(w).toFixed(1)} million steps/s`);
console.log(`  native       ${n.seconds.toFixed(3)} s  ${rate(n).toFixed(1)} million steps/s`);
console.log(`  WebAssembly / native: ${(rate(w) / rate(n)).toFixed(2)}`);
if (w.steps !== n.steps) {
  console.error('the two engines took different numbers of steps');
  process.exit(1);
}
