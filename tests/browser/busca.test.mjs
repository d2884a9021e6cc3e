// The station's search (web/recepcao/busca.js), in Node: the same file the
// page loads, imported as it is.
import { test } from "node:test";
import assert from "node:assert/strict";
import { copyFileSync, mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

// The page's module as an .mjs copy: Node reads web/recepcao's .js files as
// CommonJS.
const pasta = mkdtempSync(join(tmpdir(), "evt-busca-"));
copyFileSync(new URL("../../web/recepcao/busca.js", import.meta.url), join(pasta, "busca.mjs"));
const { Indice, dobrar, termos, trechos } = await import(pathToFileURL(join(pasta, "busca.mjs")));
rmSync(pasta, { recursive: true, force: true });

const g = (nr, nome, extra = {}) => ({ nr, nome, rg: "", doc: "", tel: "", cel: "", ...extra });
const lista = [
  g("00001", "João da Conceição", { rg: "12.345.678-9", tel: "(11) 5555-0101" }),
  g("00002", "Maria Conceição Assunção", { doc: "123.456.789-09" }),
  g("00003", "Joana Prado", { cel: "11987654321" }),
  g("00004", "Sebastião Joãozinho", {}),
  g("00005", "ÉLIDA GONÇALVES", { rg: "98.765.432-1" }),
  g("00006", "Ana Beatriz Souza", {}),
];
const nomes = (r) => r.convidados.map((x) => x.nome);

test("o texto dobrado ignora caixa, acentos e pontuação", () => {
  assert.equal(dobrar("João da Conceição"), "joao da conceicao");
  assert.equal(dobrar("  ÉLIDA   Gonçalves-Brandão "), "elida goncalves brandao");
  assert.equal(dobrar("Straße Æsir"), "strasse aesir");
  assert.deepEqual(termos("Conceição  12.345"), { nomes: ["conceicao"], numeros: ["12345"] });
});

test("qualquer parte de qualquer palavra, palavras em qualquer ordem, o melhor primeiro", () => {
  const i = new Indice(lista);
  // Accents and case ignored.
  assert.deepEqual(nomes(i.buscar("joao")), ["João da Conceição", "Sebastião Joãozinho"]);
  assert.deepEqual(nomes(i.buscar("conceicao")), ["João da Conceição", "Maria Conceição Assunção"]);
  assert.deepEqual(nomes(i.buscar("goncalves")), ["ÉLIDA GONÇALVES"]);
  // Words in any order, each a part of a word.
  assert.deepEqual(nomes(i.buscar("conceicao joao")), ["João da Conceição"]);
  assert.deepEqual(nomes(i.buscar("ssun ceic")), ["Maria Conceição Assunção"]);
  // A word that starts with what was typed before one that holds it; the
  // start of the name first of all; then the name's order.
  assert.deepEqual(nomes(i.buscar("jo")), ["Joana Prado", "João da Conceição", "Sebastião Joãozinho"]);
  assert.deepEqual(nomes(i.buscar("a")).slice(0, 2), ["Ana Beatriz Souza", "Maria Conceição Assunção"]);
  // Nothing typed, nothing found.
  assert.equal(i.buscar("   ").total, 0);
  assert.equal(i.buscar("xyz").total, 0);
});

test("os dígitos de um R.G., CPF/CNPJ ou telefone, com ou sem pontuação", () => {
  const i = new Indice(lista);
  assert.deepEqual(nomes(i.buscar("12.345.678-9")), ["João da Conceição", "Maria Conceição Assunção"]);
  assert.deepEqual(nomes(i.buscar("789-09")), ["Maria Conceição Assunção"]);
  assert.deepEqual(nomes(i.buscar("5555-0101")), ["João da Conceição"]);
  assert.deepEqual(nomes(i.buscar("98765")), ["ÉLIDA GONÇALVES", "Joana Prado"]);
  // A name and digits together: both must hold.
  assert.deepEqual(nomes(i.buscar("maria 789")), ["Maria Conceição Assunção"]);
});

test("digitando: cada tecla busca sobre o último resultado, e as mudanças da lista contam", () => {
  const i = new Indice(lista);
  let anterior = null;
  for (const consulta of ["c", "co", "con", "conc", "conce", "concei", "conceic", "conceicao"]) {
    const r = i.buscar(consulta);
    if (anterior) assert.ok(r.total <= anterior.total, consulta);
    anterior = r;
  }
  assert.equal(anterior.total, 2);
  // Backspace widens again.
  assert.equal(i.buscar("c").total, 3);
  // A guest added, renamed and removed between keystrokes.
  i.atualizar(g("00007", "Zélia Conceição"));
  assert.deepEqual(nomes(i.buscar("conceicao")), ["João da Conceição", "Maria Conceição Assunção", "Zélia Conceição"]);
  i.atualizar({ ...lista[0], nome: "João Batista" });
  assert.deepEqual(nomes(i.buscar("conceicao")), ["Maria Conceição Assunção", "Zélia Conceição"]);
  i.remover("00002");
  assert.deepEqual(nomes(i.buscar("conceicao")), ["Zélia Conceição"]);
  // The same name, changed data: the guest object is the new one.
  i.atualizar({ ...lista[5], chegaram: 1 });
  assert.equal(i.buscar("beatriz").convidados[0].chegaram, 1);
  assert.equal(i.tamanho, 6);
});

test("o limite corta as linhas, não o total", () => {
  const muitos = Array.from({ length: 500 }, (_, k) => g(String(k).padStart(5, "0"), `Convidado Silva ${k}`));
  const i = new Indice(muitos);
  const r = i.buscar("silva", 40);
  assert.equal(r.total, 500);
  assert.equal(r.convidados.length, 40);
});

test("os trechos marcados caem nas letras do nome original", () => {
  assert.deepEqual(trechos("João da Conceição", "conceicao joa"), [
    [0, 3],
    [8, 17],
  ]);
  assert.deepEqual(trechos("Ana", "123"), []);
});
