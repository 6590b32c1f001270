#!/usr/bin/env node
// Serves the example page, its npm modules and one media file with its
// waveform data on 127.0.0.1 only, and prints the page address.
//   node serve.js --media SONG.wav --data SONG.dat [--modules DIR] [--port N] [--once]
// --once: exit after the page has posted its result (for headless runs).
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');

function parseArgs(argv) {
  const opts = { port: 0, modules: path.join(__dirname, 'node_modules'), once: false };
  for (let i = 0; i < argv.length; i++) {
    const name = argv[i].replace(/^--/, '');
    if (name === 'once') {
      opts.once = true;
      continue;
    }
    if (!['media', 'data', 'modules', 'port'].includes(name) || i + 1 >= argv.length) {
      console.error('usage: serve.js --media FILE --data FILE.dat|FILE.json [--modules DIR] [--port N] [--once]');
      process.exit(2);
    }
    opts[name] = argv[++i];
  }
  if (!opts.media || !opts.data) {
    console.error('serve.js: --media and --data are required');
    process.exit(2);
  }
  return opts;
}

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8', '.json': 'application/json',
  '.dat': 'application/octet-stream', '.wav': 'audio/wav', '.mp3': 'audio/mpeg', '.ogg': 'audio/ogg',
  '.flac': 'audio/flac', '.m4a': 'audio/mp4', '.css': 'text/css',
};

const opts = parseArgs(process.argv.slice(2));
const page = new Set(['/index.html', '/viewer.js']);

// Maps a request path to a file; nothing outside the served files is reachable.
function resolve(urlPath) {
  if (urlPath === '/') urlPath = '/index.html';
  if (page.has(urlPath)) return path.join(__dirname, urlPath);
  if (urlPath === '/media' + path.extname(opts.media)) return opts.media;
  if (urlPath === '/data' + path.extname(opts.data)) return opts.data;
  if (urlPath.startsWith('/modules/')) {
    const root = path.resolve(opts.modules);
    const file = path.resolve(root, '.' + urlPath.slice('/modules'.length));
    if (file.startsWith(root + path.sep)) return file;
  }
  return null;
}

const server = http.createServer((req, res) => {
  if (req.method === 'POST' && req.url === '/report') {
    let body = '';
    req.setEncoding('utf8');
    req.on('data', chunk => { body += chunk; });
    req.on('end', () => {
      res.writeHead(204);
      res.end();
      // Written synchronously so that nothing is lost when --once exits.
      fs.writeSync(1, 'report ' + body.replace(/\n/g, ' ') + '\n');
      if (opts.once)
        process.exit(0);
    });
    return;
  }
  let file = null;
  try {
    file = resolve(decodeURIComponent(new URL(req.url, 'http://127.0.0.1').pathname));
  } catch (e) {
    // A malformed address finds nothing.
  }
  fs.stat(file || '', (err, st) => {
    if (!file || err || !st.isFile()) {
      res.writeHead(404);
      res.end();
      return;
    }
    const type = types[path.extname(file).toLowerCase()] || 'application/octet-stream';
    // Media elements ask for ranges; answer them so seeking works.
    const range = /^bytes=(\d*)-(\d*)$/.exec(req.headers.range || '');
    if (range && (range[1] || range[2])) {
      let start = range[1] ? Number(range[1]) : st.size - Number(range[2]);
      let end = range[1] && range[2] ? Number(range[2]) : st.size - 1;
      start = Math.max(0, start);
      end = Math.min(end, st.size - 1);
      if (start > end) {
        res.writeHead(416, { 'Content-Range': `bytes */${st.size}` });
        res.end();
        return;
      }
      res.writeHead(206, { 'Content-Type': type, 'Content-Length': end - start + 1,
                           'Content-Range': `bytes ${start}-${end}/${st.size}`, 'Accept-Ranges': 'bytes' });
      fs.createReadStream(file, { start, end }).pipe(res);
      return;
    }
    res.writeHead(200, { 'Content-Type': type, 'Content-Length': st.size, 'Accept-Ranges': 'bytes' });
    fs.createReadStream(file).pipe(res);
  });
});

server.listen(Number(opts.port), '127.0.0.1', () => {
  const q = `media=media${path.extname(opts.media)}&data=data${path.extname(opts.data)}`;
  fs.writeSync(1, `http://127.0.0.1:${server.address().port}/index.html?${q}\n`);
});
