#pragma once
#include <string>

#include "corvana/data/Variant.h"
#include "listkey/ShownList.h"

// The exported entry of the package and its screen factories.
//
// IniProc(Params): Params holds the four launch values (branch code,
// branch name, budget number, budget sequence) as an array indexed 0 to 3;
// it opens the guest list screen with them. Whatever goes wrong with the
// values or with opening the screen, the screen is opened once more with
// four empty values; an error of that second attempt reaches the host.
extern "C" __attribute__((visibility("default"))) void IniProc(const corvana::Variant& Params);

// Opens the guest list window, or brings the open one to the front (its
// filter fields then keep what they show: the values take effect when a
// window is next created).
void CriaListConv(const std::string& CdFilial, const std::string& NmFilial,
                  const std::string& NrOrca, const std::string& NrSeq);
// Open a new report / import window modally on the list `list` (the guest
// list screen's, as it stands) and return when it is closed.
void CriaListaConvRel(const ShownList& list);
void CriaListaImpArq(const ShownList& list);
// Opens the reception window (reception/TfrmRecepcao.h) modally on `list`.
void CriaRecepcao(const ShownList& list);
