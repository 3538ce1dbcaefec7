// An installation as the README's "Install as a CGI program" describes it:
// cmake --install into a fresh prefix, the program and the examples from
// share/dictorn/ copied into a CGI directory, the index built by one run,
// and the shipped lighttpd configuration serving the page.
'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { makeRoot, startServer, get } = require('./server.js');

const build = process.env.DICTORN_BUILD_DIR;
const source = path.join(__dirname, '..', '..');

let root;
let prefix;
let server;

before(() => {
  assert.ok(build, 'DICTORN_BUILD_DIR names no build folder');
  root = makeRoot();
  prefix = path.join(root, 'prefix');
  const install = spawnSync('cmake', ['--install', build, '--prefix', prefix], {
    encoding: 'utf8',
  });
  assert.equal(install.status, 0, install.stdout + install.stderr);
});

after(async () => {
  if (server) {
    await server.stop();
  } else if (root) {
    fs.rmSync(root, { recursive: true, force: true });
  }
});

function filesUnder(directory) {
  return fs
    .readdirSync(directory, { recursive: true, withFileTypes: true })
    .filter((entry) => entry.isFile())
    .map((entry) => path.relative(directory, path.join(entry.parentPath ?? entry.path, entry.name)))
    .sort();
}

test('cmake --install puts the program, man page and examples in place', () => {
  assert.deepEqual(filesUnder(prefix), [
    'bin/dictorn',
    'share/dictorn/apache-dictorn.conf',
    'share/dictorn/dictorn.txt',
    'share/dictorn/dictorn32.conf',
    'share/dictorn/dictorn32head.htm',
    'share/dictorn/dictorn32tail.htm',
    'share/dictorn/lighttpd-dictorn.conf',
    'share/dictorn/nginx-dictorn.conf',
    'share/man/man1/dictorn.1',
  ]);
  assert.ok(fs.statSync(path.join(prefix, 'bin/dictorn')).mode & 0o111);
});

test('the examples serve a page through the shipped lighttpd configuration', async () => {
  const shared = path.join(prefix, 'share/dictorn');
  const cgiDir = path.join(root, 'cgi-bin');
  fs.mkdirSync(cgiDir);
  fs.copyFileSync(path.join(prefix, 'bin/dictorn'), path.join(cgiDir, 'dictorn'));
  fs.chmodSync(path.join(cgiDir, 'dictorn'), 0o755);
  for (const name of ['dictorn.txt', 'dictorn32.conf', 'dictorn32head.htm', 'dictorn32tail.htm']) {
    fs.copyFileSync(path.join(shared, name), path.join(cgiDir, name));
  }

  // The index is built at install time, by one run as the files' owner.
  const rebuild = spawnSync(path.join(cgiDir, 'dictorn'), [], { env: {}, cwd: '/' });
  assert.equal(rebuild.status, 0, String(rebuild.stdout));
  assert.ok(fs.existsSync(path.join(cgiDir, 'dictorn.ndx')));

  const shipped = fs.readFileSync(path.join(shared, 'lighttpd-dictorn.conf'), 'utf8');
  assert.match(shipped, /"\/usr\/lib\/cgi-bin\/"/);
  server = await startServer(root, shipped.replaceAll('/usr/lib/cgi-bin/', cgiDir + '/'));

  const response = await get(server.port, '/cgi-bin/dictorn?next=0');
  assert.equal(response.status, 200);
  assert.equal(response.headers['content-type'], 'text/html');
  const head = fs.readFileSync(path.join(source, 'share/dictorn32head.htm'), 'latin1');
  const tail = fs.readFileSync(path.join(source, 'share/dictorn32tail.htm'), 'latin1');
  // The example configuration warns about nothing: the page starts with the
  // head template, every line followed by one more line feed.
  assert.ok(response.body.startsWith(head.replaceAll('\n', '\n\n') + '\n'), response.body);
  assert.ok(response.body.endsWith(tail.replaceAll('\n', '\n\n')), response.body);
  assert.ok(response.body.includes('action="/cgi-bin/dictorn"'));
  assert.ok(response.body.includes('<a href="/cgi-bin/dictorn?next=1">'));
});
