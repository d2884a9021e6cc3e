// Ten doors at once: 10 stations each checking in one person 10 times a
// second for 60 s (EVT_CARGA_SEGUNDOS changes the length) on the 5,000-guest
// list, through the station's calls, against the real server. Guests are
// drawn at random, so parties fill up and later check-ins for them are
// refused. At the end every count must be exact: what the server counts,
// what the check-in table holds and what the stations were told was taken.
//
//   node bench/recepcao_carga.mjs <evt07800-server> [saída.json]
import { writeFileSync, mkdirSync } from "node:fs";
import { dirname } from "node:path";
import { Servidor, LISTA, convidados } from "../tests/browser/estacao.mjs";

const ESTACOES = 10;
const POR_SEGUNDO = 10;
const SEGUNDOS = Number(process.env.EVT_CARGA_SEGUNDOS || 60);
const saida = process.argv[3] || "out/bench/bench_recepcao_carga.json";

const srv = await Servidor.iniciar();
const tempos = [];
let aceitas = 0;
let recusadas = 0;
let falhas = 0;
try {
  await srv.rdm("SetRecepcao", ...LISTA, "S");
  const lista = convidados(srv, "1=1", 10000);
  const estacoes = [];
  for (let i = 1; i <= ESTACOES; ++i) {
    const { codigo } = await srv.cadastrar(`Portaria ${i}`);
    const r = await fetch(`${srv.url}/recepcao/api/entrar`, {
      method: "POST",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify({ codigo }),
    });
    estacoes.push((await r.json()).token);
  }

  const entrada = async (token, n) => {
    const g = lista[Math.floor(Math.random() * lista.length)];
    const t0 = performance.now();
    const r = await fetch(`${srv.url}/recepcao/api/entrada`, {
      method: "POST",
      headers: { "Content-Type": "application/json", Authorization: `Bearer ${token}` },
      body: JSON.stringify({ id: `carga-${n}`, nr: g.nr, pessoas: 1, quando: new Date().toISOString() }),
    });
    const d = await r.json();
    tempos.push(performance.now() - t0);
    if (d.ok) ++aceitas;
    else if (r.status === 409) ++recusadas;
    else ++falhas;
  };

  const fim = Date.now() + SEGUNDOS * 1000;
  await Promise.all(
    estacoes.map(async (token, e) => {
      const pendentes = [];
      for (let n = 0; Date.now() < fim; ++n) {
        const proxima = Date.now() + 1000 / POR_SEGUNDO;
        pendentes.push(entrada(token, `${e}-${n}`));
        await new Promise((r) => setTimeout(r, Math.max(0, proxima - Date.now())));
      }
      await Promise.all(pendentes);
    }),
  );
} finally {
  await srv.parar(false);
}

// The counts, read after the server stopped.
const onde = `CDFILIAL='${LISTA[0]}' AND NRORCAEVENTO='${LISTA[1]}' AND NRSEQORCAEVE='${LISTA[2]}'`;
const [tabela] = srv.sql(
  `SELECT COUNT(*) AS linhas, COALESCE(SUM(QTPESSOAS), 0) AS pessoas FROM RECEPENTRADA ` +
    `WHERE ${onde} AND IDTIPO = 'E' AND IDDESFEITA = 'N'`,
);
const [alem] = srv.sql(
  `SELECT COUNT(*) AS n FROM (SELECT L.NRLISTACONVOREV, MAX(1, COALESCE(L.QUANTIDADE, 1)) AS q, ` +
    `SUM(E.QTPESSOAS) AS chegaram FROM LISTACONVOREV L JOIN RECEPENTRADA E USING ` +
    `(CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV) WHERE L.${onde.replaceAll(" AND ", " AND L.")} ` +
    `AND E.IDTIPO = 'E' AND E.IDDESFEITA = 'N' GROUP BY L.NRLISTACONVOREV HAVING chegaram > q)`,
);
srv.parar();
tempos.sort((a, b) => a - b);
const q = (p) => tempos[Math.min(tempos.length - 1, Math.floor(p * tempos.length))];
const exato = tabela.linhas === aceitas && tabela.pessoas === aceitas && alem.n === 0 && falhas === 0;
const figura = {
  name: "BM_RecepcaoCarga",
  run_type: "iteration",
  seconds: SEGUNDOS,
  sent: tempos.length,
  taken: aceitas,
  refused_full: recusadas,
  failed: falhas,
  table_rows: tabela.linhas,
  table_people: tabela.pessoas,
  guests_over_their_count: alem.n,
  exact: exato,
  median_ms: q(0.5),
  p95_ms: q(0.95),
  p99_ms: q(0.99),
};
// bench/ratios.sh shows the p99 as the figure, only when every count was exact.
if (exato) Object.assign(figura, { real_time: q(0.99), time_unit: "ms" });
else Object.assign(figura, { error_occurred: true, error_message: "counts not exact" });
console.log(JSON.stringify(figura));
mkdirSync(dirname(saida), { recursive: true });
writeFileSync(saida, JSON.stringify({ benchmarks: [figura] }, null, 2));
process.exit(exato ? 0 : 1);
