#pragma once
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

}  // namespace evt::server::rdm
