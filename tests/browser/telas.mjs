// Pictures of the station page on a phone-sized (390 × 844) and a
// tablet-sized (820 × 1180) window, over the demo data of the real server:
//   node tests/browser/telas.mjs <evt07800-server> [OUT_DIR]
// writes OUT_DIR/recepcao-phone.png and OUT_DIR/recepcao-tablet.png (and the
// phone offline, with check-ins waiting). Not a test: a look at the page.
import { mkdirSync } from "node:fs";
import { resolve } from "node:path";
import {
  Servidor,
  LISTA,
  chromium,
  abrirEstacao,
  linhas,
  digitar,
  tocar,
  respondida,
  copiaSalva,
} from "./estacao.mjs";

const saida = resolve(process.argv[3] || "out");
mkdirSync(saida, { recursive: true });
const srv = await Servidor.iniciar();
const browser = await chromium();
try {
  await srv.rdm("SetRecepcao", ...LISTA, "S");
  // A door at work: the first guests the search shows, some in, from
  // another station.
  const outra = await abrirEstacao(browser, srv, await srv.cadastrar("Portaria 2"));
  await digitar(outra, "conceicao");
  const conceicao = await linhas(outra);
  for (const i of [0, 2, 5]) {
    await digitar(outra, "conceicao");
    await respondida(outra, () => tocar(outra, conceicao[i].nr));
  }

  const telas = [
    ["recepcao-phone.png", { width: 390, height: 844 }],
    ["recepcao-tablet.png", { width: 820, height: 1180 }],
  ];
  for (const [arquivo, viewport] of telas) {
    const p = await abrirEstacao(browser, srv, await srv.cadastrar(`Portaria ${arquivo.length}`), {
      viewport,
      deviceScaleFactor: 1,
      hasTouch: true,
      isMobile: viewport.width < 600,
    });
    await copiaSalva(p);
    await digitar(p, "conceicao");
    await respondida(p, () => tocar(p, conceicao[arquivo.includes("phone") ? 3 : 4].nr));
    await digitar(p, "conceicao");
    await p.waitForSelector("#resultados button.convidado.completo");
    await p.waitForSelector("#aviso", { state: "hidden" });
    await p.screenshot({ path: resolve(saida, arquivo) });
    if (arquivo === "recepcao-phone.png") {
      await p.context().setOffline(true);
      await p.waitForSelector('body[data-rede="offline"]');
      for (const g of conceicao.slice(6, 8)) {
        await digitar(p, g.nome);
        await tocar(p, g.nr);
      }
      await digitar(p, "conceicao");
      await p.waitForSelector("#aviso", { state: "hidden" });
      await p.screenshot({ path: resolve(saida, "recepcao-phone-offline.png") });
    }
    await p.context().close();
  }
  console.log(`telas em ${saida}`);
} finally {
  await browser.close();
  await srv.parar();
}
