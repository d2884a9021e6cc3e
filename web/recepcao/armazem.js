// What the station keeps in the browser's IndexedDB, so that a reload or a
// closed tab loses nothing (docs/reception.md, "The page"):
//   estado      key/value: token, estacao, lista, versao, desfazer (the
//               station's check-ins it can undo, newest last)
//   convidados  the copy of the list, one guest per record (key: nr)
//   fila        the calls not yet answered by the server, in order
const NOME = "recepcao";
const VERSAO = 1;

function pedido(req) {
  return new Promise((resolve, reject) => {
    req.onsuccess = () => resolve(req.result);
    req.onerror = () => reject(req.error);
  });
}

function concluida(tx) {
  return new Promise((resolve, reject) => {
    tx.oncomplete = () => resolve();
    tx.onerror = () => reject(tx.error);
    tx.onabort = () => reject(tx.error || new Error("transação abortada"));
  });
}

export async function abrir() {
  const req = indexedDB.open(NOME, VERSAO);
  req.onupgradeneeded = () => {
    const db = req.result;
    if (!db.objectStoreNames.contains("estado")) db.createObjectStore("estado");
    if (!db.objectStoreNames.contains("convidados"))
      db.createObjectStore("convidados", { keyPath: "nr" });
    if (!db.objectStoreNames.contains("fila"))
      db.createObjectStore("fila", { keyPath: "seq", autoIncrement: true });
  };
  return new Armazem(await pedido(req));
}

export class Armazem {
  constructor(db) {
    this.db = db;
  }

  async ler(chave) {
    const tx = this.db.transaction("estado", "readonly");
    return pedido(tx.objectStore("estado").get(chave));
  }

  async lerEstado() {
    const tx = this.db.transaction("estado", "readonly");
    const loja = tx.objectStore("estado");
    const [chaves, valores] = await Promise.all([
      pedido(loja.getAllKeys()),
      pedido(loja.getAll()),
    ]);
    const estado = {};
    chaves.forEach((k, i) => (estado[k] = valores[i]));
    return estado;
  }

  async gravar(valores) {
    const tx = this.db.transaction("estado", "readwrite");
    const loja = tx.objectStore("estado");
    for (const [k, v] of Object.entries(valores)) loja.put(v, k);
    return concluida(tx);
  }

  async convidados() {
    const tx = this.db.transaction("convidados", "readonly");
    return pedido(tx.objectStore("convidados").getAll());
  }

  // Guests written and removed, and state keys, in one transaction.
  async guardar({ convidados = [], removidos = [], estado = null, limpar = false }) {
    const tx = this.db.transaction(["convidados", "estado"], "readwrite");
    const loja = tx.objectStore("convidados");
    if (limpar) loja.clear();
    for (const g of convidados) loja.put(g);
    for (const nr of removidos) loja.delete(nr);
    if (estado) {
      const e = tx.objectStore("estado");
      for (const [k, v] of Object.entries(estado)) e.put(v, k);
    }
    return concluida(tx);
  }

  async fila() {
    const tx = this.db.transaction("fila", "readonly");
    return pedido(tx.objectStore("fila").getAll());
  }

  // A call queued with the guest it changed, in one transaction; returns the
  // call with its seq.
  async enfileirar(chamada, convidado, estado) {
    const tx = this.db.transaction(["fila", "convidados", "estado"], "readwrite");
    const req = tx.objectStore("fila").add(chamada);
    if (convidado) tx.objectStore("convidados").put(convidado);
    if (estado) {
      const e = tx.objectStore("estado");
      for (const [k, v] of Object.entries(estado)) e.put(v, k);
    }
    chamada.seq = await pedido(req);
    await concluida(tx);
    return chamada;
  }

  async atualizarChamada(chamada) {
    const tx = this.db.transaction("fila", "readwrite");
    tx.objectStore("fila").put(chamada);
    return concluida(tx);
  }

  // A call answered: out of the queue, with the guests it brought (and the
  // temporary guest of a door addition removed).
  async concluir(seq, { convidados = [], removidos = [], estado = null } = {}) {
    const tx = this.db.transaction(["fila", "convidados", "estado"], "readwrite");
    tx.objectStore("fila").delete(seq);
    const loja = tx.objectStore("convidados");
    for (const nr of removidos) loja.delete(nr);
    for (const g of convidados) loja.put(g);
    if (estado) {
      const e = tx.objectStore("estado");
      for (const [k, v] of Object.entries(estado)) e.put(v, k);
    }
    return concluida(tx);
  }

  // Everything gone: the token, the copy of the list and the queue.
  async apagarTudo() {
    const tx = this.db.transaction(["estado", "convidados", "fila"], "readwrite");
    tx.objectStore("estado").clear();
    tx.objectStore("convidados").clear();
    tx.objectStore("fila").clear();
    return concluida(tx);
  }
}
