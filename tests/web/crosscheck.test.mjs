// The GL emulation against the native OpenGL ES driver: one input script on
// the simulated clock with one seed, played by the native program headless
// and by the page (?script=), must give the same pictures.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch, startServer, openPage, waitForState, decodePng, runNative } from './harness.mjs';

const HERE = path.dirname(fileURLToPath(import.meta.url));
const SCRIPT = fs.readFileSync(path.join(HERE, 'crosscheck.script'), 'utf8');
const SEED = 1700000000;
// Two rasterizers (llvmpipe natively, SwiftShader under WebGL) round edges,
// blends and texture filtering differently: a channel may differ by a few
// levels anywhere, and a few pixels on edges by more.
const CHANNEL_TOLERANCE = 24;
const MAX_FAR_FRACTION = 0.01;
const MAX_MEAN_DIFFERENCE = 2.0;
// The answer is drawn by the C library's rand(), which differs between
// glibc and emscripten's libc: pictures that show an answer are compared
// they are only reported.
const SAME_PICTURES = ['1-ask.png', '4-new-turn.png'];

let browser, site;
before(async () => {
  browser = await launch();
  site = await startServer(undefined, { '/tests/': HERE });
});
after(async () => {
  await browser?.close();
  site?.close();
});

function compare(a, b) {
  assert.equal(a.width, b.width);
  assert.equal(a.height, b.height);
  let far = 0, sum = 0, worst = 0;
  for (let i = 0; i < a.rgba.length; i += 4) {
    let d = 0;
    for (let c = 0; c < 3; ++c) d = Math.max(d, Math.abs(a.rgba[i + c] - b.rgba[i + c]));
    sum += d;
    worst = Math.max(worst, d);
    if (d > CHANNEL_TOLERANCE) ++far;
  }
  const n = a.rgba.length / 4;
  return { farFraction: far / n, mean: sum / n, worst };
}

for (const scale of [1, 2]) {
  test('the script gives the native pictures in the browser, scale ' + scale, async () => {
    const native = runNative(SCRIPT, { scale, seed: SEED }).pictures;
    const { page, context, errors } = await openPage(browser, site.url +
      `?script=tests/crosscheck.script&seed=${SEED}&scale=${scale}`, { scale: 1 });
    assert.equal(await waitForState(page, ['done', 'failed'], 120000), 'done',
                 await page.evaluate(() => window.orbelline.message));
    const names = await page.evaluate(() => window.orbelline.listOut());
    assert.deepEqual(names.sort(), Object.keys(native).sort());
    for (const name of names) {
      const bytes = Buffer.from(await page.evaluate((n) => window.orbelline.readFile('/out/' + n), name));
      if (process.env.ORBELLINE_SHOTS) fs.mkdirSync(process.env.ORBELLINE_SHOTS, { recursive: true });
      if (process.env.ORBELLINE_SHOTS) fs.writeFileSync(path.join(process.env.ORBELLINE_SHOTS, `web-${scale}-${name}`), bytes);
      const r = compare(decodePng(bytes), native[name]);
      const what = `${name}: ${(r.farFraction * 100).toFixed(3)} % of pixels beyond ${CHANNEL_TOLERANCE}, ` +
                   `mean ${r.mean.toFixed(2)}, worst ${r.worst}`;
      console.log('cross-check scale ' + scale + ' ' + what);
      if (SAME_PICTURES.includes(name)) assert.ok(r.farFraction <= MAX_FAR_FRACTION && r.mean <= MAX_MEAN_DIFFERENCE, what);
    }
    assert.deepEqual(errors, []);
    await context.close();
  });
}
