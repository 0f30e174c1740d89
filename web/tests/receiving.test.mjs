// A receipt entered in the browser as an operator with a phone's built-in scanner enters it: the item
// scanned as a burst, the lot through the scanner's prefix and suffix, the rest typed by hand, OK on
// the on-screen key. The screens match what vekhost shows headless for the same input, and the
// journal holds the receipt.
import assert from 'node:assert/strict';
import path from 'node:path';
import test from 'node:test';

import { browser, gateway, headless, pageScreen, paths, rowShows, scanner, state, withoutClock } from './harness.mjs';

const typed = { delay: 70 }; // a person's pace, well over the burst limit

test('a receipt scanned and typed in the browser, confirmed on the key row', async (t) => {
  const b = await browser(t);
  if (!b) return;
  const { page } = b;
  const g = await gateway(t);
  await page.goto(`${g.url}/?terminal=dock-7&token=${g.token}`);
  await state(page, 'connected');
  assert.equal(new URL(page.url()).search, '', 'the token leaves the address bar');
  await rowShows(page, ' Item      ________');

  await scanner(page, [...'0104012357', 'Enter'], 5); // a burst ended by Enter
  await rowShows(page, ' Item      04012357');
  await page.keyboard.type('12.5', typed);
  await page.keyboard.press('Enter', typed);
  await rowShows(page, ' Quantity  0012.50');
  await scanner(page, ['Control+B', ...'10AB-1234', 'Enter'], 40); // framed by STX and CR, slower
  await rowShows(page, ' Lot       AB-1234');
  await page.keyboard.type('31122020', typed);
  await page.keyboard.press('Enter', typed);
  await page.keyboard.type('A01-02', typed);
  await rowShows(page, ' Location  A01-02');

  const script = `delay 500\nscan 0104012357\ntext 12.5\nkey Enter\ndelay 500\nscan 10AB-1234\ntext 31122020\nkey Enter\ntext A01-02\n`;
  const filled = await pageScreen(page);
  assert.ok(filled.cursor, 'the cursor is shown in the field');
  assert.deepEqual(withoutClock(filled), withoutClock(headless(t, script)));
  if (process.env.VEK_SCREENSHOT) {
    const file = process.env.VEK_SCREENSHOT === '1' ? path.join(paths.source, 'docs/web-screen.png') : process.env.VEK_SCREENSHOT;
    const keys = await page.locator('#keys').boundingBox();
    await page.screenshot({ path: file, clip: { x: 0, y: 0, width: page.viewportSize().width, height: keys.y + keys.height } });
  }

  await page.click('#keys button[data-key="OK"]');
  await rowShows(page, ' Received: 1');
  await rowShows(page, ' Location  A01-02'); // the next panel, its location prefilled
  assert.deepEqual(withoutClock(await pageScreen(page)), withoutClock(headless(t, script + 'key OK\n')));
  assert.match(g.journal('dock-7'), /^\S+ \S+ dock-7 1 54TRANMSG Y RCV 04012357 12\.50 AB-1234 31-12-2020 A01-02\n$/);
});
