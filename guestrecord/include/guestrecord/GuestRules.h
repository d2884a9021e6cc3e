#pragma once
// The rules of a guest's stored values that the guest list screen checks
// before a post and the application server keeps on every write: the server
// is the guard, and refuses a client that skipped them with the same words.
// Texts are stored in Unicode NFC, which each side computes with its own
// library (ICU on the server, Qt on the screen).
#include <cstddef>
#include <string>
#include <string_view>

#include "corvana/data/Text.h"
#include "guestrecord/GuestRecord.h"

namespace evt::guestrecord {

// The name and the R.G. are what the list's rules compare, so what is stored
// is what a person sees: look-alike blanks made plain, invisible characters
// removed and no blanks at the edges (PlainText). The other texts keep their
// blanks as typed.
constexpr bool IsPlainText(std::size_t field) {
    return field == IndexOf("NMLISTACONVOREV") || field == IndexOf("NRRGLISTAOREV");
}

inline std::string PlainText(std::string_view text) {
    return corvana::trimBlanks(corvana::plainBlanks(text));
}

// QUANTIDADE, how many people a guest stands for: 0 to 99,999. The field is
// a float, so a fraction within the range is taken; NaN is out of range.
inline constexpr double kMaxQuantity = 99999;
constexpr bool QuantityInRange(double quantity) {
    return quantity >= 0 && quantity <= kMaxQuantity;
}

// The rule a value breaks, naming the field by its label, as the end of a
// sentence: the server puts the guest before it ("Convidado 'Ana': o campo
// ..."), the screen shows it as a sentence of its own (Sentence).
inline std::string ControlCharacterRule(const Field& field) {
    return "o campo " + std::string(field.label) +
           " contém um caractere de controle, que não pode ser gravado.";
}
inline std::string DirectionControlRule(const Field& field) {
    return "o campo " + std::string(field.label) +
           " contém um caractere que inverte a direção do texto, que não pode ser gravado.";
}
inline std::string QuantityRule() {
    return "o campo " + std::string(FieldNamed("QUANTIDADE").label) +
           " deve ser um número de 0 a 99.999.";
}

// "o campo ..." as "O campo ...".
inline std::string Sentence(std::string rule) {
    if (!rule.empty() && rule[0] >= 'a' && rule[0] <= 'z')
        rule[0] = static_cast<char>(rule[0] - 32);
    return rule;
}

}  // namespace evt::guestrecord
