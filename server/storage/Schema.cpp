#include "storage/Schema.h"

#include <vector>

#include "corvana/data/Error.h"
#include "corvana/data/Text.h"
#include "storage/Database.h"

namespace evt::server::storage {

namespace {

struct Migration {
    int version;
    const char* script;
};

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
)sql"},
    };
    return migrations;
}

bool isAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

int CurrentSchemaVersion() {
    return Migrations().back().version;
}

void MigrateSchema(Connection& connection, const std::string& location) {
    // Decided inside the write transaction: two servers opening the same new
    // file at once apply the migrations once.
    Transaction tx(connection, Connection::TransactionMode::Write);
    const int found = connection.SchemaVersion();
    const int known = CurrentSchemaVersion();
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
    if (found == known) return;  // nothing to write; the scope ends the transaction
    for (const Migration& m : Migrations()) {
        if (m.version <= found) continue;
        try {
            connection.ExecuteScript(m.script);
        } catch (const corvana::Error& e) {
            throw corvana::Error("Não foi possível atualizar o banco de dados '" + location +
                                 "' para a versão " + std::to_string(m.version) +
                                 " do esquema: " + e.what());
        }
        connection.SetSchemaVersion(m.version);
    }
    tx.Commit();
}

std::string GuestNameKey(std::string_view name) {
    return corvana::foldCase(corvana::trimBlanks(name));
}

std::optional<std::string> GuestDocumentKey(std::string_view value) {
    std::string kept;
    kept.reserve(value.size());
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        // Blanks, punctuation and mask characters are dropped; letters beyond
        // ASCII (bytes >= 0x80) are kept and folded below.
        if (u >= 0x80 || isAsciiAlnum(u)) kept.push_back(c);
    }
    if (kept.empty()) return std::nullopt;
    return corvana::foldCase(kept);
}

std::optional<std::string> GuestOrderKey(std::string_view value) {
    std::string trimmed = corvana::trimBlanks(value);
    if (trimmed.empty() || trimmed == "*") return std::nullopt;
    bool digits = true;
    for (char c : trimmed) digits = digits && c >= '0' && c <= '9';
    if (!digits) return corvana::foldCase(trimmed);
    const std::size_t first = trimmed.find_first_not_of('0');
    return first == std::string::npos ? std::string("0") : trimmed.substr(first);
}

}  // namespace evt::server::storage
