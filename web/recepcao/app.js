// The reception station (docs/reception.md): enrols with a one-time code,
// keeps its copy of the list, its token and its queue of calls in IndexedDB,
// searches the copy as the user types, checks guests in (queued and sent in
// order, offline or not), follows the server's change feed.
import { Indice, trechos, dobrar } from "./busca.js";
import { abrir } from "./armazem.js";

const BASE = new URL("./", import.meta.url);
const API = new URL("api/", BASE);
const LIMITE = 20; // rows shown at first ("Mostrar mais" shows 20 more)
const ESPERA_REDE = 2000; // ms between tries while the server cannot be reached
const ESPERA_MUDANCAS = 35000; // ms: the server answers a change feed call within 25 s

const $ = (id) => document.getElementById(id);
const el = {
  busca: $("busca"),
  resultados: $("resultados"),
  resumo: $("resumo"),
  estacao: $("estacao"),
  evento: $("evento"),
  rede: $("rede"),
  redeTexto: $("rede-texto"),
  fila: $("fila"),
  aviso: $("aviso"),
  desfazer: $("desfazer"),
  novo: $("novo"),
  porEstacao: $("por-estacao"),
  telaEntrar: $("tela-entrar"),
  entrarTitulo: $("entrar-titulo"),
  entrarTexto: $("entrar-texto"),
  entrarForm: $("entrar-form"),
  entrarCodigo: $("entrar-codigo"),
  entrarErro: $("entrar-erro"),
  dlgQuantos: $("dlg-quantos"),
  quantosNome: $("quantos-nome"),
  quantosInfo: $("quantos-info"),
  quantosN: $("quantos-n"),
  dlgNovo: $("dlg-novo"),
  novoNome: $("novo-nome"),
  novoRg: $("novo-rg"),
  novoPessoas: $("novo-pessoas"),
  novoErro: $("novo-erro"),
  dlgEstacoes: $("dlg-estacoes"),
  estacoesInfo: $("estacoes-info"),
  estacoesLista: $("estacoes-lista"),
};
const contagem = {
  convidados: $("c-convidados"),
  convidadosChegaram: $("c-convidados-chegaram"),
  convidadosFaltam: $("c-convidados-faltam"),
  pessoas: $("c-pessoas"),
  pessoasChegaram: $("c-pessoas-chegaram"),
  pessoasFaltam: $("c-pessoas-faltam"),
};

// What the station knows.
const st = {
  armazem: null,
  token: null,
  estacao: "",
  lista: null,
  versao: 0,
  indice: new Indice(),
  fila: [], // calls not answered yet, in order (as in IndexedDB)
  desfazer: [], // {id, nr, nome, pessoas}: the station's check-ins, newest last
  online: navigator.onLine !== false,
  enviando: false,
  ouvindo: null, // AbortController of the change feed call
  geracao: 0, // raised when the station is wiped: loops of an older one stop
};

// ---------------------------------------------------------------- helpers

function novoId() {
  const b = new Uint8Array(16);
  crypto.getRandomValues(b);
  return Array.from(b, (x) => x.toString(16).padStart(2, "0")).join("");
}

function doisDigitos(n) {
  return String(n).padStart(2, "0");
}

// The local time with its offset: "2026-12-08T20:41:07-03:00".
function agoraIso(d = new Date()) {
  const off = -d.getTimezoneOffset();
  const sinal = off >= 0 ? "+" : "-";
  const a = Math.abs(off);
  return (
    `${d.getFullYear()}-${doisDigitos(d.getMonth() + 1)}-${doisDigitos(d.getDate())}` +
    `T${doisDigitos(d.getHours())}:${doisDigitos(d.getMinutes())}:${doisDigitos(d.getSeconds())}` +
    `${sinal}${doisDigitos(Math.floor(a / 60))}:${doisDigitos(a % 60)}`
  );
}

function horaMinuto(d = new Date()) {
  return `${doisDigitos(d.getHours())}:${doisDigitos(d.getMinutes())}`;
}

const dormir = (ms) => new Promise((r) => setTimeout(r, ms));

function quantidade(g) {
  const q = Number(g.quantidade);
  return Number.isFinite(q) && q >= 1 ? Math.floor(q) : 1;
}

function chegaram(g) {
  const c = Number(g.chegaram);
  return Number.isFinite(c) && c > 0 ? Math.floor(c) : 0;
}

class ErroRede extends Error {}

// A call to the station API. Answers {status, dados}; throws ErroRede when
// the server cannot be reached (or answers 5xx, or times out).
async function chamar(metodo, caminho, corpo, { sinal, espera = 15000, token = st.token } = {}) {
  const ctl = new AbortController();
  const prazo = setTimeout(() => ctl.abort(), espera);
  const parar = () => ctl.abort();
  if (sinal) sinal.addEventListener("abort", parar);
  try {
    const cab = { Accept: "application/json" };
    if (corpo !== undefined) cab["Content-Type"] = "application/json";
    if (token) cab.Authorization = `Bearer ${token}`;
    let r;
    try {
      r = await fetch(new URL(caminho, API), {
        method: metodo,
        headers: cab,
        body: corpo === undefined ? undefined : JSON.stringify(corpo),
        cache: "no-store",
        credentials: "omit",
        signal: ctl.signal,
      });
    } catch (e) {
      throw new ErroRede(e && e.message ? e.message : String(e));
    }
    let dados = null;
    try {
      dados = await r.json();
    } catch {
      dados = null;
    }
    if (r.status >= 500 || r.status === 408 || r.status === 429) {
      throw new ErroRede(`HTTP ${r.status}`);
    }
    return { status: r.status, dados };
  } catch (e) {
    if (e instanceof ErroRede) throw e;
    throw new ErroRede(e && e.message ? e.message : String(e));
  } finally {
    clearTimeout(prazo);
    if (sinal) sinal.removeEventListener("abort", parar);
  }
}

// ---------------------------------------------------------------- display

let avisoPrazo = null;
function avisar(texto, tipo = "ok", ms = 5000) {
  el.aviso.textContent = texto;
  el.aviso.className = `aviso ${tipo}`;
  el.aviso.hidden = false;
  clearTimeout(avisoPrazo);
  avisoPrazo = setTimeout(() => (el.aviso.hidden = true), ms);
}

function mostrarRede() {
  const online = st.online && navigator.onLine !== false;
  el.rede.classList.toggle("offline", !online);
  el.rede.classList.toggle("online", online);
  el.redeTexto.textContent = online ? "Conectado" : "Sem conexão";
  const n = st.fila.length;
  el.fila.hidden = n === 0;
  el.fila.textContent = n === 1 ? "1 aguardando envio" : `${n} aguardando envio`;
  document.body.dataset.fila = String(n);
  document.body.dataset.rede = online ? "online" : "offline";
}

function definirOnline(online) {
  if (st.online === online) return;
  st.online = online;
  mostrarRede();
}

let contagemPendente = false;
function mostrarContagens() {
  if (contagemPendente) return;
  contagemPendente = true;
  queueMicrotask(() => {
    contagemPendente = false;
    let convidados = 0;
    let convidadosChegaram = 0;
    let pessoas = 0;
    let pessoasChegaram = 0;
    for (const g of st.indice.convidados()) {
      const q = quantidade(g);
      const c = Math.min(chegaram(g), q);
      convidados++;
      pessoas += q;
      pessoasChegaram += c;
      if (c > 0) convidadosChegaram++;
    }
    contagem.convidados.textContent = convidados;
    contagem.convidadosChegaram.textContent = convidadosChegaram;
    contagem.convidadosFaltam.textContent = convidados - convidadosChegaram;
    contagem.pessoas.textContent = pessoas;
    contagem.pessoasChegaram.textContent = pessoasChegaram;
    contagem.pessoasFaltam.textContent = pessoas - pessoasChegaram;
  });
}

function nomeMarcado(nome, consulta) {
  const span = document.createElement("span");
  span.className = "nome";
  let pos = 0;
  for (const [a, b] of trechos(nome, consulta)) {
    if (a > pos) span.append(nome.slice(pos, a));
    const m = document.createElement("mark");
    m.textContent = nome.slice(a, b);
    span.append(m);
    pos = b;
  }
  if (pos < nome.length) span.append(nome.slice(pos));
  return span;
}

// A telephone kept as digits, laid out: "(51) 99245-7073".
function telefone(t) {
  const m = /^(\d{2})(\d{4,5})(\d{4})$/.exec(t);
  return m ? `(${m[1]}) ${m[2]}-${m[3]}` : t;
}

function marca(texto, classe) {
  const s = document.createElement("span");
  s.className = `marca ${classe}`;
  s.textContent = texto;
  return s;
}

function linha(g, consulta, pendentes) {
  const q = quantidade(g);
  const c = Math.min(chegaram(g), q);
  const li = document.createElement("li");
  const b = document.createElement("button");
  b.type = "button";
  b.className = "convidado";
  b.dataset.nr = g.nr;
  if (c >= q) b.classList.add("completo");
  else if (c > 0) b.classList.add("parcial");
  if (g.especial) b.classList.add("especial");
  if (g.contrato) b.classList.add("contrato");

  const texto = document.createElement("span");
  texto.className = "texto";
  texto.append(nomeMarcado(g.nome || "", consulta));
  const det = document.createElement("span");
  det.className = "detalhes";
  const partes = [];
  if (g.rg) partes.push(`R.G. ${g.rg}`);
  if (g.doc) partes.push(`CPF/CNPJ ${g.doc}`);
  if (!g.rg && !g.doc && (g.tel || g.cel)) partes.push(`Tel. ${telefone(g.cel || g.tel)}`);
  det.textContent = partes.join(" · ");
  texto.append(det);
  const marcas = document.createElement("span");
  marcas.className = "marcas";
  if (g.especial) marcas.append(marca("Especial", "especial"));
  if (g.contrato) marcas.append(marca("Contrato", "contrato"));
  if (g.tratamento) marcas.append(marca(g.tratamento, "tratamento"));
  if (g.porta) marcas.append(marca("Adicionado na porta", "porta"));
  if (pendentes.has(g.nr)) marcas.append(marca("Aguardando envio", "espera"));
  if (c > 0 && g.ultima) {
    const u = document.createElement("span");
    u.className = "ultima";
    u.textContent = `${c >= q ? "Chegou" : "Última chegada"} às ${g.ultima.quando} · ${g.ultima.estacao}`;
    marcas.append(u);
  }
  if (marcas.childNodes.length) texto.append(marcas);
  b.append(texto);

  const ch = document.createElement("span");
  ch.className = "chegada";
  const num = document.createElement("strong");
  num.textContent = `${c} de ${q}`;
  const leg = document.createElement("small");
  leg.textContent = c >= q ? "chegou" : c > 0 ? "chegando" : q > 1 ? "pessoas" : "pessoa";
  ch.append(num, leg);
  b.append(ch);
  li.append(b);
  return li;
}

// The results of what is typed, drawn at once (every keystroke).
let linhasMostradas = LIMITE;
let ultimaConsulta = "";

function buscar() {
  const consulta = el.busca.value;
  if (consulta !== ultimaConsulta) linhasMostradas = LIMITE;
  ultimaConsulta = consulta;
  const t0 = performance.now();
  const r = st.indice.buscar(consulta, linhasMostradas);
  const t1 = performance.now();
  const frag = document.createDocumentFragment();
  const pendentes = new Set(st.fila.map((c) => c.nr));
  for (const g of r.convidados) frag.append(linha(g, consulta, pendentes));
  if (r.total > r.convidados.length) {
    const li = document.createElement("li");
    const b = document.createElement("button");
    b.type = "button";
    b.className = "mais";
    b.textContent = `Mostrar mais (${r.total - r.convidados.length})`;
    li.append(b);
    frag.append(li);
  }
  el.resultados.replaceChildren(frag);
  if (!consulta.trim()) {
    el.resumo.textContent = st.indice.tamanho
      ? "Digite parte do nome, do R.G., do CPF ou do telefone."
      : "A lista está vazia.";
  } else if (r.total === 0) {
    el.resumo.textContent = "Ninguém encontrado. Não está na lista? Toque em “Não está na lista”.";
  } else if (r.total > r.convidados.length) {
    el.resumo.textContent = `${r.total} encontrados; os ${r.convidados.length} mais próximos:`;
  } else {
    el.resumo.textContent = r.total === 1 ? "1 encontrado" : `${r.total} encontrados`;
  }
  document.body.dataset.buscaMs = `${(t1 - t0).toFixed(2)}+${(performance.now() - t1).toFixed(2)}`;
}

function mostrarDesfazer() {
  const u = st.desfazer[st.desfazer.length - 1];
  el.desfazer.disabled = !u;
  $("desfazer-nome").textContent = u ? u.nome : "";
}

function focarBusca() {
  if (document.querySelector("dialog[open]") || !el.telaEntrar.hidden) return;
  el.busca.focus({ preventScroll: true });
}

function limparBusca() {
  el.busca.value = "";
  buscar();
  focarBusca();
}

// ---------------------------------------------------------------- the copy

// A guest as the server gave it, with the changes of the calls still queued
// on top, so that the copy shows what the door did.
function comPendentes(g) {
  let c = chegaram(g);
  let ultima = g.ultima || null;
  for (const ch of st.fila) {
    if (ch.nr !== g.nr) continue;
    if (ch.tipo === "entrada") {
      c += ch.corpo.pessoas;
      ultima = { quando: ch.hora, estacao: st.estacao };
    } else if (ch.tipo === "desfazer") {
      c -= ch.pessoas;
    }
  }
  c = Math.max(0, Math.min(c, quantidade(g)));
  if (c === chegaram(g) && ultima === g.ultima) return g;
  return { ...g, chegaram: c, ultima: c > 0 ? ultima : null };
}

// Guests from the server at version v: each replaces the copy's unless the
// copy knows a later version of it.
function aplicar(convidados, v) {
  const novos = [];
  for (const g of convidados) {
    const antes = st.indice.convidado(g.nr);
    if (antes && antes._v > v) continue;
    const n = comPendentes({ ...g, _v: v });
    st.indice.atualizar(n);
    novos.push(n);
  }
  return novos;
}

// ---------------------------------------------------------------- the queue

// A call queued (and the guest it changed, shown at once); then sent.
// The copy shows the change at once (a second tap on the same guest sees
// it), before IndexedDB has kept the call.
async function enfileirar(chamada, convidado) {
  if (convidado) st.indice.atualizar(convidado);
  mostrarContagens();
  mostrarDesfazer();
  await st.armazem.enfileirar(chamada, convidado, { desfazer: st.desfazer });
  st.fila.push(chamada);
  mostrarRede();
  buscar();
  enviarFila();
}

let esperaFila = null;
function agendarFila(ms) {
  clearTimeout(esperaFila);
  esperaFila = setTimeout(enviarFila, ms);
}

// Sends the queue in order, one call at a time; stops at the first call the
// server cannot take now (no network), to try again later.
async function enviarFila() {
  if (st.enviando || !st.token) return;
  st.enviando = true;
  const geracao = st.geracao;
  try {
    while (st.fila.length && geracao === st.geracao) {
      const ch = st.fila[0];
      let r;
      try {
        r = await chamar("POST", ch.tipo, ch.corpo);
      } catch (e) {
        if (!(e instanceof ErroRede)) throw e;
        // Not taken: what the door did stands, and goes later as done offline.
        if (!ch.corpo.offline) {
          ch.corpo.offline = true;
          for (const outra of st.fila) outra.corpo.offline = true;
          await Promise.all(st.fila.map((c) => st.armazem.atualizarChamada(c)));
        }
        definirOnline(false);
        agendarFila(ESPERA_REDE);
        return;
      }
      if (geracao !== st.geracao) return;
      if (r.status === 401) {
        await desautorizada(r.dados);
        return;
      }
      definirOnline(true);
      await concluir(ch, r);
    }
  } finally {
    if (geracao === st.geracao) st.enviando = false;
  }
}

// A call answered: taken or refused; the copy takes the server's guest.
async function concluir(ch, r) {
  const d = r.dados || {};
  // How many calls the server answered since the page opened.
  document.body.dataset.respondidas = String(Number(document.body.dataset.respondidas || 0) + 1);
  const tomada = r.status >= 200 && r.status < 300 && d.ok !== false;
  st.fila.shift();
  const removidos = [];
  if (ch.tipo === "novo") {
    removidos.push(ch.nr);
    st.indice.remover(ch.nr);
  }
  if (!tomada && (ch.tipo === "entrada" || ch.tipo === "novo")) {
    st.desfazer = st.desfazer.filter((u) => u.id !== ch.corpo.id);
  }
  if (tomada && ch.tipo === "novo" && d.convidado) {
    // The undo of a door addition names the guest it became.
    for (const u of st.desfazer) if (u.id === ch.corpo.id) u.nr = d.convidado.nr;
    for (const c of st.fila) {
      if (c.nr === ch.nr) {
        c.nr = d.convidado.nr;
        st.armazem.atualizarChamada(c);
      }
    }
  }
  const guardar = [];
  if (d.convidado && d.convidado.nr) {
    const v = Number.isFinite(d.versao) ? d.versao : (st.indice.convidado(d.convidado.nr) || {})._v || 0;
    const antes = st.indice.convidado(d.convidado.nr);
    if (!antes || !(antes._v > v) || !tomada) {
      const n = comPendentes({ ...d.convidado, _v: v });
      st.indice.atualizar(n);
      guardar.push(n);
    }
  } else if (!tomada) {
    // Refused without a guest: undo what the door showed.
    const g = st.indice.convidado(ch.nr);
    if (g && ch.tipo === "entrada") {
      const n = { ...g, chegaram: Math.max(0, chegaram(g) - ch.corpo.pessoas) };
      st.indice.atualizar(n);
      guardar.push(n);
    } else if (g && ch.tipo === "desfazer") {
      const n = { ...g, chegaram: Math.min(quantidade(g), chegaram(g) + ch.pessoas) };
      st.indice.atualizar(n);
      guardar.push(n);
    }
  }
  await st.armazem.concluir(ch.seq, { convidados: guardar, removidos, estado: { desfazer: st.desfazer } });
  if (!tomada) {
    const erro = d.erro || `O servidor recusou (${r.status}).`;
    avisar(`${ch.nome ? ch.nome + ": " : ""}${erro}`, "erro", 9000);
  } else if (d.conflito) {
    avisar(`${ch.nome ? ch.nome + ": " : ""}registrado; ${d.conflito}`, "alerta", 9000);
  } else if (ch.tipo === "novo" && d.existente) {
    avisar(`${d.convidado ? d.convidado.nome : ch.nome} já estava na lista: chegada registrada.`, "ok");
  }
  mostrarRede();
  mostrarContagens();
  mostrarDesfazer();
  buscar();
}

// ---------------------------------------------------------------- actions

async function tocar(nr) {
  const g = st.indice.convidado(nr);
  if (!g) return;
  const q = quantidade(g);
  const c = chegaram(g);
  const resta = q - c;
  if (resta <= 0) {
    const u = g.ultima ? ` Registrado às ${g.ultima.quando} na estação ${g.ultima.estacao}.` : "";
    avisar(q > 1 ? `${g.nome}: já chegaram todos (${c} de ${q}).${u}` : `${g.nome} já chegou.${u}`, "alerta", 7000);
    focarBusca();
    return;
  }
  if (q === 1) {
    await registrar(g, 1);
    return;
  }
  el.quantosNome.textContent = g.nome;
  el.quantosInfo.textContent =
    c > 0 ? `Já chegaram ${c} de ${q}; faltam ${resta}.` : `Entrada de ${q} pessoas.`;
  el.quantosN.max = String(resta);
  el.quantosN.value = String(resta);
  el.dlgQuantos.dataset.nr = nr;
  el.dlgQuantos.returnValue = "";
  el.dlgQuantos.showModal();
  el.quantosN.focus();
  el.quantosN.select();
}

async function registrar(g, pessoas) {
  const id = novoId();
  const online = st.online && navigator.onLine !== false;
  const corpo = { id, nr: g.nr, pessoas, quando: agoraIso() };
  if (!online) corpo.offline = true;
  const q = quantidade(g);
  const c = Math.min(q, chegaram(g) + pessoas);
  const hora = horaMinuto();
  const mostrado = { ...g, chegaram: c, ultima: { quando: hora, estacao: st.estacao } };
  st.desfazer.push({ id, nr: g.nr, nome: g.nome, pessoas });
  if (st.desfazer.length > 50) st.desfazer.shift();
  // The box is ready for the next guest at once: what is typed meanwhile
  // stays.
  avisar(q > 1 ? `✓ ${g.nome}: ${c} de ${q}` : `✓ ${g.nome}`, "ok");
  limparBusca();
  await enfileirar({ tipo: "entrada", corpo, nr: g.nr, nome: g.nome, hora }, mostrado);
}

async function desfazerUltima() {
  const u = st.desfazer.pop();
  if (!u) return;
  const g = st.indice.convidado(u.nr);
  let mostrado = null;
  if (g) {
    const c = Math.max(0, chegaram(g) - u.pessoas);
    mostrado = { ...g, chegaram: c, ultima: c > 0 ? g.ultima : null };
  }
  await enfileirar(
    { tipo: "desfazer", corpo: { id: novoId(), entrada: u.id }, nr: u.nr, nome: u.nome, pessoas: u.pessoas },
    mostrado,
  );
  avisar(`Desfeito: ${u.nome}`, "alerta");
  buscar();
  focarBusca();
}

function abrirNovo() {
  el.novoNome.value = el.busca.value.trim() && /[a-zA-ZÀ-ÿ]/.test(el.busca.value) ? el.busca.value.trim() : "";
  el.novoRg.value = "";
  el.novoPessoas.value = "1";
  el.novoErro.hidden = true;
  el.dlgNovo.returnValue = "";
  el.dlgNovo.showModal();
  el.novoNome.focus();
}

async function adicionar() {
  const nome = el.novoNome.value.trim().replace(/\s+/g, " ");
  const rg = el.novoRg.value.trim();
  const pessoas = Math.floor(Number(el.novoPessoas.value));
  // A name already on the list is found, not added twice.
  const dobrado = dobrar(nome);
  for (const g of st.indice.convidados()) {
    if (dobrar(g.nome) === dobrado) {
      el.busca.value = g.nome;
      buscar();
      avisar(`${g.nome} já está na lista: toque no nome para registrar a chegada.`, "alerta", 8000);
      focarBusca();
      return;
    }
  }
  const id = novoId();
  const nr = `tmp-${id}`;
  const corpo = { id, nome, rg, pessoas, quando: agoraIso() };
  if (!(st.online && navigator.onLine !== false)) corpo.offline = true;
  const hora = horaMinuto();
  const mostrado = {
    nr,
    nome,
    rg,
    doc: "",
    tel: "",
    cel: "",
    tratamento: "",
    contrato: false,
    porta: true,
    quantidade: pessoas,
    chegaram: pessoas,
    ultima: { quando: hora, estacao: st.estacao },
    _v: st.versao,
  };
  st.desfazer.push({ id, nr, nome, pessoas });
  avisar(`✓ ${nome} adicionado na porta${pessoas > 1 ? ` (${pessoas} pessoas)` : ""}`, "ok");
  limparBusca();
  await enfileirar({ tipo: "novo", corpo, nr, nome, hora }, mostrado);
}

function validarNovo() {
  const nome = el.novoNome.value.trim();
  const pessoas = Number(el.novoPessoas.value);
  if (!nome) return "Digite o nome.";
  if (nome.length > 100) return "O nome tem mais de 100 caracteres.";
  if (!Number.isInteger(pessoas) || pessoas < 1 || pessoas > 999) return "Pessoas: de 1 a 999.";
  return "";
}

async function mostrarPorEstacao() {
  el.estacoesLista.replaceChildren();
  el.estacoesInfo.textContent = "Consultando o servidor…";
  el.dlgEstacoes.showModal();
  try {
    const r = await chamar("GET", "contagens");
    if (r.status === 401) {
      el.dlgEstacoes.close();
      await desautorizada(r.dados);
      return;
    }
    const d = r.dados || {};
    if (r.status !== 200) {
      el.estacoesInfo.textContent = d.erro || `O servidor recusou (${r.status}).`;
      return;
    }
    definirOnline(true);
    el.estacoesInfo.textContent = `No servidor: ${d.chegaram} de ${d.pessoas} pessoas chegaram; faltam ${d.faltam}.`;
    for (const e of d.estacoes || []) {
      const li = document.createElement("li");
      const n = document.createElement("span");
      n.textContent = e.nome;
      const c = document.createElement("strong");
      c.textContent = String(e.chegaram);
      li.append(n, c);
      el.estacoesLista.append(li);
    }
    if (!(d.estacoes || []).length) el.estacoesInfo.textContent += " Nenhuma estação registrou chegadas ainda.";
  } catch (e) {
    if (!(e instanceof ErroRede)) throw e;
    definirOnline(false);
    el.estacoesInfo.textContent = "Sem conexão: as contagens por estação vêm do servidor. As de cima são desta estação.";
  }
}

// ---------------------------------------------------------------- the feed

// Follows the change feed: every change since the copy's version, merged.
async function ouvir() {
  const geracao = st.geracao;
  while (st.token && geracao === st.geracao) {
    if (navigator.onLine === false) {
      definirOnline(false);
      await dormir(ESPERA_REDE);
      continue;
    }
    const ctl = new AbortController();
    st.ouvindo = ctl;
    let r;
    try {
      r = await chamar("GET", `mudancas?desde=${encodeURIComponent(st.versao)}`, undefined, {
        sinal: ctl.signal,
        espera: ESPERA_MUDANCAS,
      });
    } catch (e) {
      if (!(e instanceof ErroRede)) throw e;
      if (geracao !== st.geracao) return;
      if (!ctl.signal.aborted || navigator.onLine === false) definirOnline(false);
      await dormir(ctl.signal.aborted && navigator.onLine !== false ? 0 : ESPERA_REDE);
      continue;
    } finally {
      st.ouvindo = null;
    }
    if (geracao !== st.geracao) return;
    if (r.status === 401) {
      await desautorizada(r.dados);
      return;
    }
    if (r.status !== 200 || !r.dados) {
      // Not there (an older server) or refused: the whole list, later.
      await dormir(5000);
      await carregarLista().catch(() => {});
      continue;
    }
    definirOnline(true);
    if (st.fila.length) enviarFila();
    await mesclar(r.dados, geracao);
  }
}

async function mesclar(d, geracao) {
  const v = Number(d.versao);
  if (!Number.isFinite(v)) return;
  const convidados = d.convidados || [];
  const removidos = (d.removidos || []).filter((nr) => st.indice.convidado(nr));
  if (d.completa) {
    const vistos = new Set(convidados.map((g) => g.nr));
    for (const g of [...st.indice.convidados()]) {
      if (!vistos.has(g.nr) && !String(g.nr).startsWith("tmp-")) removidos.push(g.nr);
    }
  }
  if (geracao !== st.geracao) return; // wiped meanwhile: nothing written back
  for (const nr of removidos) st.indice.remover(nr);
  const novos = aplicar(convidados, v);
  st.versao = Math.max(st.versao, v);
  await st.armazem.guardar({ convidados: novos, removidos, estado: { versao: st.versao } });
  if (novos.length || removidos.length) {
    mostrarContagens();
    buscar();
  }
}

// The whole list from the server (first start, or when the feed cannot say).
async function carregarLista() {
  const geracao = st.geracao;
  const r = await chamar("GET", "lista", undefined, { espera: 60000 });
  if (geracao !== st.geracao) return false;
  if (r.status === 401) {
    await desautorizada(r.dados);
    return false;
  }
  if (r.status !== 200 || !r.dados) throw new ErroRede(`HTTP ${r.status}`);
  definirOnline(true);
  const v = Number(r.dados.versao) || 0;
  const lista = (r.dados.convidados || []).map((g) => comPendentes({ ...g, _v: v }));
  const temporarios = [...st.indice.convidados()].filter((g) => String(g.nr).startsWith("tmp-"));
  st.indice.substituir(lista.concat(temporarios));
  st.versao = v;
  mostrarContagens();
  buscar();
  // Kept in the background: the search works from memory meanwhile (the
  // writes that follow queue behind this one in IndexedDB).
  delete document.body.dataset.copia;
  st.armazem
    .guardar({ convidados: lista.concat(temporarios), limpar: true, estado: { versao: v } })
    .then(() => {
      if (geracao === st.geracao) document.body.dataset.copia = "salva";
    })
    .catch((e) => avisar(`A cópia da lista não foi guardada neste aparelho: ${e.message || e}`, "erro", 15000));
  return true;
}

// ---------------------------------------------------------------- enrolment

function mostrarEntrar(titulo, texto, erro = "") {
  document.body.dataset.estado = titulo === "Estação não autorizada" ? "desautorizada" : "entrar";
  el.entrarTitulo.textContent = titulo;
  el.entrarTexto.textContent = texto;
  el.entrarErro.textContent = erro;
  el.entrarErro.hidden = !erro;
  el.telaEntrar.hidden = false;
  for (const d of document.querySelectorAll("dialog[open]")) d.close();
  el.entrarCodigo.focus();
}

// A station refused (revoked, unknown, or its list's reception off): its
// token, copy and queue go.
async function desautorizada(dados) {
  st.geracao++;
  st.token = null;
  st.fila = [];
  st.desfazer = [];
  st.enviando = false;
  if (st.ouvindo) st.ouvindo.abort();
  st.indice.substituir([]);
  el.resultados.replaceChildren();
  el.busca.value = "";
  mostrarContagens();
  mostrarDesfazer();
  mostrarRede();
  await st.armazem.apagarTudo();
  mostrarEntrar(
    "Estação não autorizada",
    "Esta estação foi desligada ou não vale mais: a cópia da lista foi apagada deste aparelho. Peça ao organizador um novo código.",
    dados && dados.erro ? dados.erro : "",
  );
}

async function entrar(codigo) {
  codigo = codigo.trim().toUpperCase().replace(/\s+/g, "");
  if (!codigo) return;
  el.entrarErro.hidden = true;
  el.entrarCodigo.value = codigo;
  document.body.dataset.estado = "entrando";
  let r;
  try {
    r = await chamar("POST", "entrar", { codigo }, { token: null });
  } catch (e) {
    if (!(e instanceof ErroRede)) throw e;
    mostrarEntrar(
      "Sem conexão",
      "O servidor não respondeu. Confira a rede do aparelho e toque em Entrar de novo.",
    );
    return;
  }
  const d = r.dados || {};
  if (r.status !== 200 || !d.token) {
    mostrarEntrar(
      "Estação não cadastrada",
      "Abra neste aparelho o endereço ou o código QR que o organizador gerou para esta estação, ou digite o código abaixo.",
      d.erro || `O servidor recusou (${r.status}).`,
    );
    return;
  }
  // A new enrolment replaces what this browser held.
  st.geracao++;
  if (st.ouvindo) st.ouvindo.abort();
  await st.armazem.apagarTudo();
  st.token = d.token;
  st.estacao = d.estacao || "";
  st.lista = d.lista || null;
  st.versao = 0;
  st.fila = [];
  st.desfazer = [];
  st.enviando = false;
  st.indice.substituir([]);
  await st.armazem.gravar({ token: st.token, estacao: st.estacao, lista: st.lista, versao: 0, desfazer: [] });
  el.entrarCodigo.value = "";
  await iniciar();
}

// ---------------------------------------------------------------- start

function mostrarIdentidade() {
  el.estacao.textContent = st.estacao || "Recepção";
  const l = st.lista;
  el.evento.textContent = l ? l.evento || `Orçamento ${l.orcamento}/${l.sequencia}` : "";
  document.title = st.estacao ? `Recepção — ${st.estacao}` : "Recepção";
}

// The station with its token: its copy shown, then kept up to date.
async function iniciar() {
  el.telaEntrar.hidden = true;
  mostrarIdentidade();
  mostrarRede();
  mostrarDesfazer();
  if (st.indice.tamanho === 0) {
    document.body.dataset.estado = "carregando";
    el.resumo.textContent = "Carregando a lista…";
    for (;;) {
      try {
        if (await carregarLista()) break;
        return; // refused
      } catch (e) {
        if (!(e instanceof ErroRede)) throw e;
        definirOnline(false);
        el.resumo.textContent = "Sem conexão: a lista vem quando o servidor responder.";
        await dormir(ESPERA_REDE);
        if (!st.token) return;
      }
    }
  }
  document.body.dataset.estado = "pronta";
  buscar();
  focarBusca();
  performance.mark("recepcao-pronta");
  enviarFila();
  ouvir();
}

function ligarEventos() {
  el.busca.addEventListener("input", buscar);
  el.busca.addEventListener("keydown", (ev) => {
    if (ev.key === "Enter") {
      const botoes = el.resultados.querySelectorAll("button.convidado");
      if (botoes.length === 1) tocar(botoes[0].dataset.nr);
    } else if (ev.key === "Escape") {
      limparBusca();
    }
  });
  // A tap on a row or a button leaves the focus in the search box.
  for (const alvo of [el.resultados, el.desfazer, el.novo, el.porEstacao]) {
    alvo.addEventListener("mousedown", (ev) => ev.preventDefault());
  }
  el.resultados.addEventListener("click", (ev) => {
    const b = ev.target.closest("button.convidado");
    if (b) tocar(b.dataset.nr);
    else if (ev.target.closest("button.mais")) {
      linhasMostradas += LIMITE;
      buscar();
    }
  });
  el.desfazer.addEventListener("click", desfazerUltima);
  el.novo.addEventListener("click", abrirNovo);
  el.porEstacao.addEventListener("click", mostrarPorEstacao);

  $("quantos-menos").addEventListener("click", () => {
    el.quantosN.value = String(Math.max(1, Number(el.quantosN.value) - 1));
  });
  $("quantos-mais").addEventListener("click", () => {
    el.quantosN.value = String(Math.min(Number(el.quantosN.max), Number(el.quantosN.value) + 1));
  });
  el.dlgQuantos.addEventListener("close", async () => {
    const nr = el.dlgQuantos.dataset.nr;
    const g = st.indice.convidado(nr);
    if (el.dlgQuantos.returnValue === "ok" && g) {
      const resta = quantidade(g) - chegaram(g);
      const n = Math.floor(Number(el.quantosN.value));
      if (n >= 1 && n <= resta) await registrar(g, n);
      else avisar(`De 1 a ${resta} pessoas.`, "erro");
    }
    focarBusca();
  });
  el.dlgNovo.querySelector("form").addEventListener("submit", (ev) => {
    if (ev.submitter && ev.submitter.value === "ok") {
      const erro = validarNovo();
      if (erro) {
        ev.preventDefault();
        el.novoErro.textContent = erro;
        el.novoErro.hidden = false;
      }
    }
  });
  el.dlgNovo.addEventListener("close", async () => {
    if (el.dlgNovo.returnValue === "ok") await adicionar();
    focarBusca();
  });
  el.dlgEstacoes.addEventListener("close", focarBusca);
  // Cancel buttons close without submitting: Enter in a field submits the
  // dialog's main button.
  for (const b of document.querySelectorAll("dialog button.fechar")) {
    b.addEventListener("click", () => b.closest("dialog").close("cancelar"));
  }

  el.entrarForm.addEventListener("submit", (ev) => {
    ev.preventDefault();
    entrar(el.entrarCodigo.value);
  });

  window.addEventListener("online", () => {
    definirOnline(true);
    enviarFila();
    if (st.ouvindo) st.ouvindo.abort();
  });
  window.addEventListener("offline", () => {
    definirOnline(false);
    if (st.ouvindo) st.ouvindo.abort();
  });
  window.addEventListener("hashchange", lerCodigoDoEndereco);
}

// "#codigo=ABC" in the address: enrols, and the code leaves the address.
function lerCodigoDoEndereco() {
  const m = /(?:^#|&)codigo=([^&]*)/.exec(location.hash);
  if (!m) return false;
  history.replaceState(null, "", location.pathname + location.search);
  entrar(decodeURIComponent(m[1]));
  return true;
}

// The service worker that keeps the page for a reload offline; the body
// says data-sw="pronto" once it is active (a page opened at "/recepcao",
// outside its scope, is never told by navigator.serviceWorker.ready).
async function registrarServiceWorker() {
  if (!("serviceWorker" in navigator)) return;
  try {
    const reg = await navigator.serviceWorker.register(new URL("sw.js", BASE), { scope: BASE.pathname });
    const ativo = () => {
      if (reg.active && reg.active.state === "activated") {
        document.body.dataset.sw = "pronto";
        return true;
      }
      return false;
    };
    if (ativo()) return;
    const w = reg.installing || reg.waiting || reg.active;
    if (w) w.addEventListener("statechange", ativo);
    reg.addEventListener("updatefound", () => {
      if (reg.installing) reg.installing.addEventListener("statechange", ativo);
    });
  } catch (e) {
    console.warn("service worker não registrado:", e);
  }
}

async function principal() {
  // "/recepcao" is "/recepcao/": the service worker's scope holds the page.
  if (location.pathname + "/" === BASE.pathname) {
    history.replaceState(null, "", BASE.pathname + location.search + location.hash);
  }
  ligarEventos();
  registrarServiceWorker();
  st.armazem = await abrir();
  if (lerCodigoDoEndereco()) return;
  const e = await st.armazem.lerEstado();
  if (!e.token) {
    mostrarEntrar(
      "Estação não cadastrada",
      "Abra neste aparelho o endereço ou o código QR que o organizador gerou para esta estação, ou digite o código abaixo.",
    );
    return;
  }
  st.token = e.token;
  st.estacao = e.estacao || "";
  st.lista = e.lista || null;
  st.versao = Number(e.versao) || 0;
  st.desfazer = e.desfazer || [];
  st.fila = await st.armazem.fila();
  const copia = await st.armazem.convidados();
  st.indice.substituir(copia);
  if (copia.length) document.body.dataset.copia = "salva";
  mostrarContagens();
  await iniciar();
}

principal().catch((e) => {
  console.error(e);
  avisar(`Erro na página: ${e && e.message ? e.message : e}`, "erro", 60000);
});
