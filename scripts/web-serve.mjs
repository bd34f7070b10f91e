#!/usr/bin/env node
// Serves a folder of static files on 127.0.0.1 only, for trying the browser
// build (make web-run) and for its tests.
//   node scripts/web-serve.mjs [--port N] [DIR]
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8', '.mjs': 'text/javascript',
  '.wasm': 'application/wasm', '.json': 'application/json', '.webmanifest': 'application/manifest+json',
  '.png': 'image/png', '.pak': 'application/octet-stream', '.script': 'text/plain; charset=utf-8',
  '.txt': 'text/plain; charset=utf-8',
};

// Starts serving `root`; resolves to the server once it listens.
export function serve(root, port = 0, extra = {}) {
  const base = path.resolve(root);
  const server = http.createServer((req, res) => {
    const url = new URL(req.url, 'http://127.0.0.1');
    let rel = decodeURIComponent(url.pathname);
    if (rel.endsWith('/')) rel += 'index.html';
    // Other folders (a test's scripts) under their own prefix.
    let dir = base;
    for (const [prefix, folder] of Object.entries(extra)) {
      if (rel.startsWith(prefix)) {
        dir = path.resolve(folder);
        rel = rel.slice(prefix.length - 1);
        break;
      }
    }
    const file = path.join(dir, path.normalize(rel));
    if (!file.startsWith(dir + path.sep)) {
      res.writeHead(403).end();
      return;
    }
    fs.stat(file, (err, st) => {
      if (err || !st.isFile()) {
        res.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
        return;
      }
      res.writeHead(200, {
        'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream',
        'Content-Length': st.size,
        'Cache-Control': 'no-cache',
      });
      fs.createReadStream(file).pipe(res);
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => resolve(server));
  });
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const args = process.argv.slice(2);
  let port = 8080, dir = 'build/web';
  for (let i = 0; i < args.length; ++i) {
    if (args[i] === '--help' || args[i] === '-h') {
      console.log('usage: node scripts/web-serve.mjs [--port N] [DIR]\n' +
                  'Serves DIR (default build/web) on http://127.0.0.1:N/ (default 8080; 0 picks a free port).');
      process.exit(0);
    } else if (args[i] === '--port' && i + 1 < args.length) {
      port = Number(args[++i]);
      if (!Number.isInteger(port) || port < 0 || port > 65535) {
        console.error('web-serve: --port must be 0 to 65535');
        process.exit(2);
      }
    } else if (!args[i].startsWith('-')) {
      dir = args[i];
    } else {
      console.error('web-serve: unknown option ' + args[i]);
      process.exit(2);
    }
  }
  if (!fs.existsSync(path.join(dir, 'index.html'))) {
    console.error('web-serve: ' + dir + ' has no index.html (run make web first)');
    process.exit(1);
  }
  serve(dir, port).then((server) => {
    console.log('Orbelline is served at http://127.0.0.1:' + server.address().port + '/ (Ctrl-C stops)');
  }, (err) => {
    console.error('web-serve: ' + err.message);
    process.exit(1);
  });
}
