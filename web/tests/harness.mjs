// What the browser tests share: Debian's chromium driven by playwright-core, the gateway started on a
// free port with the receiving demo in a data directory of its own, vekhost run headless for the
// screen the TTY would show, and the page's screen read back from its grid.
import { spawn, spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { chromium } from 'playwright-core';

const source = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const build = path.join(source, 'build/default');
export const paths = {
  source,
  vekweb: process.env.VEKWEB || path.join(build, 'gateway/vekweb'),
  vekhost: process.env.VEKHOST || path.join(build, 'host/vekhost'),
  receiving: process.env.VEK_RECEIVING || path.join(build, 'examples/receiving'),
  program: path.join(source, 'examples/receiving/receiving.lua'),
  web: path.join(source, 'web'),
};

// Cleanups run after the test, the latest first: the browser and the gateway end before their
// folders go.
const cleanups = new WeakMap();
function later(t, fn) {
  if (!cleanups.has(t)) {
    cleanups.set(t, []);
    t.after(async () => {
      for (const f of cleanups.get(t).reverse()) await f();
    });
  }
  cleanups.get(t).push(fn);
}

export function scratch(t) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vekweb-test-'));
  later(t, () => fs.rmSync(dir, { recursive: true, force: true, maxRetries: 5 }));
  return dir;
}

// Chromium from Debian, never one of playwright's own: a fresh profile, no network of its own. A test
// skips only when the browser cannot start at all.
export async function browser(t) {
  const profile = scratch(t);
  let context;
  try {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      headless: true,
      viewport: { width: 412, height: 860 },
      deviceScaleFactor: 2,
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync'],
    });
  } catch (e) {
    t.skip('chromium cannot run here: ' + String(e.message).split('\n')[0]);
    return null;
  }
  later(t, () => context.close());
  const page = context.pages()[0] || (await context.newPage());
  page.on('pageerror', (e) => console.log('page error:', e.message));
  return { context, page };
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
    server.on('error', reject);
  });
}

// The gateway with the receiving demo: scans framed by STX and CR, bursts of 4 or more under 30 ms.
export async function gateway(t) {
  const dir = scratch(t);
  const data = path.join(dir, 'data');
  fs.mkdirSync(data);
  for (const f of ['HELP.VAL', 'LOCS.VAL']) fs.copyFileSync(path.join(paths.receiving, f), path.join(data, f));
  const token = crypto.randomBytes(16).toString('hex');
  const tokenFile = path.join(dir, 'token');
  fs.writeFileSync(tokenFile, token + '\n', { mode: 0o600 });
  const port = await freePort();
  const args = ['--listen', `127.0.0.1:${port}`, '--program', paths.program, '--data', data, '--web', paths.web,
    '--vekhost', paths.vekhost, '--token-file', tokenFile, '--scan-prefix', '\\x02', '--scan-suffix', '\\r'];
  const child = spawn(paths.vekweb, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  let log = '';
  child.stdout.on('data', (d) => (log += d));
  child.stderr.on('data', (d) => (log += d));
  const exited = new Promise((resolve) => child.on('exit', resolve));
  later(t, async () => {
    if (child.exitCode === null) child.kill('SIGTERM');
    const killer = setTimeout(() => child.kill('SIGKILL'), 5000);
    await exited;
    clearTimeout(killer);
  });
  const url = `http://127.0.0.1:${port}`;
  for (let i = 0; ; i++) {
    if (child.exitCode !== null) throw new Error(`vekweb ended at start (${child.exitCode}):\n${log}`);
    try {
      if ((await fetch(url + '/')).ok) break;
    } catch {
      // not listening yet
    }
    if (i > 100) throw new Error('vekweb does not answer:\n' + log);
    await new Promise((r) => setTimeout(r, 100));
  }
  return {
    url,
    port,
    token,
    data,
    log: () => log,
    journal: (terminal) => {
      const file = path.join(data, 'journal', terminal + '.log');
      return fs.existsSync(file) ? fs.readFileSync(file, 'latin1') : '';
    },
  };
}

// The screen vekhost shows headless for an input script: the last one it writes, rows and attributes.
export function headless(t, script) {
  const dir = scratch(t);
  fs.writeFileSync(path.join(dir, 'input.keys'), script);
  const r = spawnSync(
    paths.vekhost,
    ['--input', 'input.keys', '--attributes', '--data', paths.receiving, '--journal', 'journal.log', '--terminal', 'ref', paths.program],
    { cwd: dir, encoding: 'latin1' },
  );
  const lines = r.stdout.split('\n').filter((l) => l.startsWith('|'));
  const rows = lines.slice(-20);
  if (rows.length !== 20) throw new Error('no screen from vekhost:\n' + r.stdout + r.stderr);
  return { rows: rows.map((l) => l.slice(1, 41)), attrs: rows.map((l) => l.slice(44, 84)) };
}

// The page's grid as it is drawn: each row's text, and its attributes from the cells' classes.
export function pageScreen(page) {
  return page.evaluate(() => {
    const rows = [];
    const attrs = [];
    for (const row of document.querySelectorAll('#screen .row')) {
      rows.push(row.textContent);
      let a = '';
      for (const span of row.children) a += span.className.match(/\ba(\w)/)[1].repeat([...span.textContent].length);
      attrs.push(a);
    }
    const cursor = document.querySelector('#screen .cursor');
    return { rows, attrs, cursor: !!cursor };
  });
}

// A scanner typing into the page: its keystrokes `gap` ms apart by their time stamps, as the system
// stamps a scanner's keys however busy the machine is. Keys are characters, 'Enter' or 'Control+B'.
export async function scanner(page, keys, gap) {
  const cdp = await page.context().newCDPSession(page);
  const start = Date.now() / 1000;
  const sent = [];
  keys.forEach((key, i) => {
    const timestamp = start + (i * gap) / 1000;
    const down =
      key === 'Enter' ? { type: 'keyDown', key, code: key, windowsVirtualKeyCode: 13, text: '\r' }
      : key === 'Control+B' ? { type: 'rawKeyDown', key: 'b', code: 'KeyB', windowsVirtualKeyCode: 66, modifiers: 2 }
      : { type: 'keyDown', key, text: key };
    sent.push(cdp.send('Input.dispatchKeyEvent', { ...down, timestamp }));
    sent.push(cdp.send('Input.dispatchKeyEvent', { type: 'keyUp', key: down.key, modifiers: down.modifiers, timestamp }));
  });
  await Promise.all(sent);
  await cdp.detach();
}

// Waits until a row of the page's screen reads `text` from its beginning; else fails showing the screen.
export async function rowShows(page, text, timeout = 10000) {
  try {
    await page.waitForFunction(
      (want) => [...document.querySelectorAll('#screen .row')].some((r) => r.textContent.startsWith(want)),
      text,
      { timeout },
    );
  } catch (e) {
    const { rows } = await pageScreen(page).catch(() => ({ rows: [] }));
    throw new Error(`no row reads "${text}":\n${rows.map((r) => '|' + r + '|').join('\n')}\n${e.message}`);
  }
}

export function state(page, name, timeout = 10000) {
  return page.waitForSelector(`body[data-state="${name}"]`, { timeout });
}

// The clock's corner of the first row differs between the two (virtual time headless, the real
// clock in a gateway session); everything else must match.
export function withoutClock(screen) {
  return { rows: screen.rows.map((r, i) => (i === 0 ? r.slice(0, 24) : r)), attrs: screen.attrs };
}
