#include "report/TfrmListaConvRel.h"

TfrmListaConvRel::TfrmListaConvRel(QWidget* parent) : TfrmDadosGerRel(parent) {
    setObjectName("frmListaConvRel");
    SetCaption("Lista de Convidados");
    lblCodTela->SetCaption("EVT07801");
    lblCodRel->SetCaption("EVT078");
    resize(460, 200);
}
