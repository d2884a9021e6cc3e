#include "storage/Schema.h"

#include <unicode/uchar.h>

#include <array>
#include <map>
#include <tuple>
#include <vector>

#include "corvana/data/Error.h"
#include "corvana/data/Text.h"
#include "storage/Database.h"
#include "storage/NameFold.h"

namespace evt::server::storage {

namespace {

// What a migration leaves for the log, written once it is committed.
using Notes = std::vector<std::string>;

// A migration runs its SQL script, then its work in code (for what SQL alone
// cannot compute); either may be absent.
struct Migration {
    int version;
    const char* script;
    void (*work)(Connection&, Notes&);
};

void foldAccentsInNameKeys(Connection& connection, Notes& notes);
void keyWhatAPersonSees(Connection& connection, Notes& notes);
void keyByUnicodeData(Connection& connection, Notes& notes);
void guardGuestListsByStatement(Connection& connection, Notes& notes);
std::string forBackend(std::string_view script, corvana::db::Backend backend);

// The name and R.G. indexes with the key first (version 4 on).
constexpr const char* kKeyFirstIndexes = R"sql(
DROP INDEX UX_LISTACONVOREV_NOME;
CREATE UNIQUE INDEX UX_LISTACONVOREV_NOME
    ON LISTACONVOREV (NMCHAVE, CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE);
DROP INDEX UX_LISTACONVOREV_RG;
CREATE UNIQUE INDEX UX_LISTACONVOREV_RG
    ON LISTACONVOREV (RGCHAVE, CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)
    WHERE RGCHAVE IS NOT NULL;
)sql";

// Reception (version 6). RECEPCAO: a list with reception enabled
// (IDRECEPCAO "S"; "N" once turned off again) and its version, raised by
// every write to the list; NRVERSAOLISTA is the version of the last write
// whose changes are not known guest by guest (a desktop save or import).
// RECEPESTACAO: the stations, their one-time code's and their token's
// SHA-256 digests (hex), never the code or the token. RECEPENTRADA: one row
// per check-in (E), undo (D) and door addition (P); QTPESSOAS the people it
// let in (or undid), IDDESFEITA "S" on a check-in undone since, NRVERSAO the
// list version it produced; a station's request id is its key.
constexpr const char* kReceptionTables = R"sql(
CREATE TABLE RECEPCAO (
    CDFILIAL      TEXT NOT NULL,
    NRORCAEVENTO  TEXT NOT NULL,
    NRSEQORCAEVE  TEXT NOT NULL,
    IDRECEPCAO    TEXT NOT NULL DEFAULT 'S' CHECK (IDRECEPCAO IN ('S', 'N')),
    NRVERSAO      INTEGER NOT NULL DEFAULT 0,
    NRVERSAOLISTA INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE),
    FOREIGN KEY (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)
        REFERENCES ORCAEVENTOSEQ (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)
) WITHOUT ROWID;

CREATE TABLE RECEPESTACAO (
    CDESTACAO      INTEGER NOT NULL PRIMARY KEY,
    CDFILIAL       TEXT NOT NULL,
    NRORCAEVENTO   TEXT NOT NULL,
    NRSEQORCAEVE   TEXT NOT NULL,
    NMESTACAO      TEXT NOT NULL CHECK (length(NMESTACAO) BETWEEN 1 AND 30),
    NMCHAVE        TEXT NOT NULL,
    DSCODIGO       TEXT CHECK (length(DSCODIGO) = 64),
    DSTOKEN        TEXT CHECK (length(DSTOKEN) = 64),
    DTCRIACAO      TEXT NOT NULL,
    DTVALIDADE     TEXT NOT NULL,
    DTUSO          TEXT,
    DTULTIMOACESSO TEXT,
    DTREVOGACAO    TEXT,
    FOREIGN KEY (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)
        REFERENCES RECEPCAO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)
);
-- A name once per list among the stations not revoked.
CREATE UNIQUE INDEX UX_RECEPESTACAO_NOME
    ON RECEPESTACAO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NMCHAVE)
    WHERE DTREVOGACAO IS NULL;
CREATE UNIQUE INDEX UX_RECEPESTACAO_CODIGO ON RECEPESTACAO (DSCODIGO)
    WHERE DSCODIGO IS NOT NULL;
CREATE UNIQUE INDEX UX_RECEPESTACAO_TOKEN ON RECEPESTACAO (DSTOKEN)
    WHERE DSTOKEN IS NOT NULL;

CREATE TABLE RECEPENTRADA (
    CDESTACAO       INTEGER NOT NULL REFERENCES RECEPESTACAO (CDESTACAO),
    IDREQUISICAO    TEXT NOT NULL CHECK (length(IDREQUISICAO) BETWEEN 1 AND 64),
    CDFILIAL        TEXT NOT NULL,
    NRORCAEVENTO    TEXT NOT NULL,
    NRSEQORCAEVE    TEXT NOT NULL,
    NRLISTACONVOREV TEXT NOT NULL CHECK (length(NRLISTACONVOREV) = 5),
    IDTIPO          TEXT NOT NULL CHECK (IDTIPO IN ('E', 'D', 'P')),
    QTPESSOAS       INTEGER NOT NULL CHECK (QTPESSOAS >= 1),
    DTENTRADA       TEXT NOT NULL,
    DTREGISTRO      TEXT NOT NULL,
    NRVERSAO        INTEGER NOT NULL,
    IDOFFLINE       TEXT NOT NULL DEFAULT 'N' CHECK (IDOFFLINE IN ('S', 'N')),
    IDDESFEITA      TEXT NOT NULL DEFAULT 'N' CHECK (IDDESFEITA IN ('S', 'N')),
    IDREQDESFEITA   TEXT,
    DSCONFLITO      TEXT CHECK (length(DSCONFLITO) <= 200),
    PRIMARY KEY (CDESTACAO, IDREQUISICAO),
    FOREIGN KEY (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)
        REFERENCES RECEPCAO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)
) WITHOUT ROWID;
CREATE INDEX IX_RECEPENTRADA_CONVIDADO
    ON RECEPENTRADA (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV);
CREATE INDEX IX_RECEPENTRADA_VERSAO
    ON RECEPENTRADA (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRVERSAO);
-- A check-in is undone once.
CREATE UNIQUE INDEX UX_RECEPENTRADA_DESFEITA ON RECEPENTRADA (CDESTACAO, IDREQDESFEITA)
    WHERE IDREQDESFEITA IS NOT NULL;
)sql";

// Every guest list's version (version 7). LISTACONVVERSAO: a list's version,
// raised by every write to its guests (a save, an import, a check-in at the
// door); a list without a row is at version 0. LISTACONVOREV.NRVERSAOCONV:
// the version that last wrote the guest. LISTACONVREMOVIDO: the numbers
// removed from a list and the version that removed them, kept for the last
// kRemovalsKept versions (storage/ListVersion.h). A screen asks for what
// changed since the version it holds instead of the whole list. Lists kept
// from before start at 0. The budget sequence keeps its columns: other
// programs insert budgets as they always did.
constexpr const char* kGuestVersions = R"sql(
CREATE TABLE LISTACONVVERSAO (
    CDFILIAL     TEXT NOT NULL,
    NRORCAEVENTO TEXT NOT NULL,
    NRSEQORCAEVE TEXT NOT NULL,
    NRVERSAOCONV INTEGER NOT NULL,
    PRIMARY KEY (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE),
    FOREIGN KEY (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)
        REFERENCES ORCAEVENTOSEQ (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)
) WITHOUT ROWID;
ALTER TABLE LISTACONVOREV ADD COLUMN NRVERSAOCONV INTEGER NOT NULL DEFAULT 0;
CREATE TABLE LISTACONVREMOVIDO (
    CDFILIAL        TEXT NOT NULL,
    NRORCAEVENTO    TEXT NOT NULL,
    NRSEQORCAEVE    TEXT NOT NULL,
    NRLISTACONVOREV TEXT NOT NULL CHECK (length(NRLISTACONVOREV) = 5),
    NRVERSAOCONV    INTEGER NOT NULL,
    PRIMARY KEY (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV),
    FOREIGN KEY (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)
        REFERENCES ORCAEVENTOSEQ (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)
) WITHOUT ROWID;
)sql";

// The guests' list on PostgreSQL (version 8): the foreign key from
// LISTACONVOREV to ORCAEVENTOSEQ becomes triggers that keep the same rule.
// PostgreSQL checks a foreign key with a query of its own per inserted row
// (60% of an import's COPY); these check an insert's lists once per
// statement, from the rows it inserted (a transition table), and lock each
// list's budget sequence as the key did (FOR KEY SHARE), so a sequence
// deleted at the same time waits for the insert and then sees its guests.
// A guest moved to another list is checked row by row; a sequence that
// still has guests can be neither deleted nor renumbered. The error is the
// foreign key's (SQLSTATE 23503) with the constraint FK_LISTACONVOREV_LISTA.
// SQLite keeps its foreign key: its check is a lookup in the same b-tree
// engine, 4% of an import.
constexpr const char* kGuestListGuard = R"sql(
CREATE FUNCTION LISTACONVOREV_LISTAS_NOVAS() RETURNS trigger LANGUAGE plpgsql
SET search_path FROM CURRENT AS $$
BEGIN
    IF EXISTS (SELECT 1 FROM (SELECT DISTINCT CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE FROM NOVOS) n
               WHERE NOT EXISTS (SELECT 1 FROM ORCAEVENTOSEQ s
                                 WHERE s.CDFILIAL = n.CDFILIAL
                                   AND s.NRORCAEVENTO = n.NRORCAEVENTO
                                   AND s.NRSEQORCAEVE = n.NRSEQORCAEVE
                                 FOR KEY SHARE)) THEN
        RAISE EXCEPTION 'convidado de uma lista que não existe em ORCAEVENTOSEQ'
            USING ERRCODE = 'foreign_key_violation', CONSTRAINT = 'FK_LISTACONVOREV_LISTA';
    END IF;
    RETURN NULL;
END $$;
CREATE FUNCTION LISTACONVOREV_LISTA_TROCADA() RETURNS trigger LANGUAGE plpgsql
SET search_path FROM CURRENT AS $$
BEGIN
    PERFORM 1 FROM ORCAEVENTOSEQ s
     WHERE s.CDFILIAL = NEW.CDFILIAL AND s.NRORCAEVENTO = NEW.NRORCAEVENTO
       AND s.NRSEQORCAEVE = NEW.NRSEQORCAEVE
       FOR KEY SHARE;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'convidado de uma lista que não existe em ORCAEVENTOSEQ'
            USING ERRCODE = 'foreign_key_violation', CONSTRAINT = 'FK_LISTACONVOREV_LISTA';
    END IF;
    RETURN NULL;
END $$;
CREATE FUNCTION ORCAEVENTOSEQ_CONVIDADOS() RETURNS trigger LANGUAGE plpgsql
SET search_path FROM CURRENT AS $$
BEGIN
    IF TG_OP = 'UPDATE' AND (NEW.CDFILIAL, NEW.NRORCAEVENTO, NEW.NRSEQORCAEVE)
                            IS NOT DISTINCT FROM (OLD.CDFILIAL, OLD.NRORCAEVENTO, OLD.NRSEQORCAEVE) THEN
        RETURN NULL;
    END IF;
    IF EXISTS (SELECT 1 FROM LISTACONVOREV g
               WHERE g.CDFILIAL = OLD.CDFILIAL AND g.NRORCAEVENTO = OLD.NRORCAEVENTO
                 AND g.NRSEQORCAEVE = OLD.NRSEQORCAEVE) THEN
        RAISE EXCEPTION 'a sequência do orçamento ainda tem convidados em LISTACONVOREV'
            USING ERRCODE = 'foreign_key_violation', CONSTRAINT = 'FK_LISTACONVOREV_LISTA';
    END IF;
    RETURN NULL;
END $$;
CREATE TRIGGER LISTACONVOREV_LISTAS_NOVAS AFTER INSERT ON LISTACONVOREV
    REFERENCING NEW TABLE AS NOVOS FOR EACH STATEMENT
    EXECUTE FUNCTION LISTACONVOREV_LISTAS_NOVAS();
CREATE TRIGGER LISTACONVOREV_LISTA_TROCADA
    AFTER UPDATE OF CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE ON LISTACONVOREV FOR EACH ROW
    WHEN ((OLD.CDFILIAL, OLD.NRORCAEVENTO, OLD.NRSEQORCAEVE)
          IS DISTINCT FROM (NEW.CDFILIAL, NEW.NRORCAEVENTO, NEW.NRSEQORCAEVE))
    EXECUTE FUNCTION LISTACONVOREV_LISTA_TROCADA();
CREATE TRIGGER ORCAEVENTOSEQ_CONVIDADOS
    AFTER DELETE OR UPDATE OF CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE ON ORCAEVENTOSEQ
    FOR EACH ROW EXECUTE FUNCTION ORCAEVENTOSEQ_CONVIDADOS();
)sql";

// Each migration takes the schema from version - 1 to version. A released
// migration is never edited: a change to the schema is a new entry.
//
// Text lengths are checked by the database too, so that no layer above can
// store a value longer than its column (nothing is ever cut silently).
const std::vector<Migration>& Migrations() {
    static const std::vector<Migration> migrations = {
        {1, R"sql(
CREATE TABLE FILIAL (
    CDFILIAL TEXT NOT NULL PRIMARY KEY CHECK (length(CDFILIAL) <= 4),
    NMFILIAL TEXT
);

CREATE TABLE CLIENTE (
    CDCLIENTE    TEXT NOT NULL PRIMARY KEY CHECK (length(CDCLIENTE) <= 21),
    NRINSJURCLIE TEXT CHECK (length(NRINSJURCLIE) <= 20),
    IDTPIJURCLIE TEXT CHECK (IDTPIJURCLIE IN ('F', 'J')),
    NMFANTCLIE   TEXT CHECK (length(NMFANTCLIE) <= 50)
);
CREATE INDEX IX_CLIENTE_NRINSJURCLIE ON CLIENTE (NRINSJURCLIE);
CREATE INDEX IX_CLIENTE_NMFANTCLIE ON CLIENTE (NMFANTCLIE, CDCLIENTE);

CREATE TABLE ENDECLIE (
    CDCLIENTE    TEXT NOT NULL REFERENCES CLIENTE (CDCLIENTE),
    ORDEM        INTEGER NOT NULL,
    IDTPENDECLIE TEXT CHECK (length(IDTPENDECLIE) <= 1),
    NRTELECLIE   TEXT CHECK (length(NRTELECLIE) <= 25),
    DSEMAILCLIE  TEXT CHECK (length(DSEMAILCLIE) <= 50),
    NRCELULARCLI TEXT CHECK (length(NRCELULARCLI) <= 25),
    PRIMARY KEY (CDCLIENTE, ORDEM)
);

CREATE TABLE ORCAEVENTO (
    CDFILIAL     TEXT NOT NULL REFERENCES FILIAL (CDFILIAL),
    NRORCAEVENTO TEXT NOT NULL CHECK (length(NRORCAEVENTO) <= 10),
    CDCLIENTE    TEXT REFERENCES CLIENTE (CDCLIENTE),
    NMTPSERVEVEN TEXT CHECK (length(NMTPSERVEVEN) <= 30),
    NMTIPOEVENTO TEXT CHECK (length(NMTIPOEVENTO) <= 30),
    DTEVENTO     TEXT,
    PRIMARY KEY (CDFILIAL, NRORCAEVENTO)
);
CREATE INDEX IX_ORCAEVENTO_CDCLIENTE ON ORCAEVENTO (CDCLIENTE);

CREATE TABLE ORCAEVENTOSEQ (
    CDFILIAL     TEXT NOT NULL,
    NRORCAEVENTO TEXT NOT NULL,
    NRSEQORCAEVE TEXT NOT NULL CHECK (length(NRSEQORCAEVE) <= 2),
    QTCONVORCEVE REAL,
    IDRESULT     TEXT NOT NULL DEFAULT 'N' CHECK (IDRESULT IN ('S', 'N')),
    PRIMARY KEY (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE),
    FOREIGN KEY (CDFILIAL, NRORCAEVENTO) REFERENCES ORCAEVENTO (CDFILIAL, NRORCAEVENTO)
);
-- A budget has at most one resulting copy.
CREATE UNIQUE INDEX UX_ORCAEVENTOSEQ_RESULTADO
    ON ORCAEVENTOSEQ (CDFILIAL, NRORCAEVENTO) WHERE IDRESULT = 'S';

CREATE TABLE LISTACONVOREV (
    CDFILIAL           TEXT NOT NULL,
    NRORCAEVENTO       TEXT NOT NULL,
    NRSEQORCAEVE       TEXT NOT NULL,
    NRLISTACONVOREV    TEXT NOT NULL CHECK (length(NRLISTACONVOREV) = 5),
    IDTPTRATCONVESPEC  TEXT CHECK (length(IDTPTRATCONVESPEC) <= 30),
    CDCLIENTELISTCONV  TEXT CHECK (length(CDCLIENTELISTCONV) <= 21),
    NRINSJURCLILISCONV TEXT CHECK (length(NRINSJURCLILISCONV) <= 20),
    NMLISTACONVOREV    TEXT NOT NULL CHECK (length(NMLISTACONVOREV) <= 50),
    NRRGLISTAOREV      TEXT CHECK (length(NRRGLISTAOREV) <= 20),
    IDCONVPRESEOREV    TEXT CHECK (length(IDCONVPRESEOREV) <= 1),
    IDCONDICAOCONVEV   TEXT CHECK (length(IDCONDICAOCONVEV) <= 20),
    NRTELCONVEVEN      TEXT CHECK (length(NRTELCONVEVEN) <= 25),
    NRCELCONVEVEN      TEXT CHECK (length(NRCELCONVEVEN) <= 25),
    DSEMAILCONVEVEN    TEXT CHECK (length(DSEMAILCONVEVEN) <= 50),
    IDTIPOCONVEVEN     TEXT CHECK (length(IDTIPOCONVEVEN) <= 10),
    IDEXIBECONVCONTRAT TEXT CHECK (length(IDEXIBECONVCONTRAT) <= 1),
    NRORDEMEXIBCONTRAT TEXT CHECK (length(NRORDEMEXIBCONTRAT) <= 2),
    QUANTIDADE         REAL,
    -- Keys filled by the server (see GuestNameKey and friends).
    NMCHAVE            TEXT NOT NULL,
    RGCHAVE            TEXT,
    INSCCHAVE          TEXT,
    ORDEMCHAVE         TEXT,
    PRIMARY KEY (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV),
    FOREIGN KEY (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)
        REFERENCES ORCAEVENTOSEQ (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)
) WITHOUT ROWID;
-- Guests are stored in the order of their list key and number (no rowid
-- table beside the key's index): a list is read in one range scan and an
-- import writes one tree less per guest.
-- The list's rules. A key that is not given (NULL) never collides and is
-- left out of its index altogether: most guests have no R.G., inscription or
-- contract order, and an import then writes one index less per guest.
CREATE UNIQUE INDEX UX_LISTACONVOREV_NOME
    ON LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NMCHAVE);
CREATE UNIQUE INDEX UX_LISTACONVOREV_RG
    ON LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, RGCHAVE)
    WHERE RGCHAVE IS NOT NULL;
CREATE UNIQUE INDEX UX_LISTACONVOREV_INSC
    ON LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, INSCCHAVE)
    WHERE INSCCHAVE IS NOT NULL;
CREATE UNIQUE INDEX UX_LISTACONVOREV_ORDEM
    ON LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, ORDEMCHAVE)
    WHERE ORDEMCHAVE IS NOT NULL;
)sql",
         nullptr},
        // Name keys fold accents as well as case (GuestNameKey).
        {2, nullptr, foldAccentsInNameKeys},
        // Keys take look-alike blanks as blanks and invisible characters as
        // nothing; document keys keep letters and digits of any script only.
        {3, nullptr, keyWhatAPersonSees},
        // The name and R.G. indexes lead with the key. Every entry of a list
        // starts with the same branch, budget and sequence: with those first,
        // each comparison of a lookup went through the three before reaching
        // the key; with the key first most are decided by its first bytes.
        // An import looks up and writes both indexes for every line. The
        // rules are the same: one key per list.
        {4, kKeyFirstIndexes, nullptr},
        // Keys by Unicode's own data: every space separator a blank, format
        // characters and default-ignorable code points nothing,
        // compatibility forms folded (NFKC: full-width digits, ligatures).
        {5, nullptr, keyByUnicodeData},
        // Reception at the door (docs/reception.md): the lists with
        // reception enabled and their versions, the stations, and one row per
        // check-in, undo and door addition.
        {6, kReceptionTables, nullptr},
        // Every guest list's version, the version of each guest and the
        // numbers removed (docs/protocol.md: the changes since a version).
        {7, kGuestVersions, nullptr},
        // PostgreSQL: the guests' list is checked against the budget
        // sequence once per statement instead of once per row.
        {8, nullptr, guardGuestListsByStatement},
    };
    return migrations;
}

void foldAccentsInNameKeys(Connection& connection, Notes& notes) {
    struct Guest {
        std::string branch, budget, sequence, number, name, key;
    };
    std::vector<Guest> guests;
    {
        auto st = connection.Prepare(
            "SELECT CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV, NMLISTACONVOREV, "
            "NMCHAVE FROM LISTACONVOREV "
            "ORDER BY CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV");
        while (st->Step())
            guests.push_back(
                {st->Text(0), st->Text(1), st->Text(2), st->Text(3), st->Text(4), st->Text(5)});
    }
    // Keys change in any order: the list's rule is checked again when the
    // index is built anew over the final keys.
    connection.ExecuteScript("DROP INDEX UX_LISTACONVOREV_NOME");
    auto update = connection.Prepare(
        "UPDATE LISTACONVOREV SET NMCHAVE = ? WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
        "NRSEQORCAEVE = ? AND NRLISTACONVOREV = ?");
    std::map<std::string, const Guest*> holders;  // of the current list, by key
    const Guest* previous = nullptr;
    for (const Guest& g : guests) {
        if (!previous || std::tie(g.branch, g.budget, g.sequence) !=
                             std::tie(previous->branch, previous->budget, previous->sequence))
            holders.clear();
        previous = &g;
        // The key as version 2 computed it, whatever the keys of later
        // versions: a database migrated from version 1 goes through the same
        // steps as one that stopped at each version.
        std::string key = FoldName(corvana::trimBlanks(g.name));
        const auto [holder, first] = holders.emplace(key, &g);
        if (!first) {
            const Guest& kept = *holder->second;
            key = TwinKey(key, g.number);
            notes.push_back("a lista de convidados (filial " + g.branch + ", orçamento " +
                            g.budget + ", sequência " + g.sequence + ") tem os convidados " +
                            kept.number + " '" + kept.name + "' e " + g.number + " '" + g.name +
                            "', que passam a ter o mesmo nome (acentos e maiúsculas não os "
                            "distinguem); os dois foram mantidos. Altere o nome de um deles.");
        }
        if (key == g.key) continue;
        update->Reset();
        update->BindAll(key, g.branch, g.budget, g.sequence, g.number).Execute();
    }
    connection.ExecuteScript(
        "CREATE UNIQUE INDEX UX_LISTACONVOREV_NOME "
        "ON LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NMCHAVE)");
}

// A key column of the guest table, its unique index and how the notes of a
// migration name what two guests came to share.
struct KeyColumn {
    const char* column;       // NMCHAVE
    const char* valueColumn;  // NMLISTACONVOREV
    const char* index;        // UX_LISTACONVOREV_NOME
    const char* shared;       // "o mesmo nome"
    const char* what;         // "o nome"
    std::optional<std::string> (*key)(std::string_view value);
};

std::optional<std::string> nameKeyOf(std::string_view name) {
    return GuestNameKey(name);
}

constexpr std::array<KeyColumn, 4> kKeyColumns{{
    {"NMCHAVE", "NMLISTACONVOREV", "UX_LISTACONVOREV_NOME", "o mesmo nome", "o nome", nameKeyOf},
    {"RGCHAVE", "NRRGLISTAOREV", "UX_LISTACONVOREV_RG", "o mesmo R.G.", "o R.G.", GuestDocumentKey},
    {"INSCCHAVE", "NRINSJURCLILISCONV", "UX_LISTACONVOREV_INSC", "a mesma inscrição", "a inscrição",
     GuestDocumentKey},
    {"ORDEMCHAVE", "NRORDEMEXIBCONTRAT", "UX_LISTACONVOREV_ORDEM", "a mesma ordem no contrato",
     "a ordem no contrato", GuestOrderKey},
}};

// Every key of every guest computed again. Two guests of a list whose values
// now give one key (a name typed with a non-breaking space beside the same
// name typed plainly) both stay, as the accent twins of version 2 did: the
// later one's key is marked with its list number and a note names the pair.
// A guest that was a marked twin already stays one without a new note.
void keyWhatAPersonSees(Connection& connection, Notes& notes) {
    constexpr std::size_t kKeys = kKeyColumns.size();
    struct Guest {
        std::string branch, budget, sequence, number, name;
        std::array<std::optional<std::string>, kKeys> values, keys;
    };
    std::vector<Guest> guests;
    {
        std::string sql = "SELECT CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV";
        for (const KeyColumn& k : kKeyColumns)
            sql += std::string(", ") + k.valueColumn + ", " + k.column;
        sql += " FROM LISTACONVOREV ORDER BY CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV";
        auto st = connection.Prepare(sql);
        while (st->Step()) {
            Guest g{st->Text(0), st->Text(1), st->Text(2), st->Text(3), {}, {}, {}};
            for (std::size_t k = 0; k < kKeys; ++k) {
                const int at = 4 + 2 * static_cast<int>(k);
                g.values[k] = st->OptText(at);
                g.keys[k] = st->OptText(at + 1);
            }
            g.name = g.values[0].value_or("");
            guests.push_back(std::move(g));
        }
    }
    // Keys change in any order: each rule is checked again when its index is
    // built anew over the final keys.
    for (const KeyColumn& k : kKeyColumns)
        connection.ExecuteScript(std::string("DROP INDEX ") + k.index);
    std::string sql = "UPDATE LISTACONVOREV SET ";
    for (std::size_t k = 0; k < kKeys; ++k)
        sql += std::string(k ? ", " : "") + kKeyColumns[k].column + " = ?";
    sql += " WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ? AND NRLISTACONVOREV = ?";
    auto update = connection.Prepare(sql);

    std::array<std::map<std::string, const Guest*>, kKeys> holders;  // of the current list
    const Guest* previous = nullptr;
    for (const Guest& g : guests) {
        if (!previous || std::tie(g.branch, g.budget, g.sequence) !=
                             std::tie(previous->branch, previous->budget, previous->sequence)) {
            for (auto& h : holders) h.clear();
        }
        previous = &g;
        std::array<std::optional<std::string>, kKeys> keys;
        for (std::size_t k = 0; k < kKeys; ++k) {
            const KeyColumn& column = kKeyColumns[k];
            keys[k] = column.key(g.values[k].value_or(""));
            if (!keys[k]) continue;
            const auto [holder, first] = holders[k].emplace(*keys[k], &g);
            if (first) continue;
            keys[k] = TwinKey(*keys[k], g.number);
            if (keys[k] == g.keys[k]) continue;  // a twin already, and noted then
            const Guest& kept = *holder->second;
            auto shown = [&](const Guest& guest) {
                std::string text =
                    guest.number + " '" + corvana::showControlChars(guest.name) + "'";
                if (k > 0)
                    text += " (" + corvana::showControlChars(guest.values[k].value_or("")) + ")";
                return text;
            };
            notes.push_back("a lista de convidados (filial " + g.branch + ", orçamento " +
                            g.budget + ", sequência " + g.sequence + ") tem os convidados " +
                            shown(kept) + " e " + shown(g) + ", que passam a ter " + column.shared +
                            " (espaços especiais, caracteres invisíveis e sinais não os "
                            "distinguem); os dois foram mantidos. Altere " +
                            column.what + " de um deles.");
        }
        if (keys == g.keys) continue;
        update->Reset();
        int p = 1;
        for (const auto& key : keys) update->Bind(p++, key);
        for (const std::string* place : {&g.branch, &g.budget, &g.sequence, &g.number})
            update->Bind(p++, *place);
        update->Execute();
    }
    connection.ExecuteScript(
        "CREATE UNIQUE INDEX UX_LISTACONVOREV_NOME "
        "ON LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NMCHAVE);"
        "CREATE UNIQUE INDEX UX_LISTACONVOREV_RG "
        "ON LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, RGCHAVE) "
        "WHERE RGCHAVE IS NOT NULL;"
        "CREATE UNIQUE INDEX UX_LISTACONVOREV_INSC "
        "ON LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, INSCCHAVE) "
        "WHERE INSCCHAVE IS NOT NULL;"
        "CREATE UNIQUE INDEX UX_LISTACONVOREV_ORDEM "
        "ON LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, ORDEMCHAVE) "
        "WHERE ORDEMCHAVE IS NOT NULL;");
}

// Every key computed again by today's rules (as version 3 did), the
// indexes then laid out as version 4 has them.
void keyByUnicodeData(Connection& connection, Notes& notes) {
    keyWhatAPersonSees(connection, notes);
    connection.ExecuteScript(forBackend(kKeyFirstIndexes, connection.Backend()));
}

void guardGuestListsByStatement(Connection& connection, Notes&) {
    if (connection.Backend() != corvana::db::Backend::Postgresql) return;
    std::vector<std::string> keys;
    {
        auto st = connection.Prepare(
            "SELECT conname FROM pg_constraint WHERE contype = 'f' "
            "AND conrelid = 'LISTACONVOREV'::regclass AND confrelid = 'ORCAEVENTOSEQ'::regclass");
        while (st->Step()) keys.push_back(st->Text(0));
    }
    for (const std::string& key : keys)
        connection.ExecuteScript("ALTER TABLE LISTACONVOREV DROP CONSTRAINT \"" + key + "\"");
    connection.ExecuteScript(kGuestListGuard);
}

bool wordAt(std::string_view text, std::size_t at, std::string_view word) {
    auto nameChar = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_';
    };
    return text.substr(at, word.size()) == word && (at == 0 || !nameChar(text[at - 1])) &&
           (at + word.size() == text.size() || !nameChar(text[at + word.size()]));
}

// A migration's script as the connection's backend takes it. The scripts are
// written for SQLite; on PostgreSQL a REAL is a DOUBLE PRECISION (its REAL
// holds 6 digits), texts compare byte by byte as SQLite's do (COLLATE "C":
// lists come out in the same order whatever the database's locale), and
// every table has the row storage SQLite calls WITHOUT ROWID.
std::string forBackend(std::string_view script, corvana::db::Backend backend) {
    if (backend != corvana::db::Backend::Postgresql) return std::string(script);
    std::string out;
    for (std::size_t i = 0; i < script.size();) {
        if (wordAt(script, i, "REAL")) {
            out += "DOUBLE PRECISION";
            i += 4;
        } else if (wordAt(script, i, "TEXT")) {
            out += "TEXT COLLATE \"C\"";
            i += 4;
        } else if (wordAt(script, i, "WITHOUT") && script.substr(i, 13) == "WITHOUT ROWID") {
            i += 13;
        } else {
            out.push_back(script[i++]);
        }
    }
    return out;
}

}  // namespace

std::string TwinKey(const std::string& key, const std::string& number) {
    return key + "#GEMEO-" + number;
}

int CurrentSchemaVersion() {
    return Migrations().back().version;
}

void MigrateSchema(Connection& connection, const std::string& location, const LogLine& log,
                   int target) {
    // Decided inside the write transaction: two servers opening the same new
    // file at once apply the migrations once.
    Transaction tx(connection, Connection::TransactionMode::Write);
    const int found = connection.SchemaVersion();
    const int known = CurrentSchemaVersion();
    if (target <= 0 || target > known) target = known;
    if (found > known) {
        throw corvana::Error("O banco de dados '" + location + "' está na versão " +
                             std::to_string(found) + " do esquema, mais nova que a versão " +
                             std::to_string(known) +
                             " que este servidor conhece. Atualize o servidor.");
    }
    if (found < 0) {
        throw corvana::Error("O banco de dados '" + location +
                             "' registra uma versão de esquema inválida (" + std::to_string(found) +
                             ").");
    }
    if (found >= target) return;  // nothing to write; the scope ends the transaction
    Notes notes;
    for (const Migration& m : Migrations()) {
        if (m.version <= found || m.version > target) continue;
        try {
            if (m.script) connection.ExecuteScript(forBackend(m.script, connection.Backend()));
            if (m.work) m.work(connection, notes);
        } catch (const corvana::Error& e) {
            throw corvana::Error("Não foi possível atualizar o banco de dados '" + location +
                                 "' para a versão " + std::to_string(m.version) +
                                 " do esquema: " + e.what());
        }
        connection.SetSchemaVersion(m.version);
    }
    tx.Commit();
    for (const std::string& note : notes) log("banco de dados '" + location + "': " + note);
}

std::string GuestNameKey(std::string_view name) {
    return FoldName(corvana::trimBlanks(CompatibleText(VisibleText(name))));
}

std::optional<std::string> GuestDocumentKey(std::string_view value) {
    const std::string text = CompatibleText(VisibleText(value));
    std::string kept;
    kept.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const corvana::Utf8Char c = corvana::decodeUtf8At(text, i);
        // Blanks, punctuation, marks and mask characters are dropped; a bad
        // byte is kept as it is.
        if (!c.valid || u_isalnum(static_cast<UChar32>(c.codePoint)))
            kept.append(text, i, c.length);
        i += c.length;
    }
    if (kept.empty()) return std::nullopt;
    return corvana::foldCase(kept);
}

std::optional<std::string> GuestOrderKey(std::string_view value) {
    std::string trimmed = corvana::trimBlanks(CompatibleText(VisibleText(value)));
    if (trimmed.empty() || trimmed == "*") return std::nullopt;
    bool digits = true;
    for (char c : trimmed) digits = digits && c >= '0' && c <= '9';
    if (!digits) return corvana::foldCase(trimmed);
    const std::size_t first = trimmed.find_first_not_of('0');
    return first == std::string::npos ? std::string("0") : trimmed.substr(first);
}

}  // namespace evt::server::storage
