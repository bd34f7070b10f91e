// The browser build in Debian's chromium: start-up, touches, motion, focus
// and the bad conditions, read from real screenshots.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {
  WEB, launch, startServer, openPage, waitForState, waitFrames, frames, Fingers, screenshot, luma, runNative,
} from './harness.mjs';

let browser, site;
before(async () => {
  browser = await launch();
  site = await startServer();
});
after(async () => {
  await browser?.close();
  site?.close();
});

// Landscape page points (the viewport is the phone's 480 x 320 landscape).
// Strokes across the ball's middle, as the window test rubs it.
const STROKE_YS = [135, 145, 155, 165, 175, 185];
const STROKE_X0 = 130, STROKE_X1 = 350;
// How far a brush stamp reaches from the finger, in landscape points.
const REACH_X = 42, REACH_Y = 20;

async function startApp(options = {}) {
  const opened = await openPage(browser, site.url + (options.query || ''), options);
  assert.equal(await waitForState(opened.page, ['running', 'failed']), 'running',
               'the page started: ' + (await opened.page.evaluate(() => window.orbelline.message)));
  await waitFrames(opened.page, 5);
  return opened;
}

// Brightened pixels between two screenshots: how many lie near each of the
// given segments (landscape points), and how many near none of them.
function brightened(beforeShot, afterShot, scale, segments) {
  const near = segments.map(() => 0);
  let stray = 0, firstStray = null;
  for (let y = 0; y < afterShot.height; ++y) {
    for (let x = 0; x < afterShot.width; ++x) {
      if (luma(afterShot, x, y) - luma(beforeShot, x, y) <= 20) continue;
      const px = (x + 0.5) / scale, py = (y + 0.5) / scale;
      let along = false;
      segments.forEach((s, i) => {
        const cx = Math.min(Math.max(px, Math.min(s.x0, s.x1)), Math.max(s.x0, s.x1));
        const cy = Math.min(Math.max(py, Math.min(s.y0, s.y1)), Math.max(s.y0, s.y1));
        if (Math.abs(px - cx) <= REACH_X && Math.abs(py - cy) <= REACH_Y) {
          ++near[i];
          along = true;
        }
      });
      if (!along && stray++ === 0) firstStray = [px, py];
    }
  }
  return { near, stray, firstStray };
}

function mean(shot, scale, x0, y0, x1, y1) {
  let sum = 0, n = 0;
  for (let y = Math.round(y0 * scale); y < Math.round(y1 * scale); ++y)
    for (let x = Math.round(x0 * scale); x < Math.round(x1 * scale); ++x, ++n) sum += luma(shot, x, y);
  return sum / n;
}

async function rub(page, fingers, id = 1) {
  for (const y of STROKE_YS) {
    await fingers.start({ [id]: { x: STROKE_X0, y } });
    for (let x = STROKE_X0; x <= STROKE_X1; x += 20) {
      await fingers.move({ [id]: { x, y } });
      await page.waitForTimeout(20);
    }
    await fingers.end([id]);
  }
  await waitFrames(page, 3);
}

test('the page starts as the program does natively, with no page error', async () => {
  const { page, errors, consoleLines, context } = await startApp();
  const native = runNative('frames 2\n').stderr.split('\n').filter((l) => l.startsWith('# '));
  // Build stamps differ between the two builds.
  const strip = (l) => l.replace(/build: .*/, 'build:');
  const seen = consoleLines.map(strip);
  let from = 0;
  for (const line of native.map(strip).slice(0, native.indexOf(native.find((l) => /Orbelline.*build/.test(l))) + 1)) {
    const at = seen.indexOf(line, from);
    assert.ok(at >= 0, 'the console shows "' + line + '" (in order)');
    from = at + 1;
  }
  assert.ok(seen.includes('# STARTED...'));
  assert.deepEqual(errors, []);
  const shot = await screenshot(page, 'start');
  assert.equal(shot.width, 480);
  // The crystal ball: its misty glass, dark, in the middle; nothing is blank.
  const ball = mean(shot, 1, 200, 120, 280, 200);
  assert.ok(ball > 15 && ball < 120, 'the misted ball is drawn (mean luma ' + ball.toFixed(1) + ')');
  await context.close();
});

for (const scale of [1, 2]) {
  test('one finger rubbing reveals the answer under it and nowhere else, device scale ' + scale, async () => {
    const { page, context, errors } = await startApp({ scale });
    const fingers = await Fingers.of(page);
    const beforeShot = await screenshot(page, 'rub-before-' + scale);
    assert.equal(beforeShot.width, 480 * scale, 'the canvas is drawn at the device pixel ratio');
    await rub(page, fingers);
    const afterShot = await screenshot(page, 'rub-after-' + scale);
    const band = mean(afterShot, scale, STROKE_X0, 125, STROKE_X1, 195);
    const below = mean(afterShot, scale, 150, 220, 330, 250);
    assert.ok(band > below + 60, `the rubbed band shows the light backdrop (${band.toFixed(1)} vs ${below.toFixed(1)})`);
    const r = brightened(beforeShot, afterShot, scale,
                         [{ x0: STROKE_X0, y0: STROKE_YS[0], x1: STROKE_X1, y1: STROKE_YS.at(-1) }]);
    assert.equal(r.stray, 0, 'brightened where no finger was, first at ' + r.firstStray);
    assert.ok(r.near[0] > 2000 * scale * scale);
    assert.deepEqual(errors, []);
    await context.close();
  });
}

// The brush follows the event's first touch, as natively: two fingers down
// together, the first lifted, the second rubbing on alone.
test('two fingers at once: once the first lifts, the second rubs where it is', async () => {
  const { page, context } = await startApp();
  const fingers = await Fingers.of(page);
  const beforeShot = await screenshot(page, 'two-before');
  const a = { x: 170, y: 130 }, b = { x0: 260, y0: 200, x1: 320, y1: 200 };
  await fingers.start({ 1: a, 2: { x: b.x0, y: b.y0 } });
  await waitFrames(page, 2);
  await fingers.end([1]);
  for (let x = b.x0; x <= b.x1; x += 6) {
    await fingers.move({ 2: { x, y: b.y0 } });
    await page.waitForTimeout(20);
  }
  await fingers.end([2]);
  await waitFrames(page, 3);
  const r = brightened(beforeShot, await screenshot(page, 'two-after'), 1, [{ x0: a.x, y0: a.y, x1: a.x, y1: a.y }, b]);
  assert.equal(r.stray, 0, 'brightened where no finger was, first at ' + r.firstStray);
  assert.ok(r.near[1] > 300, 'the second finger rubbed: ' + r.near);
  await context.close();
});

test('a cancelled touch frees its slot: after ten cancels a new finger still rubs', async () => {
  const { page, context } = await startApp();
  const fingers = await Fingers.of(page);
  const beforeShot = await screenshot(page, 'cancel-before');
  const first = { x0: 200, y0: 150, x1: 230, y1: 150 }, last = { x0: 280, y0: 210, x1: 330, y1: 210 };
  for (let id = 1; id <= 10; ++id) {
    await fingers.start({ [id]: { x: first.x0, y: first.y0 } });
    await fingers.move({ [id]: { x: first.x1, y: first.y1 } });
    await waitFrames(page, 1);
    await fingers.cancel();
  }
  await fingers.start({ 11: { x: last.x0, y: last.y0 } });
  for (let x = last.x0; x <= last.x1; x += 10) {
    await fingers.move({ 11: { x, y: last.y0 } });
    await page.waitForTimeout(20);
  }
  await fingers.end([11]);
  await waitFrames(page, 3);
  const r = brightened(beforeShot, await screenshot(page, 'cancel-after'), 1, [first, last]);
  assert.equal(r.stray, 0, 'brightened where no finger was, first at ' + r.firstStray);
  assert.ok(r.near[1] > 300, 'the eleventh finger rubbed (' + r.near[1] + ' pixels)');
  await context.close();
});

test('a devicemotion shake starts a new turn with the fade', async () => {
  const { page, context, consoleLines } = await startApp();
  const fingers = await Fingers.of(page);
  await rub(page, fingers);
  const rubbed = mean(await screenshot(page, 'shake-rubbed'), 1, STROKE_X0, 125, STROKE_X1, 195);
  // +1.5 g then -1.5 g along x for 0.15 s each, as the sensor reports it
  // (m/s², the reaction to gravity), then at rest face up.
  await page.evaluate(() => new Promise((done) => {
    const G = 9.80665;
    const send = (x, z) => window.dispatchEvent(new DeviceMotionEvent('devicemotion',
      { accelerationIncludingGravity: { x: x * G, y: 0, z: z * G }, interval: 50 }));
    const steps = [-1.5, -1.5, -1.5, 1.5, 1.5, 1.5, 0];
    let i = 0;
    const timer = setInterval(() => {
      send(steps[i], steps[i] === 0 ? 1 : 0);
      if (++i === steps.length) { clearInterval(timer); done(); }
    }, 50);
  }));
  await page.waitForFunction(() => window.orbelline.frames() > 0);
  await page.waitForTimeout(150);
  const fading = mean(await screenshot(page, 'shake-fading'), 1, STROKE_X0, 125, STROKE_X1, 195);
  await page.waitForTimeout(2500);
  const fresh = mean(await screenshot(page, 'shake-new-turn'), 1, STROKE_X0, 125, STROKE_X1, 195);
  assert.ok(consoleLines.some((l) => l.includes('ResetView random init')), 'the shake reset the view');
  assert.ok(fresh < rubbed - 60, `the new turn is misted again (${fresh.toFixed(1)} after ${rubbed.toFixed(1)})`);
  assert.ok(fading < rubbed - 5 && fading > fresh + 5,
            `the old turn fades out (${rubbed.toFixed(1)} → ${fading.toFixed(1)} → ${fresh.toFixed(1)})`);
  await context.close();
});

test('a page that loses focus draws 5 frames a second, and 60 again once back', async () => {
  const { page, context } = await startApp();
  const rate = async () => {
    await page.waitForTimeout(300);  // the new interval settles
    const a = await frames(page);
    await page.waitForTimeout(2000);
    return ((await frames(page)) - a) / 2;
  };
  const active = await rate();
  await page.evaluate(() => window.dispatchEvent(new Event('blur')));
  const inactive = await rate();
  await page.evaluate(() => window.dispatchEvent(new Event('focus')));
  const back = await rate();
  // Active frames come at up to 60 a second, as fast as SwiftShader on two
  // shared cores draws them (18 to 60 seen here); inactive ones at 5.
  console.log(`frames a second: active ${active}, inactive ${inactive}, active again ${back}`);
  assert.ok(inactive >= 4 && inactive <= 6, 'inactive: ' + inactive + ' frames a second');
  assert.ok(active >= 3 * inactive && active <= 61, 'active: ' + active + ' frames a second');
  assert.ok(back >= 3 * inactive && back <= 61, 'active again: ' + back + ' frames a second');
  await context.close();
});

// A copy of the page with its pack missing or damaged.
function siteWithPack(kind) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'orbelline-web-'));
  for (const f of fs.readdirSync(WEB)) if (f !== 'Orbelline.res.pak') fs.copyFileSync(path.join(WEB, f), path.join(dir, f));
  if (kind === 'damaged') {
    const pack = fs.readFileSync(path.join(WEB, 'Orbelline.res.pak'));
    for (let i = 0; i < pack.length; i += 7) pack[i] ^= 0x5a;
    fs.writeFileSync(path.join(dir, 'Orbelline.res.pak'), pack);
  }
  return dir;
}

for (const [kind, expected] of [['missing', /resource pack could not be loaded \(HTTP 404/],
                                ['damaged', /could not start/]]) {
  test('a ' + kind + ' pack is said in the page', async () => {
    const dir = siteWithPack(kind);
    const other = await startServer(dir);
    try {
      const { page, context } = await openPage(browser, other.url);
      assert.equal(await waitForState(page, ['running', 'failed']), 'failed');
      const text = await page.textContent('#status');
      assert.match(text, expected);
      assert.equal(await page.isVisible('#status'), true);
      await context.close();
    } finally {
      other.close();
      fs.rmSync(dir, { recursive: true, force: true });
    }
  });
}

test('without WebGL the page says so', async () => {
  const noGL = await launch(['--disable-webgl', '--disable-3d-apis']);
  try {
    const { page } = await openPage(noGL, site.url);
    assert.equal(await waitForState(page, ['running', 'failed']), 'failed');
    assert.match(await page.textContent('#status'), /needs WebGL/);
  } finally {
    await noGL.close();
  }
});

test('a lost WebGL context is said, and its return reloads the page', async () => {
  const { page, context } = await startApp();
  await page.evaluate(() => {
    window.lose = document.getElementById('canvas').getContext('webgl').getExtension('WEBGL_lose_context');
    window.lose.loseContext();
  });
  await page.waitForFunction(() => window.orbelline.state === 'lost');
  assert.match(await page.textContent('#status'), /graphics were lost/);
  await Promise.all([page.waitForEvent('load'), page.evaluate(() => window.lose.restoreContext())]);
  assert.equal(await waitForState(page, ['running', 'failed']), 'running');
  await context.close();
});
