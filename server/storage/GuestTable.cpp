#include "storage/GuestTable.h"

#include "storage/Schema.h"

namespace evt::server::storage {

namespace {
constexpr std::size_t kName = guestrecord::IndexOf("NMLISTACONVOREV");
constexpr std::size_t kRg = guestrecord::IndexOf("NRRGLISTAOREV");
constexpr std::size_t kInscription = guestrecord::IndexOf("NRINSJURCLILISCONV");
constexpr std::size_t kOrder = guestrecord::IndexOf("NRORDEMEXIBCONTRAT");
}  // namespace

const std::vector<std::string>& GuestInsertColumns() {
    static const std::vector<std::string> columns = [] {
        std::vector<std::string> all;
        for (std::size_t field : kGuestPlace) all.emplace_back(guestrecord::kFields[field].name);
        for (std::size_t field : kGuestValues) all.emplace_back(guestrecord::kFields[field].name);
        for (const char* key : kGuestKeyColumns) all.emplace_back(key);
        all.emplace_back(kGuestVersionColumn);
        return all;
    }();
    return columns;
}

const std::string& GuestInsertSql() {
    static const std::string sql = [] {
        std::string columns, parameters;
        for (const std::string& name : GuestInsertColumns()) {
            columns += (columns.empty() ? "" : ", ") + name;
            parameters += parameters.empty() ? "?" : ", ?";
        }
        return "INSERT INTO LISTACONVOREV (" + columns + ") VALUES (" + parameters + ")";
    }();
    return sql;
}

void BindGuestInsert(Statement& st, const std::array<std::string, 4>& place, const GuestValues& g,
                     std::int64_t version) {
    int p = 1;
    for (const std::string& part : place) st.Bind(p++, part);
    for (std::size_t field : kGuestValues) {
        if (guestrecord::kFields[field].type == corvana::FieldType::String)
            st.Bind(p++, g.texts[field]);
        else
            st.Bind(p++, g.quantity);
    }
    st.Bind(p++, GuestNameKey(g.texts[kName].value_or("")));
    st.Bind(p++, GuestDocumentKey(g.texts[kRg].value_or("")));
    st.Bind(p++, GuestDocumentKey(g.texts[kInscription].value_or("")));
    st.Bind(p++, GuestOrderKey(g.texts[kOrder].value_or("")));
    st.Bind(p++, version);
}

}  // namespace evt::server::storage
