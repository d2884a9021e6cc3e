// A door through a network outage: the browser's own network emulation set
// offline, 50 guests checked in, the tab reloaded while offline (the
// service worker opens the page, IndexedDB keeps the copy and the queue),
// then back online: the 50 are sent in order, stored once, with the time
// they happened at the door.
import { test } from "node:test";
import assert from "node:assert/strict";
import {
  cenario,
  LISTA,
  convidados,
  abrirEstacao,
  pronta,
  digitar,
  tocar,
  esperarChegada,
  filaVazia,
  respondida,
  copiaSalva,
  fecharEstacao,
} from "./estacao.mjs";

const { srv, browser } = await cenario();

test("sem rede: 50 chegadas, a aba recarregada sem rede, de volta à rede: 50 gravadas uma vez", async () => {
  await srv.rdm("SetRecepcao", ...LISTA, "S");
  const estacao = await srv.cadastrar("Portaria Offline");
  const p = await abrirEstacao(browser, srv, estacao);
  // The service worker holds the page before the network goes.
  await p.waitForSelector('body[data-sw="pronto"]');
  await copiaSalva(p);
  const outra = await abrirEstacao(browser, srv, await srv.cadastrar("Portaria Online"));

  const lista = convidados(srv, "QUANTIDADE = 1", 50);
  assert.equal(lista.length, 50);
  const contexto = p.context();
  await contexto.setOffline(true);
  await p.waitForSelector('body[data-rede="offline"]');
  for (const g of lista) {
    await digitar(p, g.nome);
    await tocar(p, g.nr);
  }
  await p.waitForSelector('body[data-fila="50"]');
  assert.equal(await p.textContent("#fila"), "50 aguardando envio");
  assert.equal(srv.sql("SELECT COUNT(*) AS n FROM RECEPENTRADA")[0].n, 0);

  // Reloaded without network: the page, its copy and its queue are there.
  await p.reload();
  await pronta(p);
  assert.ok(await p.evaluate(() => navigator.serviceWorker.controller !== null), "servida pelo service worker");
  await p.waitForSelector('body[data-fila="50"][data-rede="offline"]');
  assert.equal(await p.textContent("#c-pessoas-chegaram"), "50");
  await digitar(p, lista[7].nome);
  await esperarChegada(p, lista[7].nr, "1 de 1");

  // Back online: sent in order, once each.
  await contexto.setOffline(false);
  await filaVazia(p);
  const linhas = srv.sql(
    "SELECT NRLISTACONVOREV AS nr, IDTIPO AS tipo, QTPESSOAS AS pessoas, IDOFFLINE AS offline, " +
      "DTENTRADA AS quando FROM RECEPENTRADA ORDER BY NRVERSAO",
  );
  assert.deepEqual(
    linhas.map((l) => [l.nr, l.tipo, l.pessoas, l.offline]),
    lista.map((g) => [g.nr, "E", 1, "S"]),
  );
  // The time at the door, not of sending: in the order they happened.
  const tempos = linhas.map((l) => Date.parse(l.quando));
  assert.ok(tempos.every((t, i) => Number.isFinite(t) && (i === 0 || t >= tempos[i - 1])), JSON.stringify(tempos));
  for (const g of convidados(srv, `NRLISTACONVOREV IN (${lista.map((g) => `'${g.nr}'`).join(",")})`)) {
    assert.equal(g.presenca, "S", g.nome);
  }
  const [r] = await srv.linhasDe("GetRecepcao", ...LISTA);
  assert.equal(r.QTCHEGARAM, 50);
  // The other door saw them come in.
  await outra.locator("#c-pessoas-chegaram", { hasText: /^50$/ }).waitFor();

  // Another reload online sends nothing twice.
  await p.reload();
  await pronta(p);
  await filaVazia(p);
  assert.equal(srv.sql("SELECT COUNT(*) AS n FROM RECEPENTRADA")[0].n, 50);

  // An answer lost on the way back: the server took the check-in, the page
  // saw the network fail and sends it again with the same request id; it is
  // stored once.
  const [perdido] = convidados(srv, `QUANTIDADE = 1 AND NRLISTACONVOREV > '${lista[49].nr}'`, 1);
  let perdidas = 0;
  await p.route("**/recepcao/api/entrada", async (rota) => {
    if (perdidas++ === 0) {
      await rota.fetch();
      await rota.abort("internetdisconnected");
    } else {
      await rota.continue();
    }
  });
  await digitar(p, perdido.nome);
  await respondida(p, () => tocar(p, perdido.nr));
  assert.ok(perdidas >= 2, `enviada ${perdidas} vez(es)`);
  assert.deepEqual(
    srv.sql(`SELECT QTPESSOAS AS pessoas FROM RECEPENTRADA WHERE NRLISTACONVOREV = '${perdido.nr}'`),
    [{ pessoas: 1 }],
  );

  await fecharEstacao(p);
  await fecharEstacao(outra);
});
