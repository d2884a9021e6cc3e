#pragma once
#include "corvana/ui/TfrmDadosGerRel.h"

// Report parameter screen "Lista de Convidados" (EVT07801, report EVT078):
// says whose guest list is to be printed.
class TfrmListaConvRel : public corvana::ui::TfrmDadosGerRel {
    Q_OBJECT
public:
    explicit TfrmListaConvRel(QWidget* parent = nullptr);
};
