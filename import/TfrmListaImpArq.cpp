#include "import/TfrmListaImpArq.h"

TfrmListaImpArq::TfrmListaImpArq(QWidget* parent) : TfrmRotiGeral(parent) {
    setObjectName("frmListaImpArq");
    SetCaption("Importar Lista de Convidados");
    lblCodTela->SetCaption("EVT07802");
    resize(416, 130);
}
