#pragma once
// A guest list brought up to date by its changes: GetConvOrceve with a
// fourth argument, the list version the caller holds (docs/protocol.md),
// answers [version, complete, guests, removed numbers]. The guest list
// screen applies it to the list it shows; the tests apply it as the screen
// does and compare with a whole reload.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataPacket.h"
#include "corvana/data/Variant.h"

namespace evt::guestrecord {

// The list number: the key the list is kept in order of.
inline constexpr const char* kListNumberField = "NRLISTACONVOREV";

struct ListChanges {
    std::int64_t version = 0;
    // The guests are the whole list (the changes since the version sent were
    // not known); otherwise the guests written since, and the numbers gone.
    bool complete = true;
    corvana::PackedData guests;
    std::vector<std::string> removed;
};

// The answer read as TNetConnection::CallData reads it: the guests packed
// as they were read, null in the answer where they were. nullopt when it is
// not of that form (a server error, say).
inline std::optional<ListChanges> ReadListChanges(const corvana::Variant& answer,
                                                  std::optional<corvana::PackedData>&& guests) {
    using Kind = corvana::Variant::Kind;
    if (!guests || !answer.isArray() || answer.arraySize() != 4) return std::nullopt;
    const corvana::Variant& version = answer[0];
    const corvana::Variant& complete = answer[1];
    const corvana::Variant& removed = answer[3];
    if (version.kind() != Kind::Int || complete.kind() != Kind::Bool || !answer[2].isNull() ||
        !removed.isArray())
        return std::nullopt;
    ListChanges changes;
    changes.version = version.toInt();
    changes.complete = complete.toBool();
    for (const corvana::Variant& number : removed.asArray()) {
        if (!number.isString()) return std::nullopt;
        changes.removed.push_back(number.asString());
    }
    changes.guests = std::move(*guests);
    return changes;
}

// The list shown brought up to date: loaded again when the changes are the
// whole list, otherwise the rows merged in place by their number
// (ClientDataSet::MergeRows). Answers the rows written (none for a whole
// list). Raises corvana::Error, the list as it was, when it cannot merge.
inline std::vector<int> ApplyListChanges(corvana::ClientDataSet& list, ListChanges&& changes) {
    if (changes.complete) {
        list.SetData(std::move(changes.guests));
        return {};
    }
    return list.MergeRows(kListNumberField, std::move(changes.guests), changes.removed);
}

}  // namespace evt::guestrecord
