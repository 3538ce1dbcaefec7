// A reader clicking through the quotes: headless Chromium, driven by
// playwright-core, against dictorn behind the tests' own lighttpd.
'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');
const { makeRoot, installProgram, startServer, get } = require('./server.js');

// Each quote names its number, so the page shows which one it is.
const quotes = [
  'Quote 0: A stitch in time saves nine. ` Old proverb',
  'Quote 1: Still waters run deep.',
  'Quote 2: Many hands make light work.^(and short meetings)',
  'Quote 3: Look before you leap -- then leap. ` Anonymous',
  '`Quote 4:  a  preformatted  line',
  'Quote 5: The early bird catches the worm; the second mouse gets the cheese.',
  'Quote 6: Every cloud has a silver lining.',
  'Quote 7: Practice makes perfect.',
];
const lastQuote = quotes.length - 1;

const artifacts = process.env.WEB_ARTIFACTS || os.tmpdir();

let root;
let server;
let context;
let page;

before(async () => {
  root = makeRoot();
  installProgram(root, 'cgi-bin/dictorn32.exe', {
    'dictorn.txt': quotes.map((line) => line + '\n').join(''),
    'dictorn32.conf': '# page mode, buttons call /cgi-bin/dictorn32.exe\n',
  });
  server = await startServer(root);
  const rebuild = await get(server.port, '/cgi-bin/dictorn32.exe');
  assert.match(rebuild.body, /re-building index file/);

  context = await chromium.launchPersistentContext(
    fs.mkdtempSync(path.join(root, 'profile-')),
    {
      executablePath: '/usr/bin/chromium',
      headless: true,
      args: [
        '--headless',
        '--no-sandbox',
        '--disable-gpu',
        '--disable-quic',
        '--no-first-run',
        '--disable-background-networking',
        '--disable-component-update',
        '--disable-sync',
      ],
      timeout: 60000,
    },
  );
  page = context.pages()[0] || (await context.newPage());
  // Nothing beyond the tests' own server.
  await page.route(
    (url) => url.hostname !== '127.0.0.1' || url.port !== String(server.port),
    (route) => route.abort(),
  );
});

after(async () => {
  if (context) {
    await context.close();
  }
  if (server) {
    await server.stop();
  }
});

// The quote the page shows, by the number in its text; checked against the
// numbers its "<< Previous" and "Next >>" forms carry.
async function shownQuote() {
  const text = await page.locator('body').innerText();
  const match = /Quote\s(\d+):/.exec(text);
  assert.ok(match, `no quote on the page:\n${text}`);
  const n = Number(match[1]);
  const previous = await hiddenValue('<< Previous');
  const next = await hiddenValue('Next >>');
  assert.equal(previous, n === 0 ? lastQuote : n - 1, 'previous');
  assert.equal(next, n === lastQuote ? 0 : n + 1, 'next');
  return n;
}

function form(label) {
  return page.locator('form', { has: page.locator(`input[value="${label}"]`) });
}

async function hiddenValue(label) {
  return Number(await form(label).locator('input[name="next"]').getAttribute('value'));
}

async function click(label) {
  await Promise.all([
    page.waitForNavigation(),
    page.locator(`input[type="submit"][value="${label}"]`).click(),
  ]);
}

const start = (query) => page.goto(`http://127.0.0.1:${server.port}/cgi-bin/dictorn32.exe?${query}`);

test('Next and Previous step through the quotes', async () => {
  await start('next=3');
  assert.equal(await shownQuote(), 3);
  await click('Next >>');
  assert.equal(new URL(page.url()).search, '?next=4');
  assert.equal(await shownQuote(), 4);
  await click('<< Previous');
  assert.equal(await shownQuote(), 3);
  await page.screenshot({ path: path.join(artifacts, 'page.png'), fullPage: true });
});

test('Another Quote shows the quote its form offered', async () => {
  await start('next=1');
  const offered = await hiddenValue('Another Quote...');
  assert.ok(offered >= 0 && offered <= lastQuote, `offered ${offered}`);
  await click('Another Quote...');
  assert.equal(await shownQuote(), offered);
});

test('Next wraps from the last quote to quote 0, Previous back', async () => {
  await start(`next=${lastQuote}`);
  assert.equal(await shownQuote(), lastQuote);
  await click('Next >>');
  assert.equal(await shownQuote(), 0);
  await click('<< Previous');
  assert.equal(await shownQuote(), lastQuote);
});

test('the quote of the day stays on reload', async () => {
  const today = () => Math.floor(Date.now() / 86400000);
  for (let attempt = 0; attempt < 3; ++attempt) {
    const day = today();
    await start('daily=');
    const n = await shownQuote();
    const offered = await hiddenValue('Another Quote...');
    await page.reload();
    const again = await shownQuote();
    const offeredAgain = await hiddenValue('Another Quote...');
    if (today() !== day) {
      continue; // midnight UTC fell between the loads
    }
    assert.equal(again, n);
    assert.equal(offeredAgain, offered);
    return;
  }
  assert.fail('the day changed on every attempt');
});
