#include "storage/ListLock.h"

namespace evt::server::storage {

std::string ListLockKey(std::string_view branch, std::string_view budget,
                        std::string_view sequence) {
    // Two lists that gave one text would only share a lock; the separator
    // (a control character, which no key holds) keeps them apart anyway.
    std::string key = "LISTACONVOREV";
    for (const std::string_view part : {branch, budget, sequence}) {
        key += '\x1F';
        key += part;
    }
    return key;
}

void LockList(Connection& connection, std::string_view branch, std::string_view budget,
              std::string_view sequence) {
    connection.LockKeys({ListLockKey(branch, budget, sequence)});
}

void LockLists(Connection& connection, const std::vector<ListLockId>& lists) {
    std::vector<std::string> keys;
    keys.reserve(lists.size());
    for (const auto& [branch, budget, sequence] : lists)
        keys.push_back(ListLockKey(branch, budget, sequence));
    connection.LockKeys(keys);
}

}  // namespace evt::server::storage
