// dictorn as a CGI program behind a real lighttpd: each response's status,
// type and exact body, for the queries a browser sends.
'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { makeRoot, installProgram, startServer, get } = require('./server.js');

const header = 'Content-type: text/html\n\n';
const builtInHead =
  '<HTML><HEAD>\n<TITLE>DICTORN32 V2.0.00</TITLE>\n</HEAD><body>' +
  '<h1>DICTORN32 V2.0.00</h1><br>\n';
const defaultAddress = '/cgi-bin/dictorn32.exe';

// Short lines without markup: each is shown as the indent, the line, "\n"
// and "<br>\n".
const quotes = [
  'A stitch in time saves nine.',
  'Still waters run deep.',
  'Many hands make light work.',
  'Where there is a will, there is a way.',
  'Look before you leap.',
  'Fortune favours the bold.',
  'A rolling stone gathers no moss.',
  'The early bird catches the worm.',
  'Every cloud has a silver lining.',
  'Practice makes perfect.',
];
const quoteFile = quotes.map((line) => line + '\n').join('');

function footer(address, another, previous, next) {
  const form = (value, label) =>
    `<FORM style="text-align: center" action="${address}"><input ` +
    `type="hidden" name="next" value="${value}"><INPUT TYPE="submit" ` +
    `VALUE="${label}"></FORM>\n`;
  return (
    '</div></font><br><br>\n' +
    form(another, 'Another Quote...') +
    '<table width="100%" CELLPADDING="15" CELLSPACING="0"><tr>' +
    '<td align="right" width="50%">' +
    form(previous, '<< Previous') +
    '</td><td align="left" width="50%">' +
    form(next, 'Next >>') +
    `</td></tr></table><a href="${address}?next=${next}">` +
    '<font color="ffffff">.</font></a>\n'
  );
}

// The body of a page of quote n: what the program writes after its header.
function pageBody(n, another, frame = {}) {
  const count = quotes.length;
  const previous = n === 0 ? count - 1 : n - 1;
  const next = n === count - 1 ? 0 : n + 1;
  return (
    (frame.head ?? builtInHead) +
    '\n<font size="3" face="Palatino Linotype,Palatino,Times">' +
    '<div align="left">\n' +
    `  ${quotes[n]}\n<br>\n` +
    footer(frame.address ?? defaultAddress, another, previous, next) +
    (frame.tail ?? '</body>')
  );
}

// The "Another Quote..." number: drawn from the clock unless daily=, so it
// is read off the page.
function anotherNumber(body) {
  const match = /value="(\d+)"/.exec(body);
  assert.ok(match, 'no "Another Quote..." form');
  return Number(match[1]);
}

// The quote of the day and its "Another Quote..." number: the first two
// draws of state * 214013 + 2531011 (bits 16..30) seeded with the day.
function dayDraws(day, count) {
  let state = day >>> 0;
  const draws = [];
  for (let i = 0; i < 2; ++i) {
    state = (Math.imul(state, 214013) + 2531011) >>> 0;
    draws.push((state >>> 16) & 0x7fff);
  }
  return draws.map((draw) => Math.floor((draw * count) / 32768));
}

const today = () => Math.floor(Date.now() / 86400000);

let root;
let server;

function assertPage(response) {
  assert.equal(response.status, 200);
  assert.equal(response.headers['content-type'], 'text/html');
}

before(async () => {
  root = makeRoot();
  const conf = { 'dictorn32.conf': '# the default address\n' };
  installProgram(root, 'cgi-bin/dictorn32.exe', { 'dictorn.txt': quoteFile, ...conf });
  installProgram(root, 'cgi-bin/templated/dictorn', {
    'dictorn.txt': quoteFile,
    'dictorn32head.htm': '<html><head><title>Quotes</title></head>\r\n<body>',
    'dictorn32tail.htm': '<p>More tomorrow.</p>\r\n</body></html>\r\n',
  });
  installProgram(root, 'cgi-bin/fresh/dictorn', { 'dictorn.txt': quoteFile, ...conf });
  installProgram(root, 'cgi-bin/empty/dictorn', { 'dictorn.txt': '', ...conf });
  installProgram(root, 'cgi-bin/console/dictorn', { 'dictorn.txt': 'Only quote.\n' });
  installProgram(root, 'cgi-bin/warned/dictorn', {
    'dictorn.txt': quoteFile,
    'dictorn32.conf': '# a comment, then an empty line\n\n',
  });
  const silent = path.join(root, 'htdocs/cgi-bin/silent');
  fs.writeFileSync(silent, '#!/bin/sh\nexit 1\n', { mode: 0o755 });
  server = await startServer(root);
  // The first request to each program builds its index.
  const sites = ['dictorn32.exe', 'templated/dictorn', 'empty/dictorn', 'console/dictorn', 'warned/dictorn'];
  for (const site of sites) {
    const response = await get(server.port, `/cgi-bin/${site}`);
    assert.equal(response.status, 200, site);
    assert.match(response.body, /re-building index file/, site);
  }
});

after(async () => {
  if (server) {
    await server.stop();
  }
});

test('next= shows the quote asked for, clamped to the file', async () => {
  const cases = [
    ['next=0', 0],
    ['next=3', 3],
    ['next=9', 9],
    ['next=10', 9],
    ['next=-5', 0],
    ['next=99999999999', 9],
    ['next=4&again=1', 4],
    // The program does not percent-decode: an encoded "+" is no sign. (An
    // encoded digit would not show this: lighttpd itself decodes unreserved
    // characters, so "next=%35" reaches the program as "next=5".)
    ['next=%2B5', 0],
    ['next=%35', 5],
    ['next=+5', 5], // nor is "+" a space: it is the number's sign
  ];
  for (const [query, n] of cases) {
    const response = await get(server.port, `/cgi-bin/dictorn32.exe?${query}`);
    assertPage(response);
    assert.equal(response.body, pageBody(n, anotherNumber(response.body)), query);
  }
});

test('daily= shows the same quote and "Another Quote..." number all day', async () => {
  for (let attempt = 0; attempt < 3; ++attempt) {
    const day = today();
    const first = await get(server.port, '/cgi-bin/dictorn32.exe?daily=');
    const second = await get(server.port, '/cgi-bin/dictorn32.exe?daily=yes');
    if (today() !== day) {
      continue; // midnight UTC fell between the requests
    }
    const [n, another] = dayDraws(day, quotes.length);
    assertPage(first);
    assert.equal(first.body, pageBody(n, another));
    assertPage(second);
    assert.equal(second.body, first.body);
    return;
  }
  assert.fail('the day changed on every attempt');
});

test('again=, an empty and an absent query show a quote of the file', async () => {
  for (const url of ['?again=', '?again=3', '?', '']) {
    const response = await get(server.port, `/cgi-bin/dictorn32.exe${url}`);
    assertPage(response);
    const another = anotherNumber(response.body);
    const shown = quotes.findIndex((_, n) => response.body === pageBody(n, another));
    assert.ok(shown >= 0, `not a page of any quote for "${url}":\n${response.body}`);
  }
});

test('an unrecognised query gives the "Parameter error" page', async () => {
  for (const query of ['Next=3', 'foo=1', 'next']) {
    const response = await get(server.port, `/cgi-bin/dictorn32.exe?${query}`);
    assertPage(response);
    assert.equal(response.body, builtInHead + 'Parameter error<br><br>\n', query);
  }
});

test('the head and tail templates frame the page', async () => {
  const frame = {
    head: '<html><head><title>Quotes</title></head>\n\n<body>\n',
    tail: '<p>More tomorrow.</p>\n\n</body></html>\n\n',
  };
  const response = await get(server.port, '/cgi-bin/templated/dictorn?next=7');
  assertPage(response);
  assert.equal(response.body, pageBody(7, anotherNumber(response.body), frame));
});

test('the first request builds the index and shows no quote', async () => {
  const directory = path.join(root, 'htdocs/cgi-bin/fresh');
  const first = await get(server.port, '/cgi-bin/fresh/dictorn?next=2');
  assertPage(first);
  assert.equal(
    first.body,
    builtInHead + '\n\nre-building index file ' + path.join(directory, 'dictorn.ndx') + '\n',
  );
  const second = await get(server.port, '/cgi-bin/fresh/dictorn?next=2');
  assertPage(second);
  assert.equal(second.body, pageBody(2, anotherNumber(second.body)));
});

// lighttpd ignores the exit status: it relays whatever came before it. Only
// a run that writes nothing at all gets an error status.
test('the HTTP status follows the output, not the exit status', async () => {
  const failed = await get(server.port, '/cgi-bin/empty/dictorn?next=0');
  assertPage(failed);
  assert.equal(
    failed.body,
    builtInHead + '\n\nerror reading ' + path.join(root, 'htdocs/cgi-bin/empty/dictorn.txt'),
  );

  const silent = await get(server.port, '/cgi-bin/silent');
  assert.equal(silent.status, 500);

  // A console run's first line is empty, so lighttpd reads an empty header
  // and serves the rest untyped.
  const untyped = await get(server.port, '/cgi-bin/console/dictorn?next=0');
  assert.equal(untyped.status, 200);
  assert.equal(untyped.headers['content-type'], undefined);
  assert.equal(untyped.body, '  Only quote.\n\n');
});

// A configuration warning comes before the header: lighttpd finds no header
// in its first line and serves the whole output untyped.
test('a configuration warning spoils the header', async () => {
  const response = await get(server.port, '/cgi-bin/warned/dictorn?next=1');
  assert.equal(response.status, 200);
  assert.equal(response.headers['content-type'], undefined);
  assert.equal(
    response.body,
    'unknown configuration <>\n' + header + pageBody(1, anotherNumber(response.body)),
  );
});
