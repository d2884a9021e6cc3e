#include "corvana/core/Consiste.h"

#include "corvana/core/Services.h"
#include "corvana/data/Error.h"
#include "corvana/data/Text.h"

namespace Consiste {

namespace {

constexpr std::string_view kBlanks = " \t\n\r\v\f";
constexpr std::string_view kInscricaoMask = ".-/\\()_,:;";

bool isBlank(char c) {
    return kBlanks.find(c) != std::string_view::npos;
}

}  // namespace

bool EmptyString(std::string_view text) {
    return text.find_first_not_of(kBlanks) == std::string_view::npos;
}

std::string AllTrim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlanks);
    return std::string(text.substr(first, last - first + 1));
}

std::string Ajusta(std::string_view code, int width) {
    std::string trimmed = AllTrim(code);
    const auto length = static_cast<long long>(corvana::utf8Length(trimmed));
    if (length >= width) return trimmed;
    return std::string(static_cast<std::size_t>(width - length), '0') + trimmed;
}

std::string Ajusta_Inscricao(std::string& text) {
    std::string_view number = text;
    if (!number.empty() && number.front() == 'C') number.remove_prefix(1);

    std::string stored;
    if (AllTrim(number) != "*") {
        stored.reserve(number.size());
        for (char c : number) {
            if (isBlank(c) || kInscricaoMask.find(c) != std::string_view::npos) continue;
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            stored += c;
        }
    }
    text = stored;
    return stored;
}

std::string PictPess(std::string_view personType) {
    const std::string type = AllTrim(personType);
    if (type == "F" || type == "f") return "999.999.999-99;0;_";
    if (type == "J" || type == "j") return "99.999.999/9999-99;0;_";
    return {};
}

void MensErro(const std::string& text, bool abort) {
    corvana::services::Dialogs().ShowError(text);
    if (abort) throw corvana::EAbort(text);
}

corvana::Variant CheckResultServ(const corvana::Variant& answer, bool showError, int flags) {
    (void)flags;
    if (answer.isError()) {
        if (showError) MensErro(answer.errorMessage(), true);
        throw corvana::Error(answer.errorMessage());
    }
    return answer;
}

}  // namespace Consiste
