#pragma once
// Pieces shared by the methods of the guest-list module: answer packet
// building and the refusal that ends a unit of work. The guest's fields are
// described once in guestrecord/GuestRecord.h.
#include <initializer_list>
#include <string>
#include <vector>

#include "RemoteDataModule.h"
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

// A method's parameter: its name in a refusal ("filial"), what its argument
// must be in the refusal's words ("um texto"), and the test of it. An
// optional one may be left out by the caller (from the last one back).
struct Param {
    const char* label;
    const char* expected;
    bool (*fits)(const corvana::Variant&);
    bool optional = false;
};
Param TextParam(const char* label);
Param PacketParam(const char* label);
// The texts that name a list (filial, orçamento, sequência), then `more`.
std::vector<Param> ListParams(std::initializer_list<Param> more = {});

// Raises BadRequest when the arguments of a call to `method` are not as many
// as its parameters (or its required ones), or one does not fit its
// parameter (naming it).
void CheckArgs(const std::string& method, const std::vector<Param>& params,
               const std::vector<corvana::Variant>& args);

// The entry of `method` in a module's table (entries with a `name` and the
// parameters `args`), its arguments checked; raises UnknownMethod when the
// module `module` has no such method.
template <class Entry>
const Entry& FindMethod(const std::vector<Entry>& table, const std::string& module,
                        const std::string& method, const std::vector<corvana::Variant>& args) {
    for (const Entry& entry : table) {
        if (method != entry.name) continue;
        CheckArgs(method, entry.args, args);
        return entry;
    }
    throw UnknownMethod("Método desconhecido em " + module + ": '" + method + "'.");
}

template <class Entry>
std::vector<std::string> MethodNames(const std::vector<Entry>& table) {
    std::vector<std::string> names;
    for (const Entry& entry : table) names.emplace_back(entry.name);
    return names;
}

// Appends every row the statement yields to the packet, column i of the
// statement into field i: NULL as null, a datetime from its ISO text (null
// when the text is not a date), a float from the stored number.
void AppendRows(storage::Statement& statement, corvana::DataPacket& packet);

// The JSON text of the answer AppendRows would give in a packet of these
// fields (Variant(packet).toJson()), written straight from the statement's
// rows without building them: for answers too large to build first.
std::string PacketAnswerJson(storage::Statement& statement,
                             const std::vector<corvana::FieldDef>& fields);
// The same text appended to `out`.
void AppendPacketAnswerJson(std::string& out, storage::Statement& statement,
                            const std::vector<corvana::FieldDef>& fields);

// "00042" for 42.
std::string GuestNumberText(int number);

}  // namespace evt::server::rdm
