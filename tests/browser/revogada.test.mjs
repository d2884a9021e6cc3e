// A station the organiser revoked: its next call is refused, and the page
// wipes its token, its copy of the list and its queue, and says so.
import { test } from "node:test";
import assert from "node:assert/strict";
import { cenario, LISTA, convidados, abrirEstacao, copiaSalva, pronta, digitar, fecharEstacao } from "./estacao.mjs";

const { srv, browser } = await cenario();

// What the page keeps in IndexedDB: records per store.
const guardado = (p) =>
  p.evaluate(
    () =>
      new Promise((resolve, reject) => {
        const req = indexedDB.open("recepcao");
        req.onerror = () => reject(req.error);
        req.onsuccess = async () => {
          const db = req.result;
          const n = {};
          for (const loja of db.objectStoreNames) {
            n[loja] = await new Promise((r) => {
              const c = db.transaction(loja).objectStore(loja).count();
              c.onsuccess = () => r(c.result);
            });
          }
          db.close();
          resolve(n);
        };
      }),
  );

test("estação revogada: chamada recusada, cópia da lista apagada", async () => {
  await srv.rdm("SetRecepcao", ...LISTA, "S");
  const estacao = await srv.cadastrar("Portaria 3");
  const p = await abrirEstacao(browser, srv, estacao);
  await copiaSalva(p);
  const antes = await guardado(p);
  assert.ok(antes.convidados >= 5000, JSON.stringify(antes));
  assert.equal(antes.estado > 0, true);

  await srv.rdm("SetRevogaEstacao", estacao.cd);
  const [g] = convidados(srv, "QUANTIDADE = 1", 1);
  // A check-in is a call the server refuses (unless the change feed heard it
  // first and the page is already wiped: then the tap finds nothing).
  await digitar(p, g.nome);
  await p.click(`#resultados button.convidado[data-nr="${g.nr}"]`, { timeout: 5000 }).catch(() => {});
  await p.waitForSelector('body[data-estado="desautorizada"]');
  assert.equal(await p.textContent("#entrar-titulo"), "Estação não autorizada");
  assert.deepEqual(await guardado(p), { convidados: 0, estado: 0, fila: 0 });
  assert.equal(srv.sql("SELECT COUNT(*) AS n FROM RECEPENTRADA")[0].n, 0);
  // Reloaded, it stays out and holds nothing.
  await p.reload();
  await p.waitForSelector("#tela-entrar:not([hidden])");
  assert.equal(await p.$$eval("#resultados button", (b) => b.length), 0);
  const [e] = await srv.linhasDe("GetEstacoes", ...LISTA);
  assert.equal(e.IDSITUACAO, "R");

  // A code typed by hand: the spent one is refused, a new one makes the
  // device a station again.
  await p.fill("#entrar-codigo", estacao.codigo);
  await p.click("#entrar-ok");
  await p.locator("#entrar-erro", { hasText: "Código inválido" }).waitFor();
  const nova = await srv.cadastrar("Portaria 3B");
  await p.fill("#entrar-codigo", nova.codigo.toLowerCase());
  await p.click("#entrar-ok");
  await pronta(p);
  assert.equal(await p.textContent("#estacao"), "Portaria 3B");
  await fecharEstacao(p);
});
