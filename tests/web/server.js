// A lighttpd of the tests' own: a temporary document root whose /cgi-bin/
// programs run through mod_cgi, served on 127.0.0.1 at a free port. The
// server is stopped by its pid when the test stops it, and in any case when
// the test process ends.
'use strict';

const { spawn } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');

const lighttpd = process.env.LIGHTTPD || '/usr/sbin/lighttpd';

// Every server still running; killed when the process ends however it ends.
const running = new Set();
process.on('exit', () => {
  for (const child of running) {
    try {
      process.kill(child.pid, 'SIGKILL');
    } catch (error) {
      // already gone
    }
  }
});
for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP']) {
  process.on(signal, () => process.exit(1));
}

// A fresh directory that holds the configuration, the log and htdocs/. The
// path has no symbolic links, as the program reports paths.
function makeRoot() {
  const root = fs.mkdtempSync(path.join(fs.realpathSync(os.tmpdir()), 'dictorn-web-'));
  fs.mkdirSync(path.join(root, 'htdocs', 'cgi-bin'), { recursive: true });
  return root;
}

// Copies the built program to htdocs/<urlPath> with `files` (name -> bytes)
// beside it, as a user installs it. Returns the program's directory.
function installProgram(root, urlPath, files) {
  const target = path.join(root, 'htdocs', urlPath);
  const directory = path.dirname(target);
  fs.mkdirSync(directory, { recursive: true });
  const binary = process.env.DICTORN_BINARY;
  if (!binary) {
    throw new Error('DICTORN_BINARY names no program');
  }
  fs.copyFileSync(binary, target);
  fs.chmodSync(target, 0o755);
  for (const [name, bytes] of Object.entries(files || {})) {
    fs.writeFileSync(path.join(directory, name), bytes, 'latin1');
  }
  return directory;
}

function freePort() {
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.once('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// How /cgi-bin/ is served unless the test brings its own configuration.
const cgiBin = [
  'server.modules += ( "mod_cgi" )',
  '$HTTP["url"] =~ "^/cgi-bin/" {',
  '  cgi.assign = ( "" => "" )',
  '}',
].join('\n');

function configuration(root, port, cgi) {
  return [
    `server.document-root = "${root}/htdocs"`,
    'server.bind = "127.0.0.1"',
    `server.port = ${port}`,
    `server.errorlog = "${root}/error.log"`,
    `server.upload-dirs = ( "${root}" )`,
    cgi,
    '',
  ].join('\n');
}

function connects(port) {
  return new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1');
    socket.once('connect', () => {
      socket.destroy();
      resolve(true);
    });
    socket.once('error', () => resolve(false));
  });
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Starts lighttpd in the foreground (-D) on a free port, serving `root`
// and running CGI programs as `cgi` (lighttpd configuration text) says.
// Resolves to { port, pid, stop }.
async function startServer(root, cgi = cgiBin) {
  for (let attempt = 1; ; ++attempt) {
    const port = await freePort();
    const config = path.join(root, 'lighttpd.conf');
    fs.writeFileSync(config, configuration(root, port, cgi));
    const log = fs.openSync(path.join(root, 'lighttpd.out'), 'a');
    const child = spawn(lighttpd, ['-D', '-f', config], {
      stdio: ['ignore', log, log],
    });
    fs.closeSync(log);
    running.add(child);
    let exited = false;
    const exit = new Promise((resolve) => {
      child.once('exit', () => {
        exited = true;
        running.delete(child);
        resolve();
      });
    });
    const deadline = Date.now() + 10000;
    while (!exited && Date.now() < deadline && !(await connects(port))) {
      await sleep(50);
    }
    if (!exited && (await connects(port))) {
      // Stops the server by its pid and removes the root with everything
      // the test put there.
      const stop = async () => {
        if (!exited) {
          process.kill(child.pid, 'SIGTERM');
          const killer = setTimeout(() => {
            if (!exited) process.kill(child.pid, 'SIGKILL');
          }, 5000);
          await exit;
          clearTimeout(killer);
        }
        fs.rmSync(root, { recursive: true, force: true });
      };
      return { port, pid: child.pid, stop };
    }
    if (!exited) {
      process.kill(child.pid, 'SIGKILL');
      await exit;
    }
    // Another process may have taken the port in between: try another.
    if (attempt === 5) {
      const said = [root + '/lighttpd.out', root + '/error.log']
        .filter((file) => fs.existsSync(file))
        .map((file) => fs.readFileSync(file, 'utf8'))
        .join('\n');
      throw new Error(`lighttpd did not start:\n${said}`);
    }
  }
}

// One GET request. Resolves to { status, headers, body } with the body's
// bytes as a latin1 string, so that every byte stays one character.
function get(port, urlPath) {
  return new Promise((resolve, reject) => {
    const request = http.get(
      { host: '127.0.0.1', port, path: urlPath, agent: false },
      (response) => {
        const chunks = [];
        response.on('data', (chunk) => chunks.push(chunk));
        response.on('end', () =>
          resolve({
            status: response.statusCode,
            headers: response.headers,
            body: Buffer.concat(chunks).toString('latin1'),
          }),
        );
        response.on('error', reject);
      },
    );
    request.setTimeout(30000, () => request.destroy(new Error('timed out')));
    request.on('error', reject);
  });
}

module.exports = { makeRoot, installProgram, startServer, get };
