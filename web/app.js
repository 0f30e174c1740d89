// The handheld's page: one session of the gateway, kept across dropped connections and reloads.
//
// Every key and scan carries a sequence number and stays in a queue (saved in localStorage with the
// session token) until the gateway acknowledges it; after a reconnect the queue is sent again in order
// and the gateway applies each number once. The screen, the code page and the scan settings are saved
// too, so a reload shows the panel at once, even before the connection is back.

import { KEY, ScanReader, latin1Glyphs, reverseGlyphs, tokenOf } from './keys.js';
import { Screen } from './screen.js';

const store = {
  get: (k) => localStorage.getItem('vek.' + k),
  set: (k, v) => localStorage.setItem('vek.' + k, v),
  del: (k) => localStorage.removeItem('vek.' + k),
};

const $ = (id) => document.getElementById(id);
const screen = new Screen($('screen'));
const statusText = $('state');
const led = $('led');

let socket = null;
let state = 'idle'; // connecting, connected, reconnecting, ended, refused
let backoff = 0;
let retryTimer;
let watchdog;
let glyphs = store.get('glyphs') || latin1Glyphs();
let bytes = reverseGlyphs(glyphs);
let seq = Number(store.get('seq') || 0);
let pending = JSON.parse(store.get('pending') || '[]'); // [{seq, frame, sent}]
let refusal; // the reason of a refusal whose close has not come yet
const RETRY_CODES = [1001, 1011, 1012, 1013, 1014]; // going away, server error, restart, try again later

// ---- Status line, LED and beep --------------------------------------------------------------------

function setState(next, detail) {
  state = next;
  document.body.dataset.state = next;
  const words = {
    idle: 'not connected',
    connecting: 'connecting',
    connected: 'connected',
    reconnecting: 'reconnecting',
    ended: 'ended',
    refused: 'refused',
  };
  statusText.textContent = words[next] + (detail ? ': ' + detail : '');
  $('again').hidden = next !== 'ended';
}

let audio;
function beep(tone, ms) {
  try {
    audio = audio || new AudioContext();
    // Small tone numbers are the module's pitch steps; larger ones are taken as hertz.
    const hz = tone >= 100 ? Math.min(tone, 8000) : 800 + 400 * Math.max(0, tone);
    const seconds = Math.min(Math.max(ms || 150, 40), 2000) / 1000;
    const osc = audio.createOscillator();
    const gain = audio.createGain();
    osc.type = 'square';
    osc.frequency.value = hz;
    gain.gain.value = 0.15;
    osc.connect(gain).connect(audio.destination);
    osc.start();
    osc.stop(audio.currentTime + seconds);
  } catch {
    // No audio on this browser: the beep is silent.
  }
  document.body.classList.add('beeped');
  setTimeout(() => document.body.classList.remove('beeped'), 150);
}

let ledTimer;
function setLed(on, ms) {
  clearTimeout(ledTimer);
  led.classList.toggle('on', on);
  if (on && ms > 0) ledTimer = setTimeout(() => led.classList.remove('on'), ms);
}

// ---- Keys and scans ---------------------------------------------------------------------------------

function savePending() {
  store.set('seq', String(seq));
  store.set('pending', JSON.stringify(pending.map(({ seq: s, frame }) => ({ seq: s, frame }))));
}

function queue(fields) {
  seq += 1;
  const frame = 't=' + fields.t + '&seq=' + seq + fields.rest;
  const item = { seq, frame };
  pending.push(item);
  savePending();
  if (state === 'connected') send(item);
}

function send(item) {
  socket.send(item.frame);
  item.sent = performance.now();
  armWatchdog();
}

function acknowledge(ack) {
  if (typeof ack !== 'number') return;
  const before = pending.length;
  pending = pending.filter((p) => p.seq > ack);
  if (pending.length !== before) savePending();
  armWatchdog();
}

// A key or scan that sees no acknowledgement for a while may sit in a connection that died without
// closing (a handheld that left the access point), or wait for a module that is busy. The latest one
// is sent again: the gateway acknowledges a number it has applied at once. When not even that brings
// an answer, the connection is dropped and made again.
const ACK_TIMEOUT_MS = 5000;
let probing = false;
function armWatchdog() {
  clearTimeout(watchdog);
  const sent = pending.filter((p) => p.sent !== undefined);
  if (state !== 'connected' || !sent.length) return;
  const wait = Math.max(0, sent[0].sent + ACK_TIMEOUT_MS - performance.now());
  watchdog = setTimeout(() => {
    if (probing) return abandon();
    probing = true;
    const now = performance.now();
    for (const p of sent) p.sent = now;
    socket.send(sent[sent.length - 1].frame);
    armWatchdog();
  }, wait);
}

// Every byte that is not an ASCII letter or digit is written %XX, so bytes 128..255 survive.
function encodeBytes(list) {
  return list
    .map((b) => (/[A-Za-z0-9]/.test(String.fromCharCode(b)) ? String.fromCharCode(b) : '%' + b.toString(16).toUpperCase().padStart(2, '0')))
    .join('');
}

const reader = new ScanReader(
  {
    key(token) {
      let code = token.code;
      if (code === undefined) {
        code = bytes.get(token.ch);
        if (code === undefined) return beep(2, 30); // the code page has no byte for it
      }
      queue({ t: 'key', rest: '&code=' + code });
    },
    scan(text) {
      const list = [];
      for (const ch of text) {
        const b = bytes.get(ch);
        if (b === undefined) return beep(2, 30);
        list.push(b);
      }
      queue({ t: 'scan', rest: '&type=1&data=' + encodeBytes(list) });
    },
  },
  { set: (fn, ms) => setTimeout(fn, ms), clear: (id) => clearTimeout(id) },
);
try {
  reader.settings(JSON.parse(store.get('scan') || '{}'));
} catch {
  // The defaults until the gateway sends its settings.
}

// Keys go to a session only: not into the login form, nor after the session ended.
function loggedIn() {
  return !$('login').open && state !== 'refused' && state !== 'ended';
}

document.addEventListener('keydown', (e) => {
  if (!loggedIn() || e.isComposing) return;
  if (e.key === 'Unidentified' || e.key === 'Process') return; // a soft keyboard: see beforeinput
  const token = tokenOf(e);
  if (!token) return;
  e.preventDefault();
  reader.feed(token, e.timeStamp);
});

// Soft keyboards on phones report characters through input events rather than keydown.
const typing = $('typing');
typing.addEventListener('beforeinput', (e) => {
  if (!loggedIn()) return;
  if (e.inputType === 'insertText' && e.data) for (const ch of e.data) reader.feed({ ch }, e.timeStamp);
  else if (e.inputType === 'insertLineBreak' || e.inputType === 'insertParagraph') reader.feed({ code: KEY.Enter, ch: '\r' }, e.timeStamp);
  else if (e.inputType === 'deleteContentBackward') reader.feed({ code: KEY.Backspace }, e.timeStamp);
  e.preventDefault();
});
typing.addEventListener('input', () => (typing.value = ''));
$('screen').addEventListener('click', () => typing.focus({ preventScroll: true }));

for (const button of document.querySelectorAll('#keys button')) {
  // The buttons never take the focus, so a phone's keyboard stays up.
  button.addEventListener('pointerdown', (e) => e.preventDefault());
  button.addEventListener('click', () => {
    if (loggedIn()) reader.button(KEY[button.dataset.key]);
  });
}

// ---- The connection ---------------------------------------------------------------------------------

function connect() {
  clearTimeout(retryTimer);
  if (socket || state === 'ended' || state === 'refused') return;
  const terminal = store.get('terminal');
  if (!terminal) return showLogin();
  setState(state === 'idle' || state === 'connecting' ? 'connecting' : 'reconnecting');
  const url = (location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/session';
  const ws = new WebSocket(url);
  socket = ws;
  refusal = undefined;
  probing = false;
  ws.onopen = () => {
    const hello = new URLSearchParams({ t: 'hello', terminal });
    if (store.get('token')) hello.set('token', store.get('token'));
    else hello.set('password', store.get('password') || '');
    if (store.get('session')) {
      hello.set('session', store.get('session'));
      hello.set('seen', store.get('ack') || '0');
    }
    ws.send(hello.toString());
  };
  ws.onmessage = (e) => {
    if (socket !== ws) return;
    probing = false; // the connection lives
    let m;
    try {
      m = JSON.parse(e.data);
    } catch {
      return;
    }
    receive(m);
  };
  ws.onclose = (e) => closed(ws, e.code);
}

// The connection `ws` is over (`code` its close code; none when the page gave it up itself).
function closed(ws, code) {
  if (socket !== ws) return;
  socket = null;
  clearTimeout(watchdog);
  for (const p of pending) delete p.sent;
  if (state === 'ended' || state === 'refused') return;
  // A refusal that may pass (the gateway stopping or full, a session that failed to start) is tried
  // again like a dropped connection; one about the login itself waits for the operator.
  if (refusal !== undefined && !RETRY_CODES.includes(code)) {
    setState('refused', refusal);
    showLogin(refusal);
    return;
  }
  setState('reconnecting', refusal);
  refusal = undefined;
  // 0.25 s, doubling up to 8 s, with some spread so that a fleet does not come back in step.
  const delay = Math.min(8000, 250 * 2 ** backoff) * (0.8 + 0.4 * Math.random());
  backoff = Math.min(backoff + 1, 6);
  retryTimer = setTimeout(connect, navigator.onLine === false ? Math.max(delay, 2000) : delay);
}

// Gives up the current connection at once: a socket whose network is gone may take a minute to
// report its close, which the page does not wait for.
function abandon() {
  const ws = socket;
  if (!ws) return;
  closed(ws);
  ws.close();
}

function receive(m) {
  switch (m.t) {
    case 'welcome': {
      const known = store.get('session');
      if (!m.resumed && known) {
        // The old session is gone: what was typed for it means nothing to the new one.
        pending = [];
        seq = 0;
      }
      if (!m.resumed && !known) {
        // Keys typed before the first welcome belong to this session: number them from 1.
        pending.forEach((p, i) => (p.frame = p.frame.replace(/&seq=\d+/, '&seq=' + (i + 1))));
        pending.forEach((p, i) => (p.seq = i + 1));
        seq = pending.length;
      }
      store.set('session', m.session);
      store.set('terminal', m.terminal || store.get('terminal'));
      if (typeof m.glyphs === 'string' && Array.from(m.glyphs).length === 256) {
        glyphs = m.glyphs;
        bytes = reverseGlyphs(glyphs);
        store.set('glyphs', glyphs);
      }
      if (m.scan) {
        reader.settings(m.scan);
        store.set('scan', JSON.stringify(m.scan));
      }
      backoff = 0;
      setState('connected');
      $('terminal').textContent = m.terminal || '';
      acknowledge(m.ack);
      savePending();
      for (const p of pending) send(p);
      break;
    }
    case 'screen':
      screen.update(m.runs, m.cursor);
      store.set('screen', screen.save());
      if (typeof m.ack === 'number') store.set('ack', String(m.ack));
      acknowledge(m.ack);
      break;
    case 'beep':
      beep(m.tone, m.ms);
      break;
    case 'led':
      setLed(!!m.on, m.ms);
      break;
    case 'end':
      forgetSession();
      setState('ended', m.reason);
      if (socket) socket.close();
      break;
    case 'refused':
      refusal = m.reason || 'refused'; // what follows depends on the close code that comes next
      break;
  }
}

function forgetSession() {
  for (const k of ['session', 'seq', 'pending', 'ack', 'screen']) store.del(k);
  pending = [];
  seq = 0;
  reader.reset();
}

// A handheld that finds its network again reconnects at once instead of waiting out its back-off; one
// that loses it drops a connection that may never report its end.
window.addEventListener('online', () => {
  if (state === 'reconnecting' && !socket) {
    backoff = 0;
    connect();
  }
});
window.addEventListener('offline', abandon);
document.addEventListener('visibilitychange', () => {
  if (document.visibilityState === 'visible' && state === 'reconnecting' && !socket) connect();
});

$('again').addEventListener('click', () => {
  screen.clear();
  setState('connecting');
  connect();
});

// ---- Credentials ------------------------------------------------------------------------------------

function showLogin(reason) {
  const dialog = $('login');
  const form = $('login-form');
  form.terminal.value = store.get('terminal') || '';
  form.secret.value = store.get('token') || store.get('password') || '';
  form.kind.value = store.get('password') && !store.get('token') ? 'password' : 'token';
  $('login-reason').textContent = reason || '';
  if (!dialog.open) dialog.show();
  form.terminal.focus();
}

function useCredentials(terminal, kind, secret) {
  if (terminal !== store.get('terminal')) forgetSession();
  store.set('terminal', terminal);
  store.del('token');
  store.del('password');
  store.set(kind, secret);
}

$('login-form').addEventListener('submit', (e) => {
  const form = $('login-form');
  const terminal = form.terminal.value.trim();
  if (!terminal) return e.preventDefault();
  useCredentials(terminal, form.kind.value, form.secret.value);
  setState('connecting');
  connect();
});

$('logout').addEventListener('click', () => {
  if (socket) {
    state = 'refused'; // no reconnect
    socket.close();
    socket = null;
  }
  showLogin();
});

// ?terminal=H01&token=... (or &password=...) sets the credentials; they leave the address bar at once.
const params = new URLSearchParams(location.search);
if (params.get('terminal')) {
  useCredentials(params.get('terminal'), params.has('password') ? 'password' : 'token', params.get('password') || params.get('token') || '');
  history.replaceState(null, '', location.pathname);
}

function layout() {
  const main = $('panel');
  const style = getComputedStyle(main);
  screen.fit(main.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight));
}
window.addEventListener('resize', layout);
layout();
if (document.fonts) document.fonts.ready.then(layout); // measured again with the font in use
if (store.get('screen')) screen.restore(store.get('screen'));
setState('idle');
connect();

if ('serviceWorker' in navigator && window.isSecureContext) {
  navigator.serviceWorker.register('sw.js').catch(() => {
    // Without the worker the page still runs; it only needs the network to load.
  });
}
