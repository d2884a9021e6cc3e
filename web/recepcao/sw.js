// The station page's service worker (docs/reception.md, "The page"): keeps
// the page's own files, so that a reload without network still opens it.
// The network first (the files carry an ETag; a new version of the page is
// taken as soon as the server answers), the kept copy when it cannot answer.
// The calls under api/ are never kept nor answered here: the page keeps its
// data in IndexedDB.
const CACHE = "recepcao-v1";
const BASE = new URL("./", self.location).pathname;
const ARQUIVOS = [
  "./",
  "recepcao.css",
  "app.js",
  "busca.js",
  "armazem.js",
  "manifest.webmanifest",
  "icone.svg",
];
const PRAZO = 4000; // ms: a network that hangs longer counts as none

self.addEventListener("install", (ev) => {
  ev.waitUntil(
    (async () => {
      const cache = await caches.open(CACHE);
      // One file missing does not keep the others out.
      await Promise.all(
        ARQUIVOS.map((a) =>
          cache.add(new Request(new URL(a, self.location), { cache: "no-cache" })).catch(() => {}),
        ),
      );
      await self.skipWaiting();
    })(),
  );
});

self.addEventListener("activate", (ev) => {
  ev.waitUntil(
    (async () => {
      for (const k of await caches.keys()) if (k !== CACHE) await caches.delete(k);
      await self.clients.claim();
    })(),
  );
});

function comPrazo(promessa, ms) {
  return new Promise((resolve, reject) => {
    const t = setTimeout(() => reject(new Error("prazo")), ms);
    promessa.then(
      (r) => {
        clearTimeout(t);
        resolve(r);
      },
      (e) => {
        clearTimeout(t);
        reject(e);
      },
    );
  });
}

async function responder(req, pagina) {
  const cache = await caches.open(CACHE);
  // The page is kept under one key ("/recepcao/"), whatever address opened it.
  const chave = pagina ? new URL(BASE, self.location).href : req;
  try {
    const r = await comPrazo(fetch(req), PRAZO);
    if (r.ok) await cache.put(chave, r.clone());
    return r;
  } catch (e) {
    const guardada = await cache.match(chave, { ignoreSearch: true });
    if (guardada) return guardada;
    throw e;
  }
}

self.addEventListener("fetch", (ev) => {
  const req = ev.request;
  if (req.method !== "GET") return;
  const url = new URL(req.url);
  if (url.origin !== self.location.origin) return;
  if (!url.pathname.startsWith(BASE) && url.pathname + "/" !== BASE) return;
  if (url.pathname.startsWith(BASE + "api/")) return;
  const pagina =
    req.mode === "navigate" ||
    url.pathname === BASE ||
    url.pathname + "/" === BASE ||
    url.pathname === BASE + "index.html";
  ev.respondWith(responder(req, pagina));
});
