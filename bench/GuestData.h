#pragma once
// Deterministic guest rows for the benchmarks: the 21 columns of a guest
// list, with names, RGs, telephones and e-mails of realistic lengths.
#include <cstdio>
#include <string>
#include <vector>

#include "corvana/data/DataPacket.h"

namespace bench {

inline std::vector<corvana::FieldDef> GuestFields() {
    using corvana::FieldType;
    return {{"IDTPTRATCONVESPEC", FieldType::String, 30},
            {"CDCLIENTELISTCONV", FieldType::String, 21},
            {"NRINSJURCLILISCONV", FieldType::String, 20},
            {"NMLISTACONVOREV", FieldType::String, 50},
            {"NRRGLISTAOREV", FieldType::String, 20},
            {"IDCONVPRESEOREV", FieldType::String, 1},
            {"IDCONDICAOCONVEV", FieldType::String, 20},
            {"NRTELCONVEVEN", FieldType::String, 25},
            {"NRCELCONVEVEN", FieldType::String, 25},
            {"DSEMAILCONVEVEN", FieldType::String, 50},
            {"IDTIPOCONVEVEN", FieldType::String, 10},
            {"IDEXIBECONVCONTRAT", FieldType::String, 1},
            {"NRORDEMEXIBCONTRAT", FieldType::String, 2},
            {"NMFANTCLIE", FieldType::String, 50},
            {"IDTPIJURCLIE", FieldType::String, 1},
            {"NRINSJURCLIE", FieldType::String, 20},
            {"CDFILIAL", FieldType::String, 4},
            {"NRORCAEVENTO", FieldType::String, 10},
            {"NRLISTACONVOREV", FieldType::String, 5},
            {"QUANTIDADE", FieldType::Float, 0},
            {"NRSEQORCAEVE", FieldType::String, 2}};
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

}  // namespace bench
