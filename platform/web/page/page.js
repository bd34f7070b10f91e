// Starts Orbelline in the page: checks for WebGL, fetches the resource pack
// (and a script, with ?script=), puts them into the file system, runs the
// program, and hands it the page's touches, mouse, keys, motion, focus and
// size. Anything that stops it is said in the page, never a blank canvas.
//
// URL options: scale=N (1-4; default the device pixel ratio, rounded),
// script=URL and seed=N (play an input script on the simulated clock; the
// PNGs it writes are kept in /out), stats (frame statistics at the end).
(function () {
  'use strict';
  const PACK = 'Orbelline.res.pak';
  const G = 9.80665;
  const params = new URLSearchParams(location.search);
  const canvas = document.getElementById('canvas');
  const status = document.getElementById('status');
  const page = { state: 'loading', errors: [], log: [] };
  window.orbelline = page;

  function show(text) {
    status.textContent = text;
    status.hidden = false;
  }

  function fail(text) {
    page.state = 'failed';
    page.message = text;
    canvas.style.visibility = 'hidden';
    show(text);
  }

  function scale() {
    const asked = parseInt(params.get('scale') || '', 10);
    const s = asked > 0 ? asked : Math.round(window.devicePixelRatio || 1);
    return Math.min(4, Math.max(1, s));
  }

  function hasWebGL() {
    try {
      const probe = document.createElement('canvas');
      return !!(window.WebGLRenderingContext && probe.getContext('webgl'));
    } catch (e) {
      return false;
    }
  }

  // The pack, with a loading line that counts what has arrived.
  async function fetchPack() {
    let response;
    try {
      response = await fetch(PACK);
    } catch (e) {
      throw new Error('The resource pack could not be loaded (' + e.message + '). Check the connection and reload.');
    }
    if (!response.ok) {
      throw new Error('The resource pack could not be loaded (HTTP ' + response.status + ' for ' + PACK +
                      '). The site is incomplete; reload later.');
    }
    const total = Number(response.headers.get('Content-Length')) || 0;
    if (!response.body || !total) return new Uint8Array(await response.arrayBuffer());
    const reader = response.body.getReader();
    const data = new Uint8Array(total);
    let got = 0;
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      if (got + value.length > total) throw new Error('The resource pack is damaged (longer than announced).');
      data.set(value, got);
      got += value.length;
      show('Loading… ' + Math.floor((got * 100) / total) + ' %');
    }
    if (got !== total) throw new Error('The resource pack arrived incomplete (' + got + ' of ' + total + ' bytes). Reload.');
    return data;
  }

  function lastFailure() {
    for (let i = page.errors.length - 1; i >= 0; --i) {
      if (/^orbelline: /.test(page.errors[i])) return page.errors[i].replace(/^orbelline: /, '');
    }
    return page.errors.length ? page.errors[page.errors.length - 1] : 'it stopped without saying why';
  }

  function listen(Module) {
    const touchPhase = { touchstart: 0, touchmove: 1, touchend: 2, touchcancel: 3 };
    let askedMotion = false;
    function askMotion() {
      // Browsers that guard the motion sensors ask on a user gesture.
      if (askedMotion) return;
      askedMotion = true;
      if (window.DeviceMotionEvent && typeof DeviceMotionEvent.requestPermission === 'function') {
        DeviceMotionEvent.requestPermission().catch(() => {});
      }
    }
    function onTouch(e) {
      e.preventDefault();
      for (const t of e.changedTouches) Module._orbelline_web_touch_point(t.identifier, t.clientX, t.clientY);
      Module._orbelline_web_touch_event(touchPhase[e.type]);
      if (e.type === 'touchend') askMotion();
    }
    for (const type of Object.keys(touchPhase)) document.addEventListener(type, onTouch, { passive: false });

    let mouseDown = false;
    function onMouse(phase, e) {
      Module._orbelline_web_touch_point(-1, e.clientX, e.clientY);
      Module._orbelline_web_touch_event(phase);
    }
    document.addEventListener('mousedown', (e) => {
      if (e.button !== 0 || mouseDown) return;
      mouseDown = true;
      onMouse(0, e);
    });
    document.addEventListener('mousemove', (e) => { if (mouseDown) onMouse(1, e); });
    document.addEventListener('mouseup', (e) => {
      if (e.button !== 0 || !mouseDown) return;
      mouseDown = false;
      onMouse(2, e);
      askMotion();
    });

    document.addEventListener('keydown', (e) => {
      if (e.repeat) return;
      if (e.key === ' ' || e.key === 's' || e.key === 'S') {
        e.preventDefault();
        Module._orbelline_web_shake();
      }
    });

    // The sensor reads the reaction to gravity in m/s²; the accelerometer
    // the application knows reads gravity itself in g (flat on its back: z -1).
    window.addEventListener('devicemotion', (e) => {
      const a = e.accelerationIncludingGravity;
      if (!a || a.x === null || a.y === null || a.z === null) return;
      Module._orbelline_web_motion(-a.x / G, -a.y / G, -a.z / G);
    });

    function active() {
      const on = document.visibilityState === 'visible' && document.hasFocus();
      Module._orbelline_web_active(on ? 1 : 0);
      if (!on) mouseDown = false;
    }
    window.addEventListener('blur', () => { Module._orbelline_web_active(0); mouseDown = false; });
    window.addEventListener('focus', active);
    document.addEventListener('visibilitychange', active);

    function resize() { Module._orbelline_web_viewport(window.innerWidth, window.innerHeight); }
    window.addEventListener('resize', resize);
    window.addEventListener('orientationchange', resize);
    resize();
  }

  async function start() {
    if (!hasWebGL()) {
      fail('Orbelline needs WebGL, which this browser does not offer (or has turned off). ' +
           'Try another browser, or turn hardware acceleration on.');
      return;
    }
    if (typeof createOrbelline !== 'function') {
      fail('The program (orbelline.js) could not be loaded. Reload to try again.');
      return;
    }
    show('Loading…');
    const scriptUrl = params.get('script');
    let pack, script = null;
    try {
      pack = await fetchPack();
      if (scriptUrl) {
        const r = await fetch(scriptUrl);
        if (!r.ok) throw new Error('The script ' + scriptUrl + ' could not be loaded (HTTP ' + r.status + ').');
        script = await r.text();
      }
    } catch (e) {
      fail(e.message);
      return;
    }
    show('Starting…');
    const navigationStart = performance.now();
    let Module;
    try {
      Module = await createOrbelline({
        canvas: canvas,
        print: (line) => { page.log.push(line); console.log(line); },
        printErr: (line) => { page.errors.push(line); console.log(line); },
        onAbort: (what) => fail('Orbelline stopped: ' + (/memory/i.test(String(what))
          ? 'the browser gave it no more memory. Close other pages and reload.' : String(what))),
      });
    } catch (e) {
      fail('The program could not start: ' + (e && e.message ? e.message : e));
      return;
    }
    page.module = Module;
    page.frames = () => Module._orbelline_web_frames();
    // The program writes its PNGs through a private temporary file.
    page.readFile = (path) => { Module.FS.chmod(path, 0o644); return Array.from(Module.FS.readFile(path)); };
    page.listOut = () => Module.FS.readdir('/out').filter((n) => n !== '.' && n !== '..');

    canvas.addEventListener('webglcontextlost', (e) => {
      e.preventDefault();
      page.state = 'lost';
      canvas.style.visibility = 'hidden';
      show('The graphics were lost (the browser reset its GPU). Restoring…');
    });
    canvas.addEventListener('webglcontextrestored', () => {
      show('Reloading…');
      location.reload();
    });

    Module.FS.mkdirTree('/bundle/Data');
    Module.FS.writeFile('/bundle/Data/' + PACK, pack);
    const args = ['--bundle', '/bundle', '--scale', String(scale())];
    if (script !== null) {
      Module.FS.writeFile('/script.txt', script);
      Module.FS.mkdirTree('/out');
      args.push('--script', '/script.txt', '--out', '/out');
      const seed = params.get('seed');
      if (seed) args.push('--seed', seed);
    } else {
      args.push('--window');
    }
    if (params.has('stats')) args.push('--stats');

    Module.orbellineStarted = () => {
      page.state = 'running';
      page.firstFrameMs = performance.now() - navigationStart;
      status.hidden = true;
      listen(Module);
    };
    Module.orbellineEnded = () => { page.state = 'ended'; show('Orbelline has ended. Reload to start again.'); };
    let code;
    try {
      code = Module.callMain(args);
    } catch (e) {
      if (page.state !== 'failed') fail('Orbelline stopped: ' + (e && e.message ? e.message : e));
      return;
    }
    if (page.state === 'running' || page.state === 'failed') return;
    if (script !== null) {
      page.state = code === 0 ? 'done' : 'failed';
      page.exitCode = code;
      if (code !== 0) fail('The script failed: ' + lastFailure());
      else show('The script has run.');
      return;
    }
    fail('Orbelline could not start: ' + lastFailure());
  }

  if ('serviceWorker' in navigator && window.isSecureContext && !params.has('script')) {
    navigator.serviceWorker.register('sw.js').catch(() => {});
  }
  start();
})();
