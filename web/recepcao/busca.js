// Search over the station's copy of the list (docs/reception.md, "The
// page"): any part of any word of the name, case and accents ignored, words
// in any order, or the digits of an R.G., CPF/CNPJ or telephone; best first.
// No DOM and no imports: the page, the unit tests (Node) and the benchmark
// load this same file.

// A text folded for comparison: lower case, without accents ("Conceição" ->
// "conceicao"), every run of what is not a letter or digit one space.
const MARCAS = /[\u0300-\u036f]/g;
const SEPARADORES = /[^a-z0-9]+/g;
const EXTRAS = { ß: "ss", æ: "ae", œ: "oe", ø: "o", đ: "d", ł: "l", ı: "i" };
const EXTRAS_RE = /[ßæœøđłı]/g;

export function dobrar(texto) {
  if (!texto) return "";
  return String(texto)
    .toLowerCase()
    .normalize("NFD")
    .replace(MARCAS, "")
    .replace(EXTRAS_RE, (c) => EXTRAS[c])
    .replace(SEPARADORES, " ")
    .trim();
}

// Only the digits of a text ("12.345.678-9" -> "123456789").
export function digitos(texto) {
  return texto ? String(texto).replace(/\D+/g, "") : "";
}

// What was typed, as terms: folded words, each either a name term (has a
// letter) or a digits term ("123.456" is one digits term: the punctuation of
// a document is not a separator there).
export function termos(consulta) {
  const nomes = [];
  const numeros = [];
  for (const parte of String(consulta || "").split(/\s+/)) {
    if (!parte) continue;
    const dobrado = dobrar(parte);
    if (!dobrado) continue;
    if (/[a-z]/.test(dobrado)) {
      for (const w of dobrado.split(" ")) if (w) nomes.push(w);
    } else {
      const d = digitos(parte);
      if (d) numeros.push(d);
    }
  }
  return { nomes, numeros };
}

// How well a name term sits in a folded name (" joao da conceicao", with a
// leading space): 0 the name starts with it, 1 a word starts with it, 2 it
// is inside a word, -1 absent.
function posicao(palheiro, termo) {
  const i = palheiro.indexOf(termo);
  if (i < 0) return -1;
  if (i === 1) return 0;
  if (palheiro.charCodeAt(i - 1) === 32) return 1;
  return palheiro.indexOf(" " + termo, i) >= 0 ? 1 : 2;
}

// The same for a digits term over "|123456789|12345678909|1155550101".
function posicaoDigitos(palheiro, termo) {
  const i = palheiro.indexOf(termo);
  if (i < 0) return -1;
  if (palheiro.charCodeAt(i - 1) === 124) return 0;
  return palheiro.indexOf("|" + termo, i) >= 0 ? 0 : 1;
}

function comparar(a, b) {
  return a.chave < b.chave ? -1 : a.chave > b.chave ? 1 : a.nr < b.nr ? -1 : a.nr > b.nr ? 1 : 0;
}

// The guests of a list, kept in name order with what the search reads of
// each. A guest is an object as the server gives it ({nr, nome, rg, doc, tel,
// cel, ...}); the index keeps the object itself.
export class Indice {
  constructor(convidados = []) {
    this.porNr = new Map();
    this.ordem = [];
    this.desordenado = false;
    for (const g of convidados) this._guardar(g);
    this._ordenar();
    this.ultima = null;
  }

  get tamanho() {
    return this.ordem.length;
  }

  convidado(nr) {
    const e = this.porNr.get(nr);
    return e ? e.g : undefined;
  }

  *convidados() {
    for (const e of this.ordem) yield e.g;
  }

  _entrada(g) {
    const nome = dobrar(g.nome);
    return {
      g,
      nr: g.nr,
      nomeOriginal: g.nome,
      chave: nome,
      nome: " " + nome,
      dig: "|" + [g.rg, g.doc, g.tel, g.cel].map(digitos).filter(Boolean).join("|"),
    };
  }

  _guardar(g) {
    const e = this._entrada(g);
    const antes = this.porNr.get(g.nr);
    if (antes) {
      const i = this.ordem.indexOf(antes);
      this.ordem[i] = e;
      if (antes.chave !== e.chave) this.desordenado = true;
    } else {
      this.ordem.push(e);
      this.desordenado = true;
    }
    this.porNr.set(g.nr, e);
    return e;
  }

  _ordenar() {
    if (this.desordenado) this.ordem.sort(comparar);
    this.desordenado = false;
  }

  // A guest new or changed. Same name: replaced in place.
  atualizar(g) {
    const antes = this.porNr.get(g.nr);
    if (antes && antes.nomeOriginal === g.nome) {
      antes.g = g;
      antes.dig = "|" + [g.rg, g.doc, g.tel, g.cel].map(digitos).filter(Boolean).join("|");
    } else {
      this._guardar(g);
    }
    this.ultima = null;
  }

  remover(nr) {
    const e = this.porNr.get(nr);
    if (!e) return;
    this.porNr.delete(nr);
    this.ordem.splice(this.ordem.indexOf(e), 1);
    this.ultima = null;
  }

  // Every guest replaced (a full list).
  substituir(convidados) {
    this.porNr = new Map();
    this.ordem = [];
    for (const g of convidados) this._guardar(g);
    this.desordenado = true;
    this._ordenar();
    this.ultima = null;
  }

  // The guests that match what was typed, best first, at most `limite`;
  // `total` counts them all. Best: the lower the sum of the terms' places (a
  // name that starts with the term, then a word that does, then a word that
  // holds it), then the name's order.
  buscar(consulta, limite = 50) {
    this._ordenar();
    const { nomes, numeros } = termos(consulta);
    const n = nomes.length + numeros.length;
    if (n === 0) return { total: 0, convidados: [] };
    // Typing on: the new matches are among the last ones.
    const chave = nomes.join(" ") + "\u0000" + numeros.join(" ");
    let fonte = this.ordem;
    const u = this.ultima;
    if (
      u &&
      u.nomes.length <= nomes.length &&
      u.numeros.length <= numeros.length &&
      u.nomes.every((t, i) => nomes[i].includes(t)) &&
      u.numeros.every((t, i) => numeros[i].includes(t))
    ) {
      fonte = u.achados;
    }
    const baldes = [];
    for (let i = 0; i <= 2 * n; i++) baldes.push([]);
    const achados = [];
    outer: for (let k = 0; k < fonte.length; k++) {
      const e = fonte[k];
      let soma = 0;
      for (let t = 0; t < nomes.length; t++) {
        const p = posicao(e.nome, nomes[t]);
        if (p < 0) continue outer;
        soma += p;
      }
      for (let t = 0; t < numeros.length; t++) {
        const p = posicaoDigitos(e.dig, numeros[t]);
        if (p < 0) continue outer;
        soma += p;
      }
      achados.push(e);
      baldes[soma].push(e);
    }
    this.ultima = { chave, nomes, numeros, achados };
    const saida = [];
    for (const b of baldes) {
      for (const e of b) {
        if (saida.length >= limite) break;
        saida.push(e.g);
      }
      if (saida.length >= limite) break;
    }
    return { total: achados.length, convidados: saida };
  }
}

// Where the typed terms fall in a name, to show them: [start, end) pairs in
// the name's own characters, merged and in order.
export function trechos(nome, consulta) {
  const { nomes } = termos(consulta);
  if (!nome || nomes.length === 0) return [];
  // Fold character by character to keep the positions of the original.
  const mapa = [];
  let dobrado = "";
  for (let i = 0; i < nome.length; i++) {
    const d = dobrar(nome[i]) || " ";
    for (const c of d) {
      dobrado += c;
      mapa.push(i);
    }
  }
  const pares = [];
  for (const t of nomes) {
    let from = 0;
    let i;
    while ((i = dobrado.indexOf(t, from)) >= 0) {
      pares.push([mapa[i], mapa[i + t.length - 1] + 1]);
      from = i + t.length;
    }
  }
  pares.sort((a, b) => a[0] - b[0]);
  const juntos = [];
  for (const p of pares) {
    const u = juntos[juntos.length - 1];
    if (u && p[0] <= u[1]) u[1] = Math.max(u[1], p[1]);
    else juntos.push([p[0], p[1]]);
  }
  return juntos;
}
