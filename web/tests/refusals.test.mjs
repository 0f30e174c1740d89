// Logins the gateway refuses, and bad frames that close only their own connection.
import assert from 'node:assert/strict';
import http from 'node:http';
import test from 'node:test';

import WebSocket from 'ws';

import { browser, gateway, rowShows, state } from './harness.mjs';

// Opens the gateway's session socket from page `page`, sends `frames` and reports what came back.
function converse(page, url, frames) {
  return page.evaluate(
    ([url, frames]) =>
      new Promise((resolve) => {
        const got = [];
        const ws = new WebSocket(url);
        ws.onopen = () => frames.forEach((f) => ws.send(f));
        ws.onmessage = (e) => got.push(JSON.parse(e.data).t);
        ws.onclose = (e) => resolve({ got, code: e.code });
        setTimeout(() => resolve({ got, code: 'still open' }), 8000);
      }),
    [url, frames],
  );
}

test('a wrong token and a foreign origin are refused', async (t) => {
  const b = await browser(t);
  if (!b) return;
  const { context, page } = b;
  const g = await gateway(t);

  await page.goto(`${g.url}/?terminal=dock-9&token=not-${g.token}`);
  await state(page, 'refused');
  assert.ok(await page.isVisible('#login'), 'the login form is offered again');
  assert.notEqual(await page.textContent('#login-reason'), '');

  // A page of another origin that holds the right token still gets no session.
  const other = http.createServer((req, res) => res.end('<!doctype html><title>elsewhere</title>'));
  await new Promise((r) => other.listen(0, '127.0.0.1', r));
  t.after(() => {
    other.closeAllConnections();
    other.close();
  });
  const foreign = await context.newPage();
  await foreign.goto(`http://localhost:${other.address().port}/`);
  const hello = new URLSearchParams({ t: 'hello', terminal: 'dock-9', token: g.token }).toString();
  const r = await converse(foreign, `ws://127.0.0.1:${g.port}/session`, [hello]);
  assert.ok(!r.got.includes('welcome'), JSON.stringify(r));
  assert.notEqual(r.code, 'still open');
});

test('a malformed frame closes its own connection and no other session notices', async (t) => {
  const b = await browser(t);
  if (!b) return;
  const { page } = b;
  const g = await gateway(t);
  const sockets = [];
  page.on('websocket', (ws) => sockets.push(ws));
  await page.goto(`${g.url}/?terminal=dock-a&token=${g.token}`);
  await state(page, 'connected');
  await rowShows(page, ' Item      ________');
  await page.keyboard.type('0104', { delay: 70 });
  await rowShows(page, ' Item      0104____');

  const bad = [
    ['a key without a number', 't=key&seq=1&code=abc'],
    ['a frame of an unknown kind', 't=bogus&seq=1'],
    ['a binary frame', Buffer.from([0, 1, 2, 255])],
  ];
  for (const [i, [name, frame]] of bad.entries()) {
    const ws = new WebSocket(`ws://127.0.0.1:${g.port}/session`, { origin: g.url });
    const closed = new Promise((resolve) => ws.on('close', (code) => resolve(code)));
    const welcomed = new Promise((resolve) => ws.on('message', (m) => JSON.parse(m).t === 'welcome' && resolve()));
    await new Promise((resolve) => ws.on('open', resolve));
    ws.send(new URLSearchParams({ t: 'hello', terminal: `dock-b${i}`, token: g.token }).toString());
    await welcomed;
    ws.send(frame);
    const code = await Promise.race([closed, new Promise((r) => setTimeout(() => r('still open'), 5000))]);
    assert.notEqual(code, 'still open', name);
  }

  // The browser's session kept its one connection and goes on.
  assert.equal(sockets.length, 1);
  assert.equal(sockets[0].isClosed(), false);
  assert.equal(await page.getAttribute('body', 'data-state'), 'connected');
  await page.keyboard.type('2357', { delay: 70 });
  await rowShows(page, ' Item      01042357');
});
