// The guest list report screen (EVT07801) over the real server, with the
// guest list screen open beside it: what it opens with, its checks, and the
// parameters each report definition receives.
#include <QPointer>
#include <QTimer>

#include "ReportSupport.h"
#include "corvana/data/Error.h"
#include "corvana/report/TReportPreview.h"
#include "listconv/GuestScreen.h"
#include "report/Cli_evt07801.h"

using namespace corvana::report;
using namespace report_test;

namespace {

class ReportScreen : public GuestScreen {
protected:
    void SetUp() override {
        GuestScreen::SetUp();
        reports = InstallShipped(dir);
    }

    void CloseScreens() override {
        if (r) {
            r->Close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        delete r.data();
        GuestScreen::CloseScreens();
    }

    // The report screen as the print button creates it, shown without
    // blocking (the factory shows it modally).
    TfrmListaConvRel* OpenReport() {
        r = corvana::ui::CreateForm<TfrmListaConvRel>(f ? f->Shown() : ShownList{});
        r->Show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(r));
        Settle();
        return r;
    }

    // The guest list loaded on the test budget, the report screen opened
    // from it and, when given, a definition chosen by title.
    TfrmListaConvRel* OpenReportOnList(const std::string& title = {}) {
        if (!OpenList(kBudget)) return nullptr;
        OpenReport();
        if (!title.empty()) Choose(title);
        return r;
    }

    // Chooses a definition by title.
    void Choose(const std::string& title) {
        const auto titles = r->cbbReportNames->Items();
        const auto it = std::find(titles.begin(), titles.end(), title);
        ASSERT_NE(it, titles.end()) << title;
        r->cbbReportNames->SetItemIndex(static_cast<int>(it - titles.begin()));
    }

    struct Run {
        bool refused = false;
        std::optional<TReportParams> handedOver;  // after the screen's handler
        std::optional<TReportParams> atRefusal;   // as they were when it refused
        int pages = 0;
        int rows = -1;  // printed; -1 when no preview opened
    };

    // Presses the print button (which takes no focus, as the user's click)
    // and closes the preview once it shows.
    Run Print() {
        Run run;
        TReportDesignerDialog& dialog = r->rpddPadrao;
        const auto screens = dialog.BeforeGetQueryParams;
        dialog.BeforeGetQueryParams = [&run, screens](TReportParams& params, bool& flag) {
            try {
                screens(params, flag);
            } catch (...) {
                run.atRefusal = params;
                throw;
            }
            run.handedOver = params;
        };
        dialog.OnPreview = [&run](TReportPreview& preview) {
            const ReportDocument& doc = preview.Document();
            run.pages = static_cast<int>(doc.pages.size());
            run.rows = 0;
            for (const auto& page : doc.pages) run.rows += page.rows;
            QTimer::singleShot(0, &preview, &QDialog::reject);
        };
        try {
            r->sbtImprimir->Click();
        } catch (const corvana::EAbort&) {
            run.refused = true;
        }
        dialog.BeforeGetQueryParams = screens;
        dialog.OnPreview = nullptr;
        Settle();
        return run;
    }

    // Replaces the text of the focused edit, as the user selecting all and
    // typing.
    void Replace(const QString& text) {
        Press(Qt::Key_A, Qt::ControlModifier);
        Type(text);
    }

    static std::string P(const Run& run, const char* name) {
        return run.handedOver ? run.handedOver->ParamByName(name).AsString : "(não entregue)";
    }
    static bool AllAtDefaults(const TReportParams& params) {
        for (const auto& [name, p] : params.All())
            if (!p.AsString.empty()) return false;
        return true;
    }
    long long Guests(const std::string& sequence) {
        return static_cast<long long>(GuestNames(*db, "0001", kBudget, sequence).size());
    }
    std::string ResultingCopy() {
        return Scalar(
            *db,
            "SELECT NRSEQORCAEVE FROM ORCAEVENTOSEQ WHERE CDFILIAL = '0001' AND NRORCAEVENTO = ? "
            "AND IDRESULT = 'S'",
            std::string(kBudget));
    }
    // A definition of the test's own, listed under `title`.
    void AddDefinition(const std::string& file, const std::string& title,
                       const std::string& parameters, const std::string& where) {
        WriteFile(reports / file,
                  R"({"format": 1, "report": "EVT078", "title": ")" + title +
                      R"(", "parameters": )" + parameters +
                      R"(, "query": "SELECT NMLISTACONVOREV FROM LISTACONVOREV WHERE )" + where +
                      R"(",
  "columns": [{"field": "NMLISTACONVOREV", "label": "Nome", "width": 80}]})");
    }

    fs::path reports;
    QPointer<TfrmListaConvRel> r;
};

}  // namespace

TEST_F(ReportScreen, OpensWithTheGuestListValuesAsTheyStandOrEmptyWithoutABranchName) {
    ASSERT_TRUE(OpenList(kBudget));
    // Typed on the guest list screen and not left: copied unvalidated.
    f->listKey.edtSeq->SetText("7");
    OpenReport();
    EXPECT_EQ(r->listKey.medCdFilial->Text(), "0001");
    EXPECT_EQ(r->listKey.edtNmFilial->Text(), "Matriz");
    EXPECT_EQ(r->listKey.medOrcamento->Text(), kBudget);
    EXPECT_EQ(r->listKey.edtSeq->Text(), "7");
    EXPECT_FALSE(r->listKey.ckbMostrarCopia->Checked());
    EXPECT_TRUE(r->listKey.edtSeq->isEnabled());
    EXPECT_EQ(r->lblCodRel->Caption(), "EVT078");
    // Whole, and clear of the button column's frame (touching it, it reads
    // as a screen code cut short).
    EXPECT_GE(r->lblCodRel->width(), r->lblCodRel->sizeHint().width());
    EXPECT_GT(r->panMenu->x(), r->lblCodRel->geometry().right() + 1);
    EXPECT_EQ(r->cbbReportNames->Items(),
              (std::vector<std::string>{"Convidados do Contrato", "Lista de Convidados por Nome",
                                        "Lista de Portaria"}));
    EXPECT_EQ(services.busy.Texts(), std::vector<std::string>{"Validando tradução de relatórios"});
    EXPECT_EQ(CallNames(), std::vector<std::string>{}) << "nothing is checked on opening";
    r->Close();
    Settle();

    // A branch code changed on the guest list screen clears its name there.
    f->listKey.medCdFilial->SetText("0002");
    ASSERT_EQ(f->listKey.edtNmFilial->Text(), "");
    OpenReport();
    for (auto* edit : {static_cast<corvana::ui::TEdit*>(r->listKey.medCdFilial),
                       r->listKey.edtNmFilial, r->listKey.medOrcamento, r->listKey.edtSeq})
        EXPECT_EQ(edit->Text(), "") << edit->Name();
}

TEST_F(ReportScreen, TabbingThroughTheBudgetSetsTheSequenceTo00WithoutCheckingIt) {
    ASSERT_TRUE(OpenReportOnList());
    ASSERT_EQ(r->listKey.edtSeq->Text(), "01");
    FocusOn(r->listKey.medOrcamento);
    Press(Qt::Key_Tab);
    EXPECT_EQ(Focused(), r->listKey.ckbMostrarCopia);
    EXPECT_EQ(r->listKey.edtSeq->Text(), "00");
    EXPECT_EQ(r->listKey.medOrcamento->Text(), kBudget);
    Press(Qt::Key_Tab);
    EXPECT_EQ(Focused(), r->listKey.edtSeq);
    EXPECT_EQ(CallNames(), std::vector<std::string>{});
    // Leaving the sequence checks it, with this screen's own texts.
    Replace("09");
    Press(Qt::Key_Tab);
    EXPECT_EQ(Errors(), std::vector<std::string>{"Sequencial não cadastrado."});
    EXPECT_EQ(Focused(), r->listKey.edtSeq);
    services.dialogs.Clear();
    Press(Qt::Key_A, Qt::ControlModifier);
    Press(Qt::Key_Backspace);
    Press(Qt::Key_Tab);
    EXPECT_EQ(Errors(), std::vector<std::string>{"Sequencial não informado."});
    EXPECT_EQ(CallNames(), std::vector<std::string>{"GetSequencial"});
    // A sequence of the budget passes, adjusted to two characters.
    services.dialogs.Clear();
    Type("1");
    Press(Qt::Key_Tab);
    EXPECT_EQ(Errors(), std::vector<std::string>{});
    EXPECT_EQ(r->listKey.edtSeq->Text(), "01");
    EXPECT_NE(Focused(), r->listKey.edtSeq);
}

TEST_F(ReportScreen, TheLookupsFillTheBranchAndTheBudget) {
    ASSERT_TRUE(OpenReportOnList());
    // A branch picked: its name and code; the budget and the sequence stay.
    services.search.ExpectPick(2);
    r->listKey.btnFilial->Click();
    EXPECT_EQ(r->listKey.medCdFilial->Text(), "0002");
    EXPECT_EQ(r->listKey.edtNmFilial->Text(), "Filial Centro");
    EXPECT_EQ(r->listKey.medOrcamento->Text(), kBudget);
    EXPECT_EQ(r->listKey.edtSeq->Text(), "01");
    // The budgets of that branch; the budget picked clears the sequence.
    services.search.ExpectPick(1);
    r->listKey.btnOrca->Click();
    ASSERT_EQ(tap->ArgsOf("GetOrcamento").size(), 1u);
    EXPECT_EQ(tap->ArgsOf("GetOrcamento")[0].at(0).toString(), "0002");
    EXPECT_EQ(r->listKey.medOrcamento->Text(),
              Scalar(*db, "SELECT MIN(NRORCAEVENTO) FROM ORCAEVENTO WHERE CDFILIAL = ?",
                     std::string("0002")));
    EXPECT_EQ(r->listKey.edtSeq->Text(), "");
    EXPECT_EQ(services.search.Texts(),
              (std::vector<std::string>{"Filial|Não há filial cadastrada.",
                                        "Orçamento|Não há orçamento cadastrado."}));
}

TEST_F(ReportScreen, BranchAndBudgetRefusalsEndTheRunBeforeAnyParameterIsSet) {
    struct Case {
        const char* branch;
        const char* budget;
        const char* message;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"", kBudget, "Filial deve ser informada.", {}},
        {"9", kBudget, "Filial não cadastrada.", {}},
        {"1", "", "Orçamento deve ser informado.", {}},
        {"1", "XYZ", "Orçamento não cadastrado.", {"GetOrca"}},
    };
    ASSERT_TRUE(OpenReportOnList());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        r->listKey.medCdFilial->SetText(c.branch);
        r->listKey.medOrcamento->SetText(c.budget);
        r->listKey.edtSeq->SetText("01");
        tap->Clear();
        services.dialogs.Clear();
        const Run run = Print();
        EXPECT_TRUE(run.refused);
        EXPECT_EQ(Errors(), std::vector<std::string>{c.message});
        ASSERT_TRUE(run.atRefusal);
        EXPECT_TRUE(AllAtDefaults(*run.atRefusal));
        EXPECT_EQ(run.rows, -1) << "no report";
        EXPECT_EQ(CallNames(), c.calls);
        EXPECT_EQ(Focused(), std::string(c.message).rfind("Filial", 0) == 0
                                 ? static_cast<QWidget*>(r->listKey.medCdFilial)
                                 : static_cast<QWidget*>(r->listKey.medOrcamento));
    }
}

TEST_F(ReportScreen, TheCheckBoxPrintsTheResultingCopyInsteadOfTheSequence) {
    ASSERT_TRUE(OpenReportOnList("Lista de Convidados por Nome"));
    QTest::mouseClick(r->listKey.ckbMostrarCopia, Qt::LeftButton, {},
                      QPoint(6, r->listKey.ckbMostrarCopia->height() / 2));
    Settle();
    ASSERT_TRUE(r->listKey.ckbMostrarCopia->Checked());
    EXPECT_FALSE(r->listKey.edtSeq->isEnabled());
    EXPECT_FALSE(r->listKey.lblSeq->isEnabled());
    EXPECT_EQ(r->listKey.edtSeq->Text(), "01");

    Run run = Print();
    ASSERT_FALSE(run.refused) << ::testing::PrintToString(Errors());
    EXPECT_EQ(P(run, "P_CDFILIAL"), "0001");
    EXPECT_EQ(P(run, "P_NRORCAEVENTO"), kBudget);
    EXPECT_EQ(P(run, "P_NRSEQORCAEVE"), "");
    EXPECT_EQ(P(run, "P_IDRESULT"), "T");
    EXPECT_EQ(run.rows, Guests(ResultingCopy()));
    EXPECT_EQ(services.busy.Texts().back(), "Gerando o relatório...");
    EXPECT_EQ(services.busy.Depth(), 0);

    QTest::mouseClick(r->listKey.ckbMostrarCopia, Qt::LeftButton, {},
                      QPoint(6, r->listKey.ckbMostrarCopia->height() / 2));
    Settle();
    EXPECT_TRUE(r->listKey.edtSeq->isEnabled());
    EXPECT_TRUE(r->listKey.lblSeq->isEnabled());
    run = Print();
    EXPECT_EQ(P(run, "P_NRSEQORCAEVE"), "01");
    EXPECT_EQ(P(run, "P_IDRESULT"), "");
    EXPECT_EQ(run.rows, Guests("01"));
}

TEST_F(ReportScreen, ADefinitionGetsOnlyTheParametersItHasAndTheBranchIsCheckedAnyway) {
    AddDefinition(
        "EVT078-sem-resultado.json", "Sem cópia resultante",
        R"(["P_CDFILIAL", "P_NRORCAEVENTO", {"name": "P_NRSEQORCAEVE", "default": "01"}])",
        "CDFILIAL = :P_CDFILIAL AND NRORCAEVENTO = :P_NRORCAEVENTO AND NRSEQORCAEVE = "
        ":P_NRSEQORCAEVE");
    AddDefinition("EVT078-so-orcamento.json", "Só o orçamento", R"(["P_NRORCAEVENTO"])",
                  "NRORCAEVENTO = :P_NRORCAEVENTO AND NRSEQORCAEVE = '01'");
    ASSERT_TRUE(OpenReportOnList());

    // P_NRSEQORCAEVE without P_IDRESULT: neither is set, the default stays.
    Choose("Sem cópia resultante");
    r->listKey.edtSeq->SetText("02");
    Run run = Print();
    ASSERT_TRUE(run.handedOver);
    EXPECT_EQ(P(run, "P_NRSEQORCAEVE"), "01");
    EXPECT_FALSE(run.handedOver->Has("P_IDRESULT"));
    EXPECT_EQ(run.rows, Guests("01"));

    // Without P_CDFILIAL the branch is still checked.
    Choose("Só o orçamento");
    r->listKey.medCdFilial->SetText("9");
    services.dialogs.Clear();
    run = Print();
    EXPECT_TRUE(run.refused);
    EXPECT_EQ(Errors(), std::vector<std::string>{"Filial não cadastrada."});
    r->listKey.medCdFilial->SetText("1");
    run = Print();
    ASSERT_TRUE(run.handedOver);
    EXPECT_EQ(run.handedOver->All().size(), 1u);
    EXPECT_EQ(P(run, "P_NRORCAEVENTO"), kBudget);
    EXPECT_EQ(r->listKey.medCdFilial->Text(), "0001");
    EXPECT_EQ(r->listKey.edtNmFilial->Text(), "Matriz");
}

TEST_F(ReportScreen, ASequenceTypedAndNeverLeftReachesTheReportUnchecked) {
    ASSERT_TRUE(OpenReportOnList("Lista de Convidados por Nome"));
    FocusOn(r->listKey.edtSeq);
    Replace("99");
    tap->Clear();
    const Run run = Print();
    ASSERT_FALSE(run.refused) << ::testing::PrintToString(Errors());
    EXPECT_EQ(P(run, "P_NRSEQORCAEVE"), "99");
    EXPECT_EQ(run.rows, 0);
    EXPECT_EQ(CallNames(), std::vector<std::string>{"GetOrca"});
}

// The budget check writes the budget back in its adjusted form; that change
// of text must not lose the sequence the user typed for it.
TEST_F(ReportScreen, TheSequenceTypedForABudgetTheCheckAdjustsReachesTheReport) {
    ASSERT_TRUE(OpenReportOnList("Lista de Convidados por Nome"));
    FocusOn(r->listKey.medOrcamento);
    Replace("1001");
    Press(Qt::Key_Tab);
    Press(Qt::Key_Tab);
    ASSERT_EQ(Focused(), r->listKey.edtSeq);
    ASSERT_EQ(r->listKey.edtSeq->Text(), "00");
    Replace("01");
    const Run run = Print();
    ASSERT_FALSE(run.refused) << ::testing::PrintToString(Errors());
    EXPECT_EQ(r->listKey.medOrcamento->Text(), kBudget);
    EXPECT_EQ(r->listKey.edtSeq->Text(), "01");
    EXPECT_EQ(P(run, "P_NRORCAEVENTO"), kBudget);
    EXPECT_EQ(P(run, "P_NRSEQORCAEVE"), "01");
    EXPECT_EQ(run.rows, Guests("01"));
    EXPECT_GT(run.rows, 0);
}

TEST_F(ReportScreen, AFaultyDefinitionIsToldAndAFolderWithoutAnyKeepsTheScreenClosed) {
    ASSERT_TRUE(OpenList(kBudget));
    WriteFile(reports / "EVT078-quebrado.json", R"({"format": 1, "report": "EVT078", "title": 7})");
    OpenReport();
    EXPECT_EQ(Errors(), std::vector<std::string>{
                            "Definição de relatório inválida no arquivo 'EVT078-quebrado.json': "
                            "o campo \"title\" deve ser um texto."});
    EXPECT_EQ(r->cbbReportNames->Items().size(), 3u);
    r->Close();
    Settle();

    for (const auto& entry : fs::directory_iterator(reports))
        if (entry.path().filename() != "EVT078-quebrado.json") fs::remove(entry.path());
    services.dialogs.Clear();
    EXPECT_THROW(corvana::ui::CreateForm<TfrmListaConvRel>(ShownList{}), corvana::EAbort);
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors().at(0).find("'EVT078-quebrado.json'"), std::string::npos);

    fs::remove(reports / "EVT078-quebrado.json");
    services.dialogs.Clear();
    EXPECT_THROW(corvana::ui::CreateForm<TfrmListaConvRel>(ShownList{}), corvana::EAbort);
    EXPECT_EQ(Errors(), std::vector<std::string>{
                            "O arquivo contendo a definição do relatório de código 'EVT078' "
                            "não foi encontrado no diretório '" +
                            reports.string() + "'."});
}

TEST_F(ReportScreen, TheChosenDefinitionIsSavedUnderANewTitle) {
    ASSERT_TRUE(OpenReportOnList("Lista de Portaria"));
    services.dialogs.ExpectInput("Portaria do Salão Nobre");
    r->sbtSalvarRelatorio->Click();
    EXPECT_EQ(services.dialogs.Messages().back().text,
              "Título do relatório|Informe o título do relatório:");
    EXPECT_EQ(services.dialogs.InputInitials().back(), "Lista de Portaria");
    EXPECT_EQ(r->cbbReportNames->Text(), "Portaria do Salão Nobre");
    EXPECT_TRUE(fs::exists(reports / "EVT078-portaria-do-salao-nobre.json"));
    ASSERT_NE(r->RelatorioSelecionado(), nullptr);
    EXPECT_TRUE(r->RelatorioSelecionado()->group.has_value());

    for (const auto& [title, message] :
         {std::pair<std::string, std::string>{
              "lista de portaria", "Já existe um relatório com o título 'Lista de Portaria'."},
          {"", "O título do relatório deve ser informado."}}) {
        services.dialogs.Clear();
        services.dialogs.ExpectInput(title);
        EXPECT_THROW(r->ppmSalvarRelatorioClick(r->mniSalvarRelatorio), corvana::EAbort) << title;
        EXPECT_EQ(Errors(), std::vector<std::string>{message});
    }
    // Cancelled from the report list's menu.
    services.dialogs.Clear();
    services.dialogs.ExpectInput(std::nullopt);
    r->mniSalvarRelatorio->trigger();
    EXPECT_EQ(services.dialogs.PendingInputs(), 0u);
    EXPECT_EQ(Errors(), std::vector<std::string>{});
    EXPECT_EQ(r->cbbReportNames->Items().size(), 4u);
}

TEST_F(ReportScreen, ThePrintButtonOpensTheReportScreenModallyAndItIsGoneOnceClosed) {
    ASSERT_TRUE(OpenList(kBudget));
    QPointer<TfrmListaConvRel> opened;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        opened = frmListaConvRel;
        modal = opened && QApplication::activeModalWidget() == opened;
        if (opened) opened->sbtFechar->Click();
    });
    Click(f->sbtImprimir);
    ASSERT_TRUE(opened || modal);
    EXPECT_TRUE(modal);
    EXPECT_TRUE(!opened || !opened->isVisible()) << "a closed report screen shows again";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(opened.data(), nullptr);
}
