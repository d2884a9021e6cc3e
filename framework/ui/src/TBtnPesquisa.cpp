#include "corvana/ui/TBtnPesquisa.h"

#include "corvana/core/Services.h"
#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"
#include "corvana/data/Error.h"
#include "corvana/ui/Icons.h"
#include "corvana/ui/StdCtrls.h"

namespace corvana::ui {

TBtnPesquisa::TBtnPesquisa(QWidget* parent) : TButtonFlat(parent) {
    setText(QStringLiteral("..."));
    const QIcon icon = ToolIcon("edit-find");
    if (!icon.isNull()) {
        setIcon(icon);
        setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    setToolTip(QStringLiteral("Pesquisar"));
    setFixedSize(22, 22);
}

void TBtnPesquisa::DoClick() {
    if (OnClick) {
        OnClick(this);
        return;
    }
    bool flag = true;
    if (OnBeforePesq) OnBeforePesq(this, flag);
    if (!flag) return;
    if (!dataSource_ || !dataSource_->DataSet())
        throw corvana::Error("O botão de pesquisa não tem uma lista associada.");
    if (!Pesquisa::Pesquisar(*dataSource_, title_ + "|" + emptyError_, false, true)) return;
    const corvana::ClientDataSet& dataSet = *dataSource_->DataSet();
    if (dataSet.FieldCount() == 0) throw corvana::Error("A lista da pesquisa não tem campos.");
    const corvana::Field& code =
        fieldCodigo_.empty() ? *dataSet.Fields().front() : dataSet.FieldByName(fieldCodigo_);
    if (TEdit* edit = associate_) {
        edit->SetText(code.AsString());
        if (edit->CanFocus()) edit->SetFocus();
    }
    if (OnAfterPesq) OnAfterPesq(this);
}

}  // namespace corvana::ui
