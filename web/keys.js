// What the operator types, turned into the module's key codes and scans.
//
// Physical keys map as on the TTY. Printable characters are sent as their byte in the session's code
// page. Scanners that type into the page are told apart from a person in two ways: the configured
// prefix and suffix frame a scan, and a burst (characters less than burst_ms apart, at least
// min_length of them, ended by Enter or Tab) is one scan. Neither ever reaches the module as keys.

export const KEY = {
  Enter: 13,
  Cancel: 256,
  Previous: 512,
  OK: 768,
  Clear: 1024,
  Backspace: 1280,
  Next: 1536,
  Left: 174,
  Right: 175,
  Help: 15104,
};

// The token for a keydown event: {code} for a key of its own, {ch} for a printable character, and
// `ch` also on keys that a scanner's framing may use (Enter "\r", Tab "\t", Escape "\x1b", Ctrl-letter
// as its control character). null for what the page leaves to the browser.
export function tokenOf(e) {
  const k = e.key;
  if (e.metaKey) return null;
  const altGraph = e.getModifierState && e.getModifierState('AltGraph');
  if (e.ctrlKey && !e.altKey && !altGraph) {
    if (k === 'o' || k === 'O') return { code: KEY.OK, ch: '\x0f' };
    if (k.length === 1 && /[a-z]/i.test(k)) return { ch: String.fromCharCode(k.toUpperCase().charCodeAt(0) - 64), control: true };
    return null;
  }
  switch (k) {
    case 'Enter': return { code: KEY.Enter, ch: '\r' };
    case 'Escape': return { code: KEY.Cancel, ch: '\x1b' };
    case 'F10': return { code: KEY.OK };
    case 'Tab': return e.shiftKey ? { code: KEY.Previous } : { code: KEY.Next, ch: '\t' };
    case 'ArrowDown': return { code: KEY.Next };
    case 'ArrowUp': return { code: KEY.Previous };
    case 'F2': return { code: KEY.Clear };
    case 'Backspace': return { code: KEY.Backspace };
    case 'ArrowLeft': return { code: KEY.Left };
    case 'ArrowRight': return { code: KEY.Right };
    case 'F1': return { code: KEY.Help };
  }
  if (e.altKey && !altGraph) return null;
  if ([...k].length === 1) return { ch: k };
  return null;
}

// Byte for each character a code page shows; control bytes are never typed.
export function reverseGlyphs(glyphs) {
  const chars = Array.from(glyphs);
  const map = new Map();
  for (let b = 32; b < 256 && b < chars.length; b++) {
    if (b === 127) continue;
    if (!map.has(chars[b])) map.set(chars[b], b);
  }
  return map;
}

// ISO-8859-1 until the gateway names the page: every byte shows as the character of its number.
export function latin1Glyphs() {
  let s = '';
  for (let b = 0; b < 256; b++) s += b < 32 || (b >= 127 && b < 160) ? '?' : String.fromCharCode(b);
  return s;
}

// Reads tokens with their time stamps (ms) and hands out keys and scans in the order they were typed.
// `out.key(token)` for a key, `out.scan(text)` for a scan; `timers` is {set(fn, ms), clear(id)} so that
// the tests can drive the clock.
export class ScanReader {
  constructor(out, timers) {
    this.out = out;
    this.timers = timers;
    this.settings({});
    this.reset();
  }

  settings({ prefix = '', suffix = '', burst_ms = 30, min_length = 4, timeout_ms = 150 }) {
    this.prefix = prefix;
    this.suffix = suffix;
    this.burstMs = burst_ms;
    this.minLength = min_length;
    this.timeoutMs = timeout_ms;
  }

  reset() {
    this.framed = null; // tokens since the prefix began, while a framed scan is read
    this.burst = []; // printable tokens that may still turn out to be a scan
    this.last = 0;
    this.cancelTimer();
  }

  cancelTimer() {
    if (this.timer !== undefined) this.timers.clear(this.timer);
    this.timer = undefined;
  }

  arm(ms, fn) {
    this.cancelTimer();
    this.timer = this.timers.set(() => {
      this.timer = undefined;
      fn();
    }, ms);
  }

  feed(token, now) {
    if (this.framed) return this.feedFramed(token, now);
    if (this.prefix && token.ch === this.prefix[0]) {
      this.flushBurst();
      this.framed = [];
      return this.feedFramed(token, now);
    }
    this.feedBurst(token, now);
  }

  // Inside the prefix, then the scan: the text after the prefix until the suffix (or, without a
  // suffix, until Enter or Tab). A gap longer than the time-out hands everything back as keys.
  feedFramed(token, now) {
    if (token.ch === undefined) return this.handBack(token, now);
    this.framed.push(token);
    const text = this.framed.map((t) => t.ch).join('');
    if (text.length <= this.prefix.length) {
      if (!this.prefix.startsWith(text)) return this.handBack(null, now);
      return this.arm(this.timeoutMs, () => this.handBack(null, now));
    }
    const body = text.slice(this.prefix.length);
    const end = this.suffix || (body.endsWith('\r') ? '\r' : '\t');
    if (body.endsWith(end)) {
      this.cancelTimer();
      this.framed = null;
      const data = body.slice(0, body.length - end.length);
      if (data) this.out.scan(data);
      return;
    }
    this.arm(this.timeoutMs, () => this.handBack(null, now));
  }

  handBack(extra, now) {
    const tokens = this.framed;
    this.framed = null;
    this.cancelTimer();
    // The first token was the prefix's beginning; the rest is read again, as typed.
    const [first, ...rest] = tokens;
    this.keyOf(first);
    for (const t of rest) this.feed(t, now);
    if (extra) this.feed(extra, now);
  }

  feedBurst(token, now) {
    const quick = this.burst.length > 0 && now - this.last <= this.burstMs;
    const printable = token.code === undefined && !token.control;
    if (printable && this.burstMs > 0 && this.minLength > 0) {
      if (!quick) this.flushBurst();
      this.burst.push(token);
      this.last = now;
      this.arm(this.burstMs + 5, () => this.flushBurst());
      return;
    }
    if ((token.ch === '\r' || token.ch === '\t') && quick && this.burst.length >= this.minLength) {
      const text = this.burst.map((t) => t.ch).join('');
      this.burst = [];
      this.cancelTimer();
      this.out.scan(text);
      return;
    }
    this.flushBurst();
    this.keyOf(token);
  }

  // Typed faster than a person and not ended as a scan: keys after all.
  flushBurst() {
    this.cancelTimer();
    const tokens = this.burst;
    this.burst = [];
    for (const t of tokens) this.keyOf(t);
  }

  keyOf(token) {
    if (token.control && token.code === undefined) return; // a lone control character means nothing
    this.out.key(token);
  }

  // A key from the on-screen row: whatever was typed before it goes first.
  button(code) {
    if (this.framed) this.handBack(null, 0);
    this.flushBurst();
    this.out.key({ code });
  }
}
