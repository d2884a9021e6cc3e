// Search over the station's copy of the list (docs/reception.md, "The
// page"): any part of any word of the name, case and accents ignored, words
// in any order, or the digits of an R.G., CPF/CNPJ or telephone; best first.
// No DOM and no imports: the page, the unit tests (Node) and the benchmark
// load this same file.

// A text folded for comparison: lower case, without accents ("Conceição" ->
// "conceicao"), every run of what is not a letter or digit one space. The
// characters beyond a-z and 0-9 are folded once each and remembered: a list
// of 99,998 names is folded in a few tens of milliseconds.
const MARCAS = /[\u0300-\u036f]/g;
const EXTRAS = { ß: "ss", æ: "ae", œ: "oe", ø: "o", đ: "d", ł: "l", ı: "i", þ: "th" };
const FORA = /[^a-z0-9 ]/;
const FORA_G = /[^a-z0-9 ]/g;
const TABELA = new Map();

function trocar(c) {
  let r = TABELA.get(c);
  if (r === undefined) {
    r = c.normalize("NFD").replace(MARCAS, "");
    if (EXTRAS[r] !== undefined) r = EXTRAS[r];
    // A combining mark alone goes; anything else not a letter or digit
    // separates words.
    if (r !== "" && !/^[a-z0-9]+$/.test(r)) r = " ";
    TABELA.set(c, r);
  }
  return r;
}

export function dobrar(texto) {
  if (!texto) return "";
  let s = String(texto).toLowerCase();
  if (FORA.test(s)) s = s.replace(FORA_G, trocar);
  if (s.includes("  ") || s.charCodeAt(0) === 32 || s.charCodeAt(s.length - 1) === 32) {
    s = s.replace(/ +/g, " ").trim();
  }
  return s;
}

// Only the digits of a text ("12.345.678-9" -> "123456789").
export function digitos(texto) {
  return texto ? String(texto).replace(/\D+/g, "") : "";
}

// A guest's documents and telephones as the search reads them:
// "|123456789|12345678909|1155550101".
function digitosDe(g) {
  let s = "";
  for (const d of [g.rg, g.doc, g.tel, g.cel]) {
    const x = digitos(d);
    if (x) s += "|" + x;
  }
  return s;
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

// Every occurrence of `termo` in `texto` (the entries of a list one after
// another, entry k from ini[k] to ini[k + 1], each ending with "\n"), one
// per entry: chama(k, c) with c 0 when the entry's text starts with it
// (after its first character, " " or "|"), 1 when a word does (after
// `separador`), 2 when it is inside a word. One pass over the text: a long
// text is read far faster than many small strings spread in memory.
function varrer(texto, ini, termo, separador, chama) {
  const n = ini.length - 1;
  let k = 0;
  let p = texto.indexOf(termo);
  while (p >= 0) {
    while (ini[k + 1] <= p) k++;
    if (k >= n) break;
    const fim = ini[k + 1];
    let c;
    let proximo = -1;
    if (p === ini[k] + 1) c = 0;
    else if (texto.charCodeAt(p - 1) === separador) c = 1;
    else {
      c = 2;
      let q = texto.indexOf(termo, p + 1);
      while (q >= 0 && q < fim) {
        if (texto.charCodeAt(q - 1) === separador) {
          c = 1;
          break;
        }
        q = texto.indexOf(termo, q + 1);
      }
      if (q >= fim) proximo = q;
    }
    chama(k, c);
    p = proximo >= 0 ? proximo : texto.indexOf(termo, fim);
  }
}

function comparar(a, b) {
  return a.chave < b.chave ? -1 : a.chave > b.chave ? 1 : a.nr < b.nr ? -1 : a.nr > b.nr ? 1 : 0;
}

// The guests of a list, kept in name order with what the search reads of
// each. A guest is an object as the server gives it ({nr, nome, rg, doc, tel,
// cel, ...}); the index keeps the object itself.
export class Indice {
  constructor(convidados = []) {
    this.substituir(convidados);
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
    return { g, nr: g.nr, nomeOriginal: g.nome, chave: nome, dig: digitosDe(g) };
  }

  _guardar(g) {
    const e = this._entrada(g);
    const antes = this.porNr.get(g.nr);
    if (antes) this.ordem[this.ordem.indexOf(antes)] = e;
    else this.ordem.push(e);
    this.porNr.set(g.nr, e);
    this.sujo = true;
  }

  // The texts the search reads, in name order, made again after a change of
  // names or documents.
  _preparar() {
    if (!this.sujo) return;
    this.ordem.sort(comparar);
    const n = this.ordem.length;
    const nomes = new Array(n);
    const digs = new Array(n);
    this.iniNomes = new Int32Array(n + 1);
    this.iniDig = new Int32Array(n + 1);
    let a = 0;
    let b = 0;
    for (let k = 0; k < n; k++) {
      const e = this.ordem[k];
      nomes[k] = " " + e.chave + "\n";
      digs[k] = e.dig + "\n";
      this.iniNomes[k] = a;
      this.iniDig[k] = b;
      a += nomes[k].length;
      b += digs[k].length;
    }
    this.iniNomes[n] = a;
    this.iniDig[n] = b;
    this.textoNomes = nomes.join("");
    this.textoDig = digs.join("");
    this.sujo = false;
  }

  // A guest new or changed. Same name and documents: replaced in place.
  atualizar(g) {
    const antes = this.porNr.get(g.nr);
    if (antes && antes.nomeOriginal === g.nome && antes.dig === digitosDe(g)) antes.g = g;
    else this._guardar(g);
  }

  remover(nr) {
    const e = this.porNr.get(nr);
    if (!e) return;
    this.porNr.delete(nr);
    this.ordem.splice(this.ordem.indexOf(e), 1);
    this.sujo = true;
  }

  // Every guest replaced (a full list).
  substituir(convidados) {
    this.porNr = new Map();
    this.ordem = [];
    this.sujo = true;
    for (const g of convidados) this._guardar(g);
    this._preparar();
  }

  // The guests that match what was typed, best first, at most `limite`;
  // `total` counts them all. Best: the lower the sum of the terms' places (a
  // name that starts with the term, then a word that does, then a word that
  // holds it), then the name's order.
  buscar(consulta, limite = 50) {
    this._preparar();
    const { nomes, numeros } = termos(consulta);
    const termosN = nomes.length + numeros.length;
    if (termosN === 0) return { total: 0, convidados: [] };
    const n = this.ordem.length;
    // How many terms each guest holds, and the sum of their places.
    const tem = new Uint8Array(n);
    const nota = new Uint8Array(n);
    let j = 0;
    const conta = (k, c) => {
      if (tem[k] === j) {
        tem[k] = j + 1;
        nota[k] += c;
      }
    };
    for (const t of nomes) {
      varrer(this.textoNomes, this.iniNomes, t, 32, conta);
      j++;
    }
    for (const t of numeros) {
      // A document's digits: at the start of one (0) or inside (1).
      varrer(this.textoDig, this.iniDig, t, 124, (k, c) => conta(k, c === 0 ? 0 : c - 1));
      j++;
    }
    const porNota = new Int32Array(2 * termosN + 1);
    let total = 0;
    for (let k = 0; k < n; k++) {
      if (tem[k] === termosN) {
        porNota[nota[k]]++;
        total++;
      }
    }
    // The best `limite`: by mark, each mark in the name's order.
    const saida = [];
    for (let m = 0; m <= 2 * termosN && saida.length < limite; m++) {
      let falta = porNota[m];
      for (let k = 0; k < n && falta > 0 && saida.length < limite; k++) {
        if (tem[k] === termosN && nota[k] === m) {
          saida.push(this.ordem[k].g);
          falta--;
        }
      }
    }
    return { total, convidados: saida };
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
