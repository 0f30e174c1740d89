// Keeps the page's files so the page opens without a network once it has been loaded: each request is
// answered from the cache at once and the cache refreshed from the network behind it. The WebSocket
// is not a fetch and never passes through here.
const CACHE = 'vekpanel-page-1';
const FILES = ['./', 'index.html', 'style.css', 'app.js', 'keys.js', 'screen.js'];

self.addEventListener('install', (e) => {
  e.waitUntil(caches.open(CACHE).then((c) => c.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (e) => {
  e.waitUntil(
    caches
      .keys()
      .then((keys) => Promise.all(keys.filter((k) => k !== CACHE).map((k) => caches.delete(k))))
      .then(() => self.clients.claim()),
  );
});

self.addEventListener('fetch', (e) => {
  const url = new URL(e.request.url);
  if (e.request.method !== 'GET' || url.origin !== location.origin) return;
  // The gateway's other paths (metrics, the session) are not the page's.
  const key = url.pathname.endsWith('/') ? './' : url.pathname.slice(url.pathname.lastIndexOf('/') + 1);
  if (!FILES.includes(key)) return;
  e.respondWith(
    caches.open(CACHE).then(async (cache) => {
      const cached = await cache.match(e.request, { ignoreSearch: true });
      const fresh = fetch(e.request)
        .then((response) => {
          if (response.ok) cache.put(url.origin + url.pathname, response.clone());
          return response;
        })
        .catch(() => cached);
      return cached || fresh;
    }),
  );
});
