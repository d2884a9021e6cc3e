#include "corvana/db/DatabaseAddress.h"

#include <algorithm>

namespace corvana::db {

DatabaseAddress ParseAddress(std::string_view address) {
    if (address.starts_with("postgresql://") || address.starts_with("postgres://"))
        return {Backend::Postgresql, std::string(address)};
    // "sqlite://" before "sqlite:": sqlite:///abs/path is the file /abs/path.
    for (std::string_view scheme : {"sqlite://", "sqlite:"}) {
        if (address.starts_with(scheme))
            return {Backend::Sqlite, std::string(address.substr(scheme.size()))};
    }
    if (address.find("://") != std::string_view::npos)
        throw corvana::Error("Endereço de banco de dados não reconhecido: '" +
                             ShownLocation(address) + "'.");
    return {Backend::Sqlite, std::string(address)};
}

std::string ShownLocation(std::string_view address) {
    const auto scheme = address.find("://");
    if (scheme == std::string_view::npos) return std::string(address);
    std::string shown(address);
    // user:password@host, within the authority (up to the path or query).
    const auto start = scheme + 3;
    const auto end = std::min(shown.find_first_of("/?#", start), shown.size());
    const auto at = shown.rfind('@', end - 1);
    if (at != std::string::npos && at >= start) {
        const auto colon = shown.find(':', start);
        if (colon < at) shown.replace(colon + 1, at - colon - 1, "***");
    }
    // password=... among the parameters.
    for (auto query = shown.find('?'); query != std::string::npos;) {
        const auto key = shown.find("password=", query);
        if (key == std::string::npos) break;
        const bool whole = shown[key - 1] == '?' || shown[key - 1] == '&';
        const auto value = key + 9;
        const auto stop = std::min(shown.find_first_of("&#", value), shown.size());
        if (whole) shown.replace(value, stop - value, "***");
        query = whole ? value + 3 : value;
    }
    return shown;
}

}  // namespace corvana::db
