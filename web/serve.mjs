// A static server for the built page, on 127.0.0.1 only. A file's
// precompressed FILE.gz beside it (the build writes one for every file of
// the site) is sent instead to a browser that accepts gzip.
// Usage: node web/serve.mjs SITE_DIR [PORT]  (no port, or 0: a free one)
import { createReadStream, statSync } from 'node:fs';
import { createServer } from 'node:http';
import { extname, join, normalize, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8', '.css': 'text/css; charset=utf-8',
  '.json': 'application/json', '.csv': 'text/csv; charset=utf-8', '.wasm': 'application/wasm',
  '.png': 'image/png',
};

const sizeOf = (file) => {
  try {
    return statSync(file).isFile() ? statSync(file).size : -1;
  } catch {
    return -1;
  }
};

// Serves dir on 127.0.0.1:port; resolves to the server once it listens.
export function serve(dir, port = 0) {
  const root = resolve(dir);
  const server = createServer((req, res) => {
    let path = null;
    try {
      path = decodeURIComponent(new URL(req.url, 'http://localhost').pathname);
    } catch {
      // A malformed escape names no file; it must not stop the server.
    }
    const file = path === null ? '' : normalize(join(root, path.endsWith('/') ? `${path}index.html` : path));
    const size = file.startsWith(root + sep) ? sizeOf(file) : -1;
    if (size < 0 || (req.method !== 'GET' && req.method !== 'HEAD')) {
      res.writeHead(size < 0 ? 404 : 405, { 'content-type': 'text/plain' }).end('not found\n');
      return;
    }
    const gzip = /\bgzip\b/.test(req.headers['accept-encoding'] || '') ? sizeOf(`${file}.gz`) : -1;
    res.writeHead(200, {
      'content-type': TYPES[extname(file)] || 'application/octet-stream',
      'content-length': gzip >= 0 ? gzip : size,
      ...(gzip >= 0 ? { 'content-encoding': 'gzip' } : {}),
      vary: 'accept-encoding',
      'cache-control': 'no-cache',
    });
    if (req.method === 'HEAD') res.end();
    else createReadStream(gzip >= 0 ? `${file}.gz` : file).pipe(res);
  });
  return new Promise((done, fail) => {
    server.once('error', fail);
    server.listen(port, '127.0.0.1', () => done(server));
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [dir, port = '0'] = process.argv.slice(2);
  if (!dir || !/^\d+$/.test(port) || Number(port) > 65535) {
    console.error('usage: node serve.mjs SITE_DIR [PORT]');
    process.exit(2);
  }
  try {
    statSync(join(dir, 'index.html'));
  } catch {
    console.error(`serve.mjs: ${dir} holds no index.html; build the page first (web/serve.sh)`);
    process.exit(2);
  }
  try {
    const server = await serve(dir, Number(port));
    console.log(`Serving ${resolve(dir)} at http://127.0.0.1:${server.address().port}/ (Ctrl-C stops)`);
  } catch (e) {
    console.error(`serve.mjs: cannot listen on 127.0.0.1:${port}: ${e.code || e.message}`);
    process.exit(1);
  }
}
