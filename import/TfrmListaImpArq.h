#pragma once
#include "corvana/ui/TfrmRotiGeral.h"

// Import screen "Importar Lista de Convidados" (EVT07802): reads guests
// from a text file into the list the guest list screen shows.
class TfrmListaImpArq : public corvana::ui::TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmListaImpArq(QWidget* parent = nullptr);
};
