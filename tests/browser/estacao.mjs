// What the browser tests share: the real evt07800-server on a free loopback
// port over a fresh demo database, the organiser's methods over HTTP, the
// database read with the sqlite3 shell, Debian's Chromium driven by
// Playwright, and a station page opened and used as its user does.
import { spawn, execFileSync } from "node:child_process";
import { existsSync, mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import assert from "node:assert/strict";

// The exit code CTest reads as "skipped" (SKIP_RETURN_CODE in CMakeLists.txt).
export const PULADO = 77;

// The servers started, stopped on a skip.
const abertos = new Set();

export function pular(motivo) {
  console.log(`SKIPPED: ${motivo}`);
  for (const s of abertos) {
    s.proc.kill("SIGTERM");
    rmSync(s.dir, { recursive: true, force: true });
  }
  process.exit(PULADO);
}

export const CHROMIUM = process.env.EVT_CHROMIUM || "/usr/bin/chromium";

// The 5,000-guest list of the demo data: names with accents ("Conceição"),
// parties of two, enough guests for 50 check-ins.
export const LISTA = ["0001", "0000005000", "01"];

// Generous: the waits end on a condition, never on time.
export const ESPERA = 30000;

export async function chromium() {
  if (!existsSync(CHROMIUM)) pular(`sem navegador: ${CHROMIUM} não existe (pacote chromium)`);
  let pw;
  try {
    pw = await import("playwright-core");
  } catch {
    pular("playwright-core não instalado (npm ci em tests/browser)");
  }
  const args = [];
  // As root (CI) Chromium refuses its sandbox.
  if (process.getuid && process.getuid() === 0) args.push("--no-sandbox");
  // Small /dev/shm in containers.
  args.push("--disable-dev-shm-usage");
  return pw.chromium.launch({ executablePath: CHROMIUM, headless: true, args });
}

// The server binary: EVT_SERVER, or the first argument.
function binario() {
  const bin = process.env.EVT_SERVER || process.argv[2];
  if (!bin || !existsSync(bin)) pular(`sem servidor: ${bin || "(EVT_SERVER não definido)"}`);
  return bin;
}

export class Servidor {
  // The server over a fresh demo database; `semear(db)`, when given, changes
  // the seeded database before the server that the caller uses starts.
  static async iniciar({ semear = null } = {}) {
    const dir = mkdtempSync(join(tmpdir(), "evt-browser-"));
    const db = join(dir, "evt.db");
    if (semear) {
      const primeiro = await Servidor._processo(dir, db);
      await primeiro.parar(false);
      semear(db);
    }
    const s = await Servidor._processo(dir, db);
    // A server built without the reception module has nothing to test here.
    const r = await fetch(`${s.url}/evt07800.rdmRecepcao`);
    if (r.status === 404) {
      await s.parar();
      pular("o servidor não hospeda evt07800.rdmRecepcao");
    }
    return s;
  }

  static async _processo(dir, db) {
    const s = new Servidor();
    s.dir = dir;
    s.db = db;
    s.linhas = [];
    s.proc = spawn(binario(), ["--port", "0", "--db", s.db, "--seed-demo"], {
      stdio: ["ignore", "ignore", "pipe"],
    });
    abertos.add(s);
    s.proc.once("exit", () => abertos.delete(s));
    s.url = await new Promise((resolve, reject) => {
      let resto = "";
      s.proc.stderr.setEncoding("utf8");
      s.proc.stderr.on("data", (d) => {
        resto += d;
        let i;
        while ((i = resto.indexOf("\n")) >= 0) {
          const linha = resto.slice(0, i);
          resto = resto.slice(i + 1);
          s.linhas.push(linha);
          const m = / ouvindo em (http:\/\/\S+)/.exec(linha);
          if (m) resolve(m[1]);
        }
      });
      s.proc.once("exit", (code) =>
        reject(new Error(`o servidor terminou (${code}):\n${s.linhas.join("\n")}`)),
      );
    });
    return s;
  }

  // An organiser's method (evt07800.rdmRecepcao); a refusal throws.
  async rdm(metodo, ...args) {
    const r = await fetch(`${this.url}/evt07800.rdmRecepcao/${metodo}`, {
      method: "POST",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify(args),
    });
    const d = await r.json();
    if (r.status !== 200 || (d && d.$error)) {
      throw new Error(`${metodo}: ${r.status} ${JSON.stringify(d)}`);
    }
    return d;
  }

  // The rows of a packet answer, as objects.
  async linhasDe(metodo, ...args) {
    const d = await this.rdm(metodo, ...args);
    const p = d.$packet || d;
    const nomes = p.fields.map((f) => f.name);
    return (p.rows || []).map((r) => {
      const vals = Array.isArray(r) ? r : r.values || r.data;
      return Object.fromEntries(nomes.map((n, i) => [n, vals[i]]));
    });
  }

  // A query of the database file, through the sqlite3 shell.
  sql(consulta) {
    const saida = execFileSync("sqlite3", ["-json", this.db, consulta], {
      encoding: "utf8",
      maxBuffer: 1 << 28,
    });
    return saida.trim() ? JSON.parse(saida) : [];
  }

  // A station of the list enrolled: its number and one-time code.
  async cadastrar(nome, lista = LISTA) {
    const [cd, codigo] = await this.rdm("SetEstacao", ...lista, nome);
    return { cd, codigo, nome };
  }

  async parar(apagar = true) {
    if (this.proc.exitCode === null) {
      const fim = new Promise((r) => this.proc.once("exit", r));
      this.proc.kill("SIGTERM");
      await fim;
    }
    if (apagar) rmSync(this.dir, { recursive: true, force: true });
  }
}

// A test file's server and browser, both closed when its tests end.
export async function cenario() {
  const { after } = await import("node:test");
  const srv = await Servidor.iniciar();
  const browser = await chromium();
  after(async () => {
    await browser.close();
    await srv.parar();
  });
  return { srv, browser };
}

// Guests of the list from the database: `where` over LISTACONVOREV.
export function convidados(srv, where, limite = 100, lista = LISTA) {
  return srv.sql(
    `SELECT NRLISTACONVOREV AS nr, NMLISTACONVOREV AS nome, QUANTIDADE AS quantidade, ` +
      `IDCONVPRESEOREV AS presenca FROM LISTACONVOREV WHERE CDFILIAL='${lista[0]}' ` +
      `AND NRORCAEVENTO='${lista[1]}' AND NRSEQORCAEVE='${lista[2]}' AND (${where}) ` +
      `ORDER BY NRLISTACONVOREV LIMIT ${limite}`,
  );
}

// A station's page: opened at the enrolment address, ready to search. Page
// errors fail the test that closes it (fecharEstacao).
export async function abrirEstacao(browser, srv, estacao, opcoes = {}) {
  const contexto = await browser.newContext({ viewport: { width: 820, height: 1180 }, ...opcoes });
  const pagina = await contexto.newPage();
  pagina.erros = [];
  pagina.on("pageerror", (e) => pagina.erros.push(e.message));
  await pagina.goto(`${srv.url}/recepcao#codigo=${estacao.codigo}`);
  await pronta(pagina);
  return pagina;
}

export async function pronta(pagina) {
  await pagina.waitForSelector('body[data-estado="pronta"]', { timeout: ESPERA });
}

// The copy of the list is kept in IndexedDB (the page is ready before).
export async function copiaSalva(pagina) {
  await pagina.waitForSelector('body[data-copia="salva"]', { timeout: ESPERA });
}

export function semErros(pagina) {
  assert.deepEqual(pagina.erros, [], "erros na página");
}

// What is typed in the search box, key by key.
export async function digitar(pagina, texto) {
  const busca = pagina.locator("#busca");
  await busca.fill("");
  await busca.pressSequentially(texto);
}

// The rows shown: number, name, "c de q".
export async function linhas(pagina) {
  return pagina.$$eval("#resultados button.convidado", (bs) =>
    bs.map((b) => ({
      nr: b.dataset.nr,
      nome: b.querySelector(".nome").textContent,
      chegada: b.querySelector(".chegada strong").textContent,
      marcas: [...b.querySelectorAll(".marca")].map((m) => m.textContent),
    })),
  );
}

// The row of one guest says `chegada` ("1 de 2"), waiting for it.
export async function esperarChegada(pagina, nr, chegada) {
  await pagina
    .locator(`#resultados button.convidado[data-nr="${nr}"] .chegada strong`)
    .filter({ hasText: new RegExp(`^${chegada}$`) })
    .waitFor({ timeout: ESPERA });
}

// A tap on a guest's row; for a party, `pessoas` arrived now (null: the
// page's default, the rest).
export async function tocar(pagina, nr, pessoas = null) {
  await pagina.click(`#resultados button.convidado[data-nr="${nr}"]`);
  const dialogo = pagina.locator("#dlg-quantos");
  if (await dialogo.evaluate((d) => d.open)) {
    if (pessoas !== null) await pagina.fill("#quantos-n", String(pessoas));
    await pagina.click("#quantos-ok");
  }
}

// Every call the station queued was answered.
export async function filaVazia(pagina) {
  await pagina.waitForSelector('body[data-fila="0"]', { timeout: ESPERA });
}

// A user's action that makes `n` calls to the server: done once the server
// answered them and nothing waits in the queue.
export async function respondida(pagina, acao, n = 1) {
  const antes = Number((await pagina.getAttribute("body", "data-respondidas")) || 0);
  await acao();
  await pagina.waitForFunction(
    ([a, n]) =>
      Number(document.body.dataset.respondidas || 0) >= a + n && document.body.dataset.fila === "0",
    [antes, n],
    { timeout: ESPERA },
  );
}

export async function fecharEstacao(pagina) {
  semErros(pagina);
  await pagina.context().close();
}
