#pragma once
#include <string>
#include <string_view>

#include "corvana/data/Variant.h"

// The validation and normalisation routines the screens share.
namespace Consiste {

// Blanks are the ASCII white-space characters: space, tab, line feed,
// carriage return, vertical tab and form feed.

// True for an empty text or one of blanks only.
bool EmptyString(std::string_view text);

// The text without its leading and trailing blanks.
std::string AllTrim(std::string_view text);

// A code in its stored form: edge blanks removed, then padded on the left
// with "0" to `width` characters (code points). A text already that long or
// longer stays as trimmed: ("1", 4) -> "0001", ("12345", 2) -> "12345".
std::string Ajusta(std::string_view code, int width);

// A registration number (CPF, CNPJ, state inscription...) in its stored form.
// The argument holds "C" followed by the number as typed; it is rewritten in
// place and also returned:
//  - the leading "C" is dropped;
//  - the mask characters . - / \ ( ) _ , : ; and all blanks are removed;
//  - ASCII letters are upper-cased; every other character is kept;
//  - the placeholder "*" (alone after trimming) and an empty number give "".
// The stored form is a fixed point: "C" + stored gives stored again.
// A text that does not start with "C" is normalised as a whole (nothing is
// dropped from its front).
std::string Ajusta_Inscricao(std::string& text);

// The edit mask for a person type: "F" (individual, CPF) ->
// "999.999.999-99;0;_", "J" (company, CNPJ) -> "99.999.999/9999-99;0;_".
// The type is read without edge blanks and without regard to case. Any other
// type, empty included, has no mask: "" (the value shows as stored).
std::string PictPess(std::string_view personType);

// Shows `text` as an error through the dialog service, then, when `abort` is
// true, raises corvana::EAbort(text) so that the operation stops without a
// second message. With `abort` false it returns after showing the text.
void MensErro(const std::string& text, bool abort = true);

// Checks an answer of the application server and returns it unchanged. An
// answer carrying a server error is shown and aborted with
// MensErro(message, true); with `showError` false it raises
// corvana::Error(message) instead, without showing anything, for the caller
// to handle. `flags` keeps the call form of the screens; no bit is read.
corvana::Variant CheckResultServ(const corvana::Variant& answer, bool showError = true,
                                 int flags = 0);

}  // namespace Consiste
