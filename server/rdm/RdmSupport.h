#pragma once
// Pieces shared by the methods of the guest-list module: the guest columns,
// answer packet building and the refusal that ends a unit of work.
#include <array>
#include <string>

#include "corvana/data/DataPacket.h"
#include "corvana/data/Error.h"
#include "storage/Database.h"

namespace evt::server::rdm {

// A refusal the user reads (a repeated name, a row changed by another user).
// Raised inside a unit of work so that leaving the scope rolls it back; the
// method answers Variant::serverError(what()).
class Refusal : public corvana::Error {
public:
    using corvana::Error::Error;
};

// A stored column of a guest besides its list key and list number: name,
// size in characters (0 for the one float column) and how the user knows it.
struct GuestColumn {
    const char* name;
    int size;
    const char* label;
};

// In the order of the guest packet.
inline constexpr std::array<GuestColumn, 14> kGuestValueColumns = {{
    {"IDTPTRATCONVESPEC", 30, "tratamento"},
    {"CDCLIENTELISTCONV", 21, "cliente"},
    {"NRINSJURCLILISCONV", 20, "inscrição"},
    {"NMLISTACONVOREV", 50, "nome"},
    {"NRRGLISTAOREV", 20, "R.G."},
    {"IDCONVPRESEOREV", 1, "presença"},
    {"IDCONDICAOCONVEV", 20, "condição"},
    {"NRTELCONVEVEN", 25, "telefone"},
    {"NRCELCONVEVEN", 25, "celular"},
    {"DSEMAILCONVEVEN", 50, "e-mail"},
    {"IDTIPOCONVEVEN", 10, "tipo"},
    {"IDEXIBECONVCONTRAT", 1, "exibição no contrato"},
    {"NRORDEMEXIBCONTRAT", 2, "ordem no contrato"},
    {"QUANTIDADE", 0, "quantidade"},
}};
inline constexpr std::size_t kGuestTextColumns = 13;  // all but QUANTIDADE
inline constexpr int kNameColumn = 3;                 // NMLISTACONVOREV
inline constexpr int kRgColumn = 4;                   // NRRGLISTAOREV
inline constexpr int kInscriptionColumn = 2;          // NRINSJURCLILISCONV
inline constexpr int kOrderColumn = 12;               // NRORDEMEXIBCONTRAT

// List numbers run from 00001 to 99998; 99999 is what the screens send for
// "no guest" (a guest not saved yet), so it is never given to one.
inline constexpr int kLastGuestNumber = 99998;

inline corvana::FieldDef StringField(const char* name, int size) {
    return {name, corvana::FieldType::String, size};
}
inline corvana::FieldDef FloatField(const char* name) {
    return {name, corvana::FieldType::Float, 0};
}
inline corvana::FieldDef DateTimeField(const char* name) {
    return {name, corvana::FieldType::DateTime, 0};
}

// Appends every row the statement yields to the packet, column i of the
// statement into field i: NULL as null, a datetime from its ISO text (null
// when the text is not a date), a float from the stored number.
void AppendRows(storage::Statement& statement, corvana::DataPacket& packet);

// "00042" for 42.
std::string GuestNumberText(int number);

}  // namespace evt::server::rdm
