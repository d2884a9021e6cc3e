#pragma once
// The guest record: the fields of one guest of a list, in the order of the
// guest packet that the application server answers (GetConvOrceve) and takes
// back as a delta (SetConvOrceve). The server builds its packets, its SQL and
// its checks from this description, the guest list screen declares its
// dataset from it, and the tests build their rows with it. A field's index is
// found by its name at compile time (IndexOf): renaming or moving a field
// here breaks the build of code that names it, never the data.
#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "corvana/data/DataPacket.h"

namespace evt::guestrecord {

// Where a field's value comes from.
enum class Origin {
    Place,   // which list and which guest: branch, budget, sequence, list number
    Guest,   // stored with the guest (LISTACONVOREV)
    Client,  // of the client the guest is linked to, read with the list (CLIENTE)
};

struct Field {
    std::string_view name;
    corvana::FieldType type;
    int size;  // characters, for strings; 0 otherwise
    Origin origin;
    // What a new guest holds in the field when it is left empty; empty when
    // the field has no placeholder.
    std::string_view placeholder;
    // How the user knows a stored field in the server's messages.
    std::string_view label;
};

namespace detail {
constexpr Field Stored(std::string_view name, int size, std::string_view label,
                       std::string_view placeholder = {}) {
    return {name, corvana::FieldType::String, size, Origin::Guest, placeholder, label};
}
constexpr Field StoredNumber(std::string_view name, std::string_view label) {
    return {name, corvana::FieldType::Float, 0, Origin::Guest, {}, label};
}
constexpr Field Place(std::string_view name, int size) {
    return {name, corvana::FieldType::String, size, Origin::Place, {}, {}};
}
constexpr Field OfClient(std::string_view name, int size) {
    return {name, corvana::FieldType::String, size, Origin::Client, {}, {}};
}
}  // namespace detail

// Adding a field: docs/architecture.md, "Adding a field to the guest".
inline constexpr auto kFields = std::to_array<Field>({
    detail::Stored("IDTPTRATCONVESPEC", 30, "tratamento", "*"),
    detail::Stored("CDCLIENTELISTCONV", 21, "cliente", "*"),
    detail::Stored("NRINSJURCLILISCONV", 20, "inscrição", "*"),
    detail::Stored("NMLISTACONVOREV", 50, "nome"),
    detail::Stored("NRRGLISTAOREV", 20, "R.G.", "*"),
    detail::Stored("IDCONVPRESEOREV", 1, "presença", "N"),
    detail::Stored("IDCONDICAOCONVEV", 20, "condição", "*"),
    detail::Stored("NRTELCONVEVEN", 25, "telefone", "*"),
    detail::Stored("NRCELCONVEVEN", 25, "celular", "*"),
    detail::Stored("DSEMAILCONVEVEN", 50, "e-mail", "*"),
    detail::Stored("IDTIPOCONVEVEN", 10, "tipo", "NORMAL"),
    detail::Stored("IDEXIBECONVCONTRAT", 1, "exibição no contrato", "N"),
    detail::Stored("NRORDEMEXIBCONTRAT", 2, "ordem no contrato", "*"),
    detail::OfClient("NMFANTCLIE", 50),
    detail::OfClient("IDTPIJURCLIE", 1),
    detail::OfClient("NRINSJURCLIE", 20),
    detail::Place("CDFILIAL", 4),
    detail::Place("NRORCAEVENTO", 10),
    detail::Place("NRLISTACONVOREV", 5),
    detail::StoredNumber("QUANTIDADE", "quantidade"),
    detail::Place("NRSEQORCAEVE", 2),
});

inline constexpr std::size_t kFieldCount = kFields.size();

// The index of the field named `name` in the packet. A name that is not a
// field of the record stops the build.
consteval std::size_t IndexOf(std::string_view name) {
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        if (kFields[i].name == name) return i;
    }
    throw "not a field of the guest record";
}

// The field named `name`, as IndexOf finds it.
consteval const Field& FieldNamed(std::string_view name) {
    return kFields[IndexOf(name)];
}

consteval std::size_t CountOf(Origin origin) {
    std::size_t count = 0;
    for (const Field& f : kFields) count += f.origin == origin ? 1 : 0;
    return count;
}

// The indices of the fields from `origin`, in packet order.
template <Origin origin>
consteval std::array<std::size_t, CountOf(origin)> IndicesOf() {
    std::array<std::size_t, CountOf(origin)> indices{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        if (kFields[i].origin == origin) indices[n++] = i;
    }
    return indices;
}

// A coded field's stored code and the word the guest list shows for it.
struct Code {
    std::string_view code;
    std::string_view word;
};

// IDCONDICAOCONVEV: the guest's part in the event; empty for none.
inline constexpr auto kConditions = std::to_array<Code>({{"NOIVO", "Noivo"},
                                                         {"NOIVA", "Noiva"},
                                                         {"DEBUTANTE", "Debutante"},
                                                         {"REPRESENTANTE", "Representante"}});
// IDTIPOCONVEVEN: the placeholder, NORMAL, or a special guest.
inline constexpr auto kTypes =
    std::to_array<Code>({{"NORMAL", "Normal"}, {"ESPECIAL", "Especial"}});
// IDEXIBECONVCONTRAT: shown in the contract or not.
inline constexpr auto kYesNo = std::to_array<Code>({{"S", "Sim"}, {"N", "Não"}});

inline corvana::FieldDef Def(const Field& field) {
    return {std::string(field.name), field.type, field.size};
}

// The fields of the guest packet, in its order.
inline std::vector<corvana::FieldDef> PacketFields() {
    std::vector<corvana::FieldDef> defs;
    defs.reserve(kFields.size());
    for (const Field& f : kFields) defs.push_back(Def(f));
    return defs;
}

}  // namespace evt::guestrecord
