#pragma once
// Deterministic guest rows for the benchmarks: the columns of the guest
// record, with names, RGs, telephones and e-mails of realistic lengths.
#include <cstdio>
#include <string>
#include <vector>

#include "corvana/data/DataPacket.h"
#include "guestrecord/GuestRecord.h"

namespace bench {

// The guest record's fields, in packet order.
inline std::vector<corvana::FieldDef> GuestFields() {
    return evt::guestrecord::PacketFields();
}

inline std::string Digits(long n, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*ld", width, n);
    return buf;
}

inline corvana::Row GuestRow(long i) {
    static const char* first[] = {"Ana",     "Bruno", "Carla",    "Daniel",
                                  "Eduarda", "Fábio", "Gabriela", "Heitor"};
    static const char* last[] = {"da Silva",  "Souza",  "Oliveira",
                                 "Conceição", "Araújo", "Pereira Lima"};
    std::string name =
        std::string(first[i % 8]) + " " + last[(i / 8) % 6] + " " + std::to_string(i);
    std::string rg = i % 3 ? Digits(10000000 + i, 9) : "*";
    return {corvana::Variant("*"),
            corvana::Variant("*"),
            corvana::Variant("*"),
            corvana::Variant(name),
            corvana::Variant(rg),
            corvana::Variant(i % 2 ? "S" : "N"),
            corvana::Variant("*"),
            corvana::Variant("(11) 3" + Digits(i % 10000000, 7)),
            corvana::Variant("(11) 9" + Digits(i % 100000000, 8)),
            corvana::Variant("convidado" + std::to_string(i) + "@exemplo.com.br"),
            corvana::Variant(i % 10 ? "NORMAL" : "ESPECIAL"),
            corvana::Variant("N"),
            corvana::Variant("*"),
            corvana::Variant(),
            corvana::Variant(),
            corvana::Variant(),
            corvana::Variant("0001"),
            corvana::Variant("0000005000"),
            corvana::Variant(Digits(i + 1, 5)),
            corvana::Variant(1.0),
            corvana::Variant("01")};
}

inline corvana::DataPacket GuestPacket(long rows) {
    corvana::DataPacket p(GuestFields());
    p.rows().reserve(static_cast<std::size_t>(rows));
    for (long i = 0; i < rows; ++i) p.rows().push_back(GuestRow(i));
    return p;
}

// The fields of an import's lines (GetImpLista), as the client sends them.
inline std::vector<corvana::FieldDef> ImportFields() {
    return {{"CDFILIAL", corvana::FieldType::String, 4},
            {"NRORCAEVENTO", corvana::FieldType::String, 10},
            {"NRSEQORCAEVE", corvana::FieldType::String, 2},
            {"NRRGLISTAOREV", corvana::FieldType::String, 20},
            {"NMLISTACONVOREV", corvana::FieldType::String, 80}};
}

// An import file of `rows` guests (GuestRow's names and R.G.s) into one
// list, as the client sends it: the last line first.
inline corvana::DataPacket ImportLines(long rows, const std::string& branch,
                                       const std::string& budget, const std::string& sequence) {
    corvana::DataPacket p(ImportFields());
    p.rows().reserve(static_cast<std::size_t>(rows));
    for (long i = rows - 1; i >= 0; --i) {
        corvana::Row guest = GuestRow(i);
        p.rows().push_back({corvana::Variant(branch), corvana::Variant(budget),
                            corvana::Variant(sequence), guest[4], guest[3]});
    }
    return p;
}

}  // namespace bench
