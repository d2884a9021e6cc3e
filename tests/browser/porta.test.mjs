// Two doors of one list, as their users work them: a station enrolled from
// its code, "conceicao" typed and a guest checked in, a party arriving in
// two parts, an undo, a guest added at the door; the other station sees each
// of these from the change feed. Checked through the pages, the server's
// answers and the database file.
import { test } from "node:test";
import assert from "node:assert/strict";
import {
  cenario,
  LISTA,
  convidados,
  abrirEstacao,
  digitar,
  linhas,
  tocar,
  esperarChegada,
  respondida,
  fecharEstacao,
} from "./estacao.mjs";

const { srv, browser } = await cenario();

const entradas = (nr) =>
  srv.sql(
    `SELECT e.IDTIPO AS tipo, e.QTPESSOAS AS pessoas, e.IDDESFEITA AS desfeita, s.NMESTACAO AS estacao ` +
      `FROM RECEPENTRADA e JOIN RECEPESTACAO s ON s.CDESTACAO = e.CDESTACAO ` +
      `WHERE e.CDFILIAL='${LISTA[0]}' AND e.NRORCAEVENTO='${LISTA[1]}' AND e.NRSEQORCAEVE='${LISTA[2]}' ` +
      `AND e.NRLISTACONVOREV='${nr}' ORDER BY e.DTREGISTRO, e.NRVERSAO`,
  );
const presenca = (nr) => convidados(srv, `NRLISTACONVOREV='${nr}'`)[0].presenca;
const dobrar = (s) => s.normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase();

test("duas portas: cadastro, busca sem acentos, grupo em duas partes, desfazer, adicionado na porta", async () => {
  await srv.rdm("SetRecepcao", ...LISTA, "S");
  const p1 = await srv.cadastrar("Portaria 1");
  const p2 = await srv.cadastrar("Portaria 2");
  const a = await abrirEstacao(browser, srv, p1);
  const b = await abrirEstacao(browser, srv, p2);

  // Enrolled: the code left the address; the station has its name and the
  // code is spent.
  assert.doesNotMatch(a.url(), /codigo/);
  assert.equal(await a.textContent("#estacao"), "Portaria 1");
  const usado = await fetch(`${srv.url}/recepcao/api/entrar`, {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify({ codigo: p1.codigo }),
  });
  assert.equal(usado.status, 401);
  assert.equal(await a.evaluate(() => document.activeElement.id), "busca");

  // "conceicao" finds the Conceição guests, accents and case ignored; with
  // a first name after it, words in any order.
  const alvo = convidados(srv, "NMLISTACONVOREV LIKE '%Conceição%' AND QUANTIDADE = 1 AND IDCONVPRESEOREV = 'N'", 1)[0];
  await digitar(a, "conceicao");
  const achados = await linhas(a);
  assert.ok(achados.length > 0);
  for (const l of achados) assert.match(dobrar(l.nome), /conceicao/);
  const primeiro = dobrar(alvo.nome).split(" ")[0];
  await digitar(a, `conceicao ${primeiro}`);
  assert.ok((await linhas(a)).some((l) => l.nr === alvo.nr), `${alvo.nome} entre os achados`);
  await digitar(b, alvo.nome);
  await esperarChegada(b, alvo.nr, "0 de 1");
  await respondida(a, () => tocar(a, alvo.nr));
  assert.deepEqual(entradas(alvo.nr), [{ tipo: "E", pessoas: 1, desfeita: "N", estacao: "Portaria 1" }]);
  assert.equal(presenca(alvo.nr), "S");
  // The other door sees it, and may not count it again.
  await esperarChegada(b, alvo.nr, "1 de 1");
  await tocar(b, alvo.nr);
  await b.locator("#aviso", { hasText: "Portaria 1" }).waitFor();
  assert.equal(entradas(alvo.nr).length, 1);

  // A party of two arrives in two parts: one now, the rest later.
  const grupo = convidados(srv, "QUANTIDADE = 2", 1)[0];
  await digitar(a, grupo.nome);
  await respondida(a, () => tocar(a, grupo.nr, 1));
  await digitar(a, grupo.nome);
  await esperarChegada(a, grupo.nr, "1 de 2");
  await digitar(b, grupo.nome);
  await esperarChegada(b, grupo.nr, "1 de 2");
  await respondida(a, () => tocar(a, grupo.nr)); // the default: the rest
  await esperarChegada(b, grupo.nr, "2 de 2");
  assert.deepEqual(
    entradas(grupo.nr).map((e) => [e.tipo, e.pessoas]),
    [
      ["E", 1],
      ["E", 1],
    ],
  );

  // "Desfazer" takes back the station's last check-in: the party's second
  // part.
  assert.match(await a.textContent("#desfazer"), new RegExp(grupo.nome));
  await respondida(a, () => a.click("#desfazer"));
  await esperarChegada(b, grupo.nr, "1 de 2");
  assert.deepEqual(
    entradas(grupo.nr).map((e) => [e.tipo, e.pessoas, e.desfeita]),
    [
      ["E", 1, "N"],
      ["E", 1, "S"],
      ["D", 1, "N"],
    ],
  );

  // A guest not on the list, added at the door with three people.
  await a.click("#novo");
  await a.fill("#novo-nome", "Zuleica Teste da Porta");
  await a.fill("#novo-rg", "11.222.333-4");
  await a.fill("#novo-pessoas", "3");
  await respondida(a, () => a.click("#novo-ok"));
  const novo = convidados(srv, "NMLISTACONVOREV = 'Zuleica Teste da Porta'")[0];
  assert.ok(novo, "o convidado adicionado na porta está na lista");
  assert.deepEqual(entradas(novo.nr).map((e) => [e.tipo, e.pessoas]), [["P", 3]]);
  await digitar(b, "zuleica");
  await esperarChegada(b, novo.nr, "3 de 3");
  assert.ok((await linhas(b)).find((l) => l.nr === novo.nr).marcas.includes("Adicionado na porta"));
  // Adding the same name again finds it instead.
  await a.click("#novo");
  await a.fill("#novo-nome", "zuleica teste da porta");
  await a.click("#novo-ok");
  await a.locator("#aviso", { hasText: "já está na lista" }).waitFor();
  assert.equal(convidados(srv, "NMLISTACONVOREV LIKE 'Zuleica%'").length, 1);

  // The counts in view are the server's: people arrived, 1 + 1 + 3.
  const [r] = await srv.linhasDe("GetRecepcao", ...LISTA);
  assert.equal(r.QTCHEGARAM, 5);
  for (const p of [a, b]) {
    await p.locator("#c-pessoas-chegaram", { hasText: /^5$/ }).waitFor();
    assert.equal(Number(await p.textContent("#c-pessoas")), r.QTPESSOAS);
    assert.equal(Number(await p.textContent("#c-convidados")), r.QTCONVIDADOS);
  }
  // Per station, on request.
  await b.click("#por-estacao");
  await b.locator("#estacoes-lista li", { hasText: "Portaria 1" }).filter({ hasText: "5" }).waitFor();

  await fecharEstacao(a);
  await fecharEstacao(b);
});
