// A handheld that loses its network mid-panel, and one whose page is reloaded: the session waits,
// the page comes back to the same screen with the half-typed field, what was typed meanwhile is
// applied once, and the receipt is sent once.
import assert from 'node:assert/strict';
import test from 'node:test';

import { browser, gateway, pageScreen, rowShows, scanner, state } from './harness.mjs';

const typed = { delay: 70 };
const session = (page) => page.evaluate(() => localStorage.getItem('vek.session'));

test('the connection cut and the page reloaded mid-panel, the receipt sent once', async (t) => {
  const b = await browser(t);
  if (!b) return;
  const { context, page } = b;
  const g = await gateway(t);
  // The page's session socket passes through here, so that a connection can be cut at the next key:
  // 'lost', the key never reaching the gateway; 'delivered', its acknowledgement never coming back;
  // 'silent', nothing passing either way from then on without the connection closing.
  let cut = null;
  let connections = 0;
  await page.routeWebSocket(/\/session$/, (ws) => {
    connections += 1;
    const server = ws.connectToServer();
    let dead = false;
    ws.onMessage((m) => {
      const key = String(m).startsWith('t=key');
      if (key && cut === 'silent') [dead, cut] = [true, null];
      if (dead) return;
      if (!(key && cut === 'lost')) server.send(m);
      if (key && cut) {
        cut = null;
        ws.close();
      }
    });
    server.onMessage((m) => dead || ws.send(m));
  });
  await page.goto(`${g.url}/?terminal=dock-8&token=${g.token}`);
  await state(page, 'connected');
  await page.evaluate(() => navigator.serviceWorker.ready);
  const token = await session(page);
  assert.match(token, /^[0-9a-f]{32}$/);

  await rowShows(page, ' Item      ________');
  await scanner(page, [...'0104012357', 'Enter'], 5);
  await rowShows(page, ' Item      04012357');
  await page.keyboard.type('12.5', typed);
  await page.keyboard.press('Enter');
  await page.keyboard.type('AB-', typed);
  await rowShows(page, ' Lot       AB-_');

  // A key that went out just before a cut is sent again on the next connection and acts once.
  const cuts = [['lost', '1', 'AB-1_'], ['delivered', '2', 'AB-12_'], ['silent', '3', 'AB-123_']];
  for (const [how, key, shows] of cuts) {
    const before = connections;
    cut = how;
    await page.keyboard.type(key);
    for (let waited = 0; connections === before; waited += 100) {
      assert.ok(waited < 20000, `no new connection after the ${how} cut`);
      await new Promise((r) => setTimeout(r, 100));
    }
    await state(page, 'connected');
    await rowShows(page, ' Lot       ' + shows);
  }

  // Offline: the page says so, keeps the panel and queues what is typed.
  await context.setOffline(true);
  await state(page, 'reconnecting');
  await page.keyboard.type('4', typed);
  await context.setOffline(false);
  await state(page, 'connected');
  await rowShows(page, ' Lot       AB-1234');
  assert.equal(await session(page), token, 'the same session resumed');
  const before = await pageScreen(page);

  // A reload with the network gone: the page comes from the service worker and shows the saved
  // screen at once; back online it resumes the same session with the same screen.
  await context.setOffline(true);
  await page.reload();
  await state(page, 'reconnecting');
  assert.deepEqual((await pageScreen(page)).rows, before.rows, 'the saved screen, offline');
  await context.setOffline(false);
  await state(page, 'connected');
  assert.equal(await session(page), token);
  assert.deepEqual((await pageScreen(page)).rows, before.rows, 'the screen of the resumed session');

  await page.keyboard.press('Enter');
  await page.keyboard.type('31122020', typed);
  await page.keyboard.press('Enter');
  await page.keyboard.type('A01-02', typed);
  await rowShows(page, ' Location  A01-02');
  await page.click('#keys button[data-key="OK"]');
  await rowShows(page, ' Received: 1');
  assert.ok(connections >= 6, 'the page connected again after each cut');
  const journal = g.journal('dock-8');
  assert.equal(journal.split('\n').length - 1, 1, journal);
  assert.match(journal, / dock-8 1 54TRANMSG Y RCV 04012357 12\.50 AB-1234 31-12-2020 A01-02\n$/);
});
