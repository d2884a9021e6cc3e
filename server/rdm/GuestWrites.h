#pragma once
#include <string>

#include "corvana/data/DataPacket.h"
#include "corvana/data/Variant.h"
#include "storage/Database.h"

namespace evt::server::rdm {

// SetConvOrceve: applies a delta of the guest packet in one unit of work.
// Answers true, or Variant::serverError naming the guest and the rule when
// any change is refused (and then nothing is applied). Raises BadRequest for
// a packet that is not a delta of the guest fields.
corvana::Variant ApplyGuestDelta(storage::Database& db, const corvana::DataPacket& delta);

// GetImpLista: imports the guests of a file (rows in reverse file order) in
// one unit of work. Answers the packet of the refused lines, or
// Variant::serverError when a list does not exist or would overflow.
corvana::Variant ImportGuests(storage::Database& db, const corvana::DataPacket& rows);

// GetImpPlanilha: the rows of a spreadsheet for the list (branch, budget,
// sequence), each judged by the list's rules (docs/protocol.md): the
// answer has one verdict per row, in the order sent: added ("A") or refused
// ("R") with a reason code and its text. With dryRun nothing is written (the
// preview); otherwise the rows added are written in one unit of work, all or
// nothing. Answers Variant::serverError when the list does not exist or the
// database refuses; raises BadRequest for a packet without NRCONTLINHA and
// NMLISTACONVOREV or with a column that is not a text.
corvana::Variant ImportSheet(storage::Database& db, const std::string& branch,
                             const std::string& budget, const std::string& sequence,
                             const corvana::DataPacket& rows, bool dryRun);

// A guest added at the door (reception, docs/reception.md), inside the
// caller's write transaction: the name and R.G. stored and checked as a save
// stores and checks them, numbered as SetConvOrceve numbers (the list's last
// number plus one), the placeholders and the list's treatment as an import
// gives them, QUANTIDADE `people` and presence "S". Answers the number.
// Raises Refusal with the user's text: the list missing or full, the name
// empty, too long or with a control character, the name or R.G. already on
// the list.
std::string AddDoorGuest(storage::Connection& connection, const std::string& branch,
                         const std::string& budget, const std::string& sequence,
                         const std::string& name, const std::string& rg, int people);

}  // namespace evt::server::rdm
