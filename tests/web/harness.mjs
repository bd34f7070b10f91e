// What the browser tests share: the page served from 127.0.0.1, Debian's
// chromium through playwright-core, real touch events through the DevTools
// protocol, and pictures read from screenshots.
import { chromium } from 'playwright-core';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import { spawnSync } from 'node:child_process';
import { fileURLToPath } from 'node:url';
import { serve } from '../../scripts/web-serve.mjs';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const WEB = process.env.ORBELLINE_WEB || path.join(ROOT, 'build/web');
export const NATIVE = process.env.ORBELLINE_NATIVE || path.join(ROOT, 'build/bin/orbelline');

// The machine has no network: chromium is kept from reaching for one.
const CHROMIUM_ARGS = [
  '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
];

export async function launch(extraArgs = []) {
  const args = [...CHROMIUM_ARGS, ...extraArgs];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  // playwright gives every launch a fresh temporary profile.
  return chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, args });
}

// Serves `dir` (default the built page) with `extra` folders under prefixes.
export async function startServer(dir = WEB, extra = {}) {
  const server = await serve(dir, 0, extra);
  return { server, url: 'http://127.0.0.1:' + server.address().port + '/', close: () => server.close() };
}

// A page of its own context at a landscape phone size; records page errors
// and console lines.
export async function openPage(browser, url, { scale = 1, width = 480, height = 320, touch = true } = {}) {
  const context = await browser.newContext({ viewport: { width, height }, deviceScaleFactor: scale, hasTouch: touch });
  const page = await context.newPage();
  const errors = [], consoleLines = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('console', (m) => consoleLines.push(m.text()));
  await page.goto(url);
  return { context, page, errors, consoleLines };
}

export async function waitForState(page, states, timeout = 60000) {
  await page.waitForFunction((s) => window.orbelline && s.includes(window.orbelline.state), states, { timeout });
  return page.evaluate(() => window.orbelline.state);
}

export async function frames(page) { return page.evaluate(() => window.orbelline.frames()); }

// Waits for `n` more presented frames.
export async function waitFrames(page, n) {
  const start = await frames(page);
  await page.waitForFunction((target) => window.orbelline.frames() >= target, start + n, { timeout: 30000 });
}

// Touches through the DevTools protocol, as a touch screen sends them.
// Points are CSS pixels of the page.
export class Fingers {
  constructor(cdp) { this.cdp = cdp; this.down = new Map(); }
  static async of(page) { return new Fingers(await page.context().newCDPSession(page)); }
  async send(type, changed) {
    for (const [id, p] of changed) {
      if (type === 'touchEnd' || type === 'touchCancel') this.down.delete(id);
      else this.down.set(id, p);
    }
    const touchPoints = [...this.down].map(([id, p]) => ({ x: p.x, y: p.y, id, radiusX: 1, radiusY: 1, force: 1 }));
    await this.cdp.send('Input.dispatchTouchEvent', { type, touchPoints });
  }
  start(points) { return this.send('touchStart', Object.entries(points).map(([id, p]) => [Number(id), p])); }
  move(points) { return this.send('touchMove', Object.entries(points).map(([id, p]) => [Number(id), p])); }
  end(ids) { return this.send('touchEnd', ids.map((id) => [id, this.down.get(id)])); }
  cancel() { return this.send('touchCancel', [...this.down].map(([id]) => [id, null])); }
}

// ---- pictures ----

// Decodes an 8-bit PNG (RGB or RGBA, not interlaced), as screenshots and the
// program write them, to RGBA rows from the top.
export function decodePng(buffer) {
  let pos = 8, width = 0, height = 0, type = 0;
  const idat = [];
  while (pos < buffer.length) {
    const len = buffer.readUInt32BE(pos), kind = buffer.toString('latin1', pos + 4, pos + 8);
    const data = buffer.subarray(pos + 8, pos + 8 + len);
    if (kind === 'IHDR') {
      width = data.readUInt32BE(0);
      height = data.readUInt32BE(4);
      if (data[8] !== 8 || data[12] !== 0) throw new Error('only 8-bit, non-interlaced PNGs');
      type = data[9];
    } else if (kind === 'IDAT') idat.push(data);
    pos += 12 + len;
  }
  const channels = { 2: 3, 6: 4, 0: 1, 4: 2 }[type];
  if (!channels) throw new Error('PNG colour type ' + type);
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels, out = Buffer.alloc(width * height * 4);
  let prev = Buffer.alloc(stride), cur = Buffer.alloc(stride);
  for (let y = 0; y < height; ++y) {
    const f = raw[y * (stride + 1)], line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let i = 0; i < stride; ++i) {
      const a = i >= channels ? cur[i - channels] : 0, b = prev[i], c = i >= channels ? prev[i - channels] : 0;
      let v = line[i];
      if (f === 1) v += a;
      else if (f === 2) v += b;
      else if (f === 3) v += (a + b) >> 1;
      else if (f === 4) {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        v += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      cur[i] = v & 255;
    }
    for (let x = 0; x < width; ++x) {
      const o = (y * width + x) * 4;
      if (channels >= 3) {
        out[o] = cur[x * channels]; out[o + 1] = cur[x * channels + 1]; out[o + 2] = cur[x * channels + 2];
        out[o + 3] = channels === 4 ? cur[x * channels + 3] : 255;
      } else {
        out[o] = out[o + 1] = out[o + 2] = cur[x * channels];
        out[o + 3] = channels === 2 ? cur[x * channels + 1] : 255;
      }
    }
    [prev, cur] = [cur, prev];
  }
  return { width, height, rgba: out };
}

export function luma(img, x, y) {
  const o = (y * img.width + x) * 4;
  return 0.299 * img.rgba[o] + 0.587 * img.rgba[o + 1] + 0.114 * img.rgba[o + 2];
}

export async function screenshot(page, name) {
  const png = await page.screenshot();
  if (process.env.ORBELLINE_SHOTS) {
    fs.mkdirSync(process.env.ORBELLINE_SHOTS, { recursive: true });
    fs.writeFileSync(path.join(process.env.ORBELLINE_SHOTS, name + '.png'), png);
  }
  return decodePng(png);
}

// Runs the native program headless on a script; returns its PNGs by name and
// its standard error.
export function runNative(script, { scale = 1, seed = 1700000000 } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'orbelline-native-'));
  fs.writeFileSync(path.join(dir, 'run.script'), script);
  const run = spawnSync(NATIVE, ['--headless', '--scale', String(scale), '--seed', String(seed), '--script',
                                 path.join(dir, 'run.script'), '--out', dir], { encoding: 'utf8' });
  if (run.status !== 0) throw new Error('native run failed (' + run.status + '): ' + run.stderr);
  const stderr = run.stderr;
  const pictures = {};
  for (const f of fs.readdirSync(dir)) if (f.endsWith('.png')) pictures[f] = decodePng(fs.readFileSync(path.join(dir, f)));
  fs.rmSync(dir, { recursive: true, force: true });
  return { pictures, stderr };
}
