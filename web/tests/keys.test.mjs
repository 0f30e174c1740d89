// Scans told apart from typing: framed by the prefix and suffix, or a burst ended by Enter or Tab.
import assert from 'node:assert/strict';
import test from 'node:test';

import { KEY, ScanReader, reverseGlyphs, latin1Glyphs } from '../keys.js';

// Feeds `steps` ([gap in ms, token] or [gap, 'text'] for characters each `gap` apart) on a virtual
// clock and returns what came out: 'k:c' for a printable key, 'k#13' for a key code, 's:data'.
function read(settings, steps) {
  const out = [];
  let now = 0;
  let timers = [];
  const advance = (to) => {
    for (;;) {
      const due = timers.filter((t) => t.at <= to).sort((a, b) => a.at - b.at)[0];
      if (!due) break;
      timers = timers.filter((t) => t !== due);
      now = due.at;
      due.fn();
    }
    now = to;
  };
  const reader = new ScanReader(
    { key: (t) => out.push(t.code !== undefined ? 'k#' + t.code : 'k:' + t.ch), scan: (s) => out.push('s:' + s) },
    {
      set: (fn, ms) => {
        const t = { at: now + ms, fn };
        timers.push(t);
        return t;
      },
      clear: (t) => (timers = timers.filter((x) => x !== t)),
    },
  );
  reader.settings(settings);
  for (const [gap, what] of steps) {
    const tokens = typeof what === 'string' ? [...what].map((ch) => ({ ch })) : [what];
    for (const token of tokens) {
      advance(now + gap);
      reader.feed(token, now);
    }
  }
  advance(now + 10000);
  return out.join(' ');
}

const enter = { code: KEY.Enter, ch: '\r' };
const tab = { code: KEY.Next, ch: '\t' };
const stx = { ch: '\x02', control: true };
const left = { code: KEY.Left };
const burst = { burst_ms: 30, min_length: 4 };
const framed = { prefix: '\x02', suffix: '\r', burst_ms: 30, min_length: 4 };

test('keys and scans as a scanner and a person type them', () => {
  const cases = [
    ['a burst ended by Enter is one scan', burst, [[5, '0104012357'], [5, enter]], 's:0104012357'],
    ['a burst ended by Tab is one scan', burst, [[5, 'AB12'], [5, tab]], 's:AB12'],
    ['typing at a person\'s pace stays keys', burst, [[120, '12.5'], [120, enter]], 'k:1 k:2 k:. k:5 k#13'],
    ['a burst shorter than the minimum stays keys', burst, [[5, 'abc'], [5, enter]], 'k:a k:b k:c k#13'],
    ['a burst not ended by Enter or Tab stays keys', burst, [[5, 'abcdef']], 'k:a k:b k:c k:d k:e k:f'],
    ['a pause before the Enter makes it keys', burst, [[5, 'abcd'], [200, enter]], 'k:a k:b k:c k:d k#13'],
    ['a burst after slow typing is a scan of its own', burst, [[150, 'x'], [150, 'A'], [5, 'BCDE'], [5, enter]], 'k:x s:ABCDE'],
    ['a key of its own ends a burst as keys', burst, [[5, 'abcd'], [5, left]], 'k:a k:b k:c k:d k#174'],
    ['prefix and suffix frame a scan, slow or fast', framed, [[5, stx], [100, '10AB-1234'], [100, enter]], 's:10AB-1234'],
    ['a framed scan ends at its suffix, keys follow', framed, [[5, stx], [5, 'LOT9'], [5, enter], [200, 'z']], 's:LOT9 k:z'],
    ['a prefix that no scan follows is dropped, the rest typed', framed, [[5, stx], [400, 'q']], 'k:q'],
    ['a framed scan cut short is handed back as keys', framed, [[5, stx], [5, 'AB'], [400, enter]], 'k:A k:B k#13'],
    ['without a prefix set, control characters mean nothing', burst, [[5, stx], [100, 'a']], 'k:a'],
    ['a multi-character prefix', { prefix: ']C', suffix: '\t', burst_ms: 30, min_length: 4 }, [[100, ']C'], [100, 'X1'], [100, tab]], 's:X1'],
    ['the beginning of a prefix alone is typed', { prefix: ']C', suffix: '\t', burst_ms: 30, min_length: 4 }, [[100, ']'], [100, 'x']], 'k:] k:x'],
  ];
  for (const [name, settings, steps, expected] of cases) assert.equal(read(settings, steps), expected, name);
});

test('characters map to their code-page bytes, control bytes never', () => {
  const latin1 = reverseGlyphs(latin1Glyphs());
  assert.equal(latin1.get('é'), 0xe9);
  assert.equal(latin1.get('A'), 65);
  assert.equal(latin1.get('€'), undefined);
  // A page whose byte 0x84 shows ä: typing ä sends 0x84; '?' stays 63 though control bytes show as '?'.
  const glyphs = [...latin1Glyphs()];
  glyphs[0x84] = 'ä';
  glyphs[0xe4] = 'Σ';
  const page = reverseGlyphs(glyphs.join(''));
  assert.deepEqual([page.get('ä'), page.get('Σ'), page.get('?')], [0x84, 0xe4, 63]);
});
