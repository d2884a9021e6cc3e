// The reception station in Chromium against the real server (./dev bench
// runs it after the bench_* binaries):
//   node bench/recepcao.mjs <evt07800-server> [OUT.json]
// - search per keystroke (search, rows drawn and laid out) on the demo's
//   5,000-guest list and on a 99,998-guest list made from it, p95;
// - the page ready from a cold cache (new browser profile, no service
//   worker, nothing in IndexedDB) with the 5,000-guest list, median;
// - check-in round trip (tap to the server's confirmation), median and p95;
// - a check-in on one station seen on another (tap to the other page's row
//   showing it), p99.
// The figures go to OUT.json (out/bench/bench_recepcao.json) in the form the
// bench_* binaries write (Google Benchmark's JSON), which bench/ratios.sh
// reads; each figure is also printed.
import { writeFileSync, mkdirSync } from "node:fs";
import { dirname, resolve } from "node:path";
import { execFileSync } from "node:child_process";
import {
  Servidor,
  LISTA,
  chromium,
  convidados,
  abrirEstacao,
  digitar,
  esperarChegada,
} from "../tests/browser/estacao.mjs";

const saida = resolve(process.argv[3] || "out/bench/bench_recepcao.json");
const GRANDE = ["0001", "0000005000", "03"];

// The demo's 5,000-guest list twenty times over, 99,998 guests, as a third
// sequence of the same budget: the copies' names take one more surname.
function listaGrande(db) {
  const sobrenomes = [
    "",
    "Neto",
    "Filho",
    "Júnior",
    "Sobrinho",
    "Prado",
    "Queiroz",
    "Bezerra",
    "Cavalcanti",
    "Pacheco",
    "Sampaio",
    "Tavares",
    "Valente",
    "Xavier",
    "Quintela",
    "Bittencourt",
    "Fontes",
    "Guerra",
    "Leal",
    "Monteiro",
  ];
  const chave = (s) => s.normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase();
  const k = sobrenomes.map((s, i) => `SELECT ${i} AS n, '${s}' AS s, '${chave(s)}' AS c`).join(" UNION ALL ");
  const sql = `
    INSERT INTO ORCAEVENTOSEQ (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, QTCONVORCEVE, IDRESULT)
      VALUES ('${GRANDE[0]}', '${GRANDE[1]}', '${GRANDE[2]}', 99998, 'N');
    INSERT INTO LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV,
      IDTPTRATCONVESPEC, CDCLIENTELISTCONV, NRINSJURCLILISCONV, NMLISTACONVOREV, NRRGLISTAOREV,
      IDCONVPRESEOREV, IDCONDICAOCONVEV, NRTELCONVEVEN, NRCELCONVEVEN, DSEMAILCONVEVEN,
      IDTIPOCONVEVEN, IDEXIBECONVCONTRAT, NRORDEMEXIBCONTRAT, QUANTIDADE, NMCHAVE, RGCHAVE,
      INSCCHAVE, ORDEMCHAVE)
    SELECT g.CDFILIAL, g.NRORCAEVENTO, '${GRANDE[2]}',
      printf('%05d', k.n * 5000 + CAST(g.NRLISTACONVOREV AS INTEGER)),
      g.IDTPTRATCONVESPEC, CASE k.n WHEN 0 THEN g.CDCLIENTELISTCONV ELSE '*' END,
      CASE k.n WHEN 0 THEN g.NRINSJURCLILISCONV ELSE '*' END,
      CASE k.n WHEN 0 THEN g.NMLISTACONVOREV ELSE g.NMLISTACONVOREV || ' ' || k.s END,
      CASE k.n WHEN 0 THEN g.NRRGLISTAOREV ELSE '*' END,
      g.IDCONVPRESEOREV, g.IDCONDICAOCONVEV, g.NRTELCONVEVEN, g.NRCELCONVEVEN, g.DSEMAILCONVEVEN,
      g.IDTIPOCONVEVEN, g.IDEXIBECONVCONTRAT, CASE k.n WHEN 0 THEN g.NRORDEMEXIBCONTRAT ELSE '*' END,
      g.QUANTIDADE,
      CASE k.n WHEN 0 THEN g.NMCHAVE ELSE g.NMCHAVE || ' ' || k.c END,
      CASE k.n WHEN 0 THEN g.RGCHAVE END, CASE k.n WHEN 0 THEN g.INSCCHAVE END,
      CASE k.n WHEN 0 THEN g.ORDEMCHAVE END
    FROM LISTACONVOREV g, (${k}) k
    WHERE g.CDFILIAL = '${LISTA[0]}' AND g.NRORCAEVENTO = '${LISTA[1]}' AND g.NRSEQORCAEVE = '${LISTA[2]}'
      AND k.n * 5000 + CAST(g.NRLISTACONVOREV AS INTEGER) <= 99998;`;
  execFileSync("sqlite3", [db], { input: sql });
}

function quantil(v, q) {
  const s = [...v].sort((a, b) => a - b);
  return s[Math.min(s.length - 1, Math.ceil(q * s.length) - 1)];
}
const mediana = (v) => quantil(v, 0.5);

const figuras = [];
function figura(nome, ms, extra = {}) {
  figuras.push({
    name: nome,
    run_name: nome,
    run_type: "iteration",
    repetitions: 1,
    iterations: 1,
    real_time: ms,
    cpu_time: ms,
    time_unit: "ms",
    ...extra,
  });
  console.log(`${nome}: ${ms.toFixed(2)} ms`);
}

// What a user types at the door, key by key: names, parts of names, digits.
const CONSULTAS = ["conceicao", "maria silva", "joao", "ana souza", "gonc", "5121", "araujo lima", "fe"];

// Each keystroke through the page's own input handler (search, rows drawn),
// with the layout it causes, in the page's clock.
async function teclas(pagina) {
  return pagina.evaluate((consultas) => {
    const busca = document.getElementById("busca");
    const tempos = [];
    // The first round warms the page up (compiled code, styles); five more
    // are measured.
    for (let volta = 0; volta < 6; volta++) {
      for (const c of consultas) {
        busca.value = "";
        busca.dispatchEvent(new Event("input"));
        for (let i = 1; i <= c.length; i++) {
          busca.value = c.slice(0, i);
          const t0 = performance.now();
          busca.dispatchEvent(new Event("input"));
          void document.getElementById("resultados").offsetHeight;
          if (volta > 0) tempos.push(performance.now() - t0);
        }
      }
    }
    return tempos;
  }, CONSULTAS);
}

// From a new profile: navigation to the page ready to search.
async function prontaFria(browser, srv) {
  const estacao = await srv.cadastrar(`Fria ${figuras.length}-${Math.random().toString(36).slice(2, 8)}`);
  const contexto = await browser.newContext({ viewport: { width: 820, height: 1180 } });
  const p = await contexto.newPage();
  await p.goto(`${srv.url}/recepcao#codigo=${estacao.codigo}`);
  await p.waitForSelector('body[data-estado="pronta"]', { timeout: 120000 });
  const ms = await p.evaluate(() => performance.getEntriesByName("recepcao-pronta")[0].startTime);
  return { ms, p };
}

const srv = await Servidor.iniciar({ semear: listaGrande });
const browser = await chromium();
try {
  await srv.rdm("SetRecepcao", ...LISTA, "S");
  await srv.rdm("SetRecepcao", ...GRANDE, "S");

  // Ready from a cold cache, 5,000 guests (the first one warms the server).
  const frias = [];
  for (let i = 0; i < 6; i++) {
    const { ms, p } = await prontaFria(browser, srv);
    if (i > 0) frias.push(ms);
    await p.context().close();
  }
  figura("BM_RecepcaoProntaFria/guests:5000", mediana(frias));

  // Search per keystroke, 5,000 guests.
  const a = await abrirEstacao(browser, srv, await srv.cadastrar("Bancada A"));
  const t5 = await teclas(a);
  figura("BM_RecepcaoTecla_p95/guests:5000", quantil(t5, 0.95), { median_ms: mediana(t5), keys: t5.length });

  // Check-in round trip, and its sight on another station.
  const b = await abrirEstacao(browser, srv, await srv.cadastrar("Bancada B"));
  const alvos = convidados(srv, "QUANTIDADE = 1", 60);
  const idas = [];
  const vistas = [];
  for (const g of alvos) {
    await digitar(a, g.nome);
    await digitar(b, g.nome);
    await esperarChegada(b, g.nr, "0 de 1");
    // The other page notes when the row changes, in wall-clock time.
    await b.evaluate((nr) => {
      window.__visto = new Promise((resolve) => {
        const obs = new MutationObserver(() => {
          const s = document.querySelector(`#resultados button.convidado[data-nr="${nr}"] .chegada strong`);
          if (s && s.textContent.startsWith("1 ")) {
            obs.disconnect();
            resolve(Date.now());
          }
        });
        obs.observe(document.getElementById("resultados"), { childList: true, subtree: true, characterData: true });
      });
    }, g.nr);
    const [inicio, fim] = await a.evaluate(
      (nr) =>
        new Promise((resolve) => {
          const t0 = performance.now();
          const w0 = Date.now();
          let viu = false;
          const obs = new MutationObserver(() => {
            const f = document.body.dataset.fila;
            if (f !== "0") viu = true;
            else if (viu) {
              obs.disconnect();
              resolve([w0, performance.now() - t0]);
            }
          });
          obs.observe(document.body, { attributes: true, attributeFilter: ["data-fila"] });
          document.querySelector(`#resultados button.convidado[data-nr="${nr}"]`).click();
        }),
      g.nr,
    );
    idas.push(fim);
    vistas.push((await b.evaluate(() => window.__visto)) - inicio);
  }
  figura("BM_RecepcaoEntrada/median", mediana(idas), { p95_ms: quantil(idas, 0.95) });
  figura("BM_RecepcaoEntrada_p95", quantil(idas, 0.95));
  figura("BM_RecepcaoVistaNaOutra_p99", quantil(vistas, 0.99), { median_ms: mediana(vistas) });
  await a.context().close();
  await b.context().close();

  // 99,998 guests: ready (cold), then search per keystroke.
  const grande = await srv.cadastrar("Bancada Grande", GRANDE);
  const contexto = await browser.newContext({ viewport: { width: 820, height: 1180 } });
  const g = await contexto.newPage();
  await g.goto(`${srv.url}/recepcao#codigo=${grande.codigo}`);
  await g.waitForSelector('body[data-estado="pronta"]', { timeout: 300000 });
  figura(
    "BM_RecepcaoProntaFria/guests:99998",
    await g.evaluate(() => performance.getEntriesByName("recepcao-pronta")[0].startTime),
  );
  const t100 = await teclas(g);
  figura("BM_RecepcaoTecla_p95/guests:99998", quantil(t100, 0.95), {
    median_ms: mediana(t100),
    keys: t100.length,
  });
  await contexto.close();
} finally {
  await browser.close();
  await srv.parar();
}

mkdirSync(dirname(saida), { recursive: true });
writeFileSync(
  saida,
  JSON.stringify({ context: { date: new Date().toISOString(), executable: "bench/recepcao.mjs" }, benchmarks: figuras }, null, 2),
);
