// The pictures of the grid form's tool bar, its record navigator and the
// lookup button: each button has one, and a disabled button is plain at a
// glance: its picture stands out from the tool bar at most half as much as
// the enabled one, and in grey.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QToolButton>
#include <vector>

#include "QtTestApp.h"
#include "corvana/ui/TBtnPesquisa.h"
#include "corvana/ui/TDBNavigator.h"
#include "corvana/ui/TfrmPadraoGrid.h"

using namespace corvana::ui;

namespace {

struct Look {
    double contrast = 0;    // mean distance from the background, 0..255, weighted by opacity
    double saturation = 0;  // mean saturation of the drawn pixels, 0..1
};

// The picture as `mode` draws it on `button`, against the button's background.
Look LookOf(const QToolButton* button, QIcon::Mode mode) {
    const QImage image = button->icon()
                             .pixmap(button->iconSize(), mode)
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32);
    const QColor bg = button->palette().color(QPalette::Button);
    double contrast = 0, saturation = 0, opacity = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = QColor::fromRgba(image.pixel(x, y));
            const double a = c.alphaF();
            contrast += a *
                        (std::abs(c.red() - bg.red()) + std::abs(c.green() - bg.green()) +
                         std::abs(c.blue() - bg.blue())) /
                        3.0;
            saturation += a * c.hsvSaturationF();
            opacity += a;
        }
    }
    const double pixels = double(image.width()) * image.height();
    return {pixels > 0 ? contrast / pixels : 0, opacity > 0 ? saturation / opacity : 0};
}

}  // namespace

TEST(ToolIcons, EveryButtonHasAPictureThatFadesPlainlyWhenDisabled) {
    corvana::test::EnsureQApplication();
    TfrmPadraoGrid form;
    TBtnPesquisa lookup;
    std::vector<QToolButton*> buttons{form.sbtIncluir,   form.sbtAlterar,  form.sbtExcluir,
                                      form.sbtVerificar, form.sbtCancelar, form.sbtConfirmar,
                                      form.sbtImpArq,    form.sbtImprimir, form.sbtAjuda,
                                      form.sbtFechar,    &lookup};
    for (auto b : {TNavigateBtn::nbFirst, TNavigateBtn::nbPrior, TNavigateBtn::nbNext,
                   TNavigateBtn::nbLast, TNavigateBtn::nbRefresh})
        buttons.push_back(form.dbnPadrao->Button(b));

    for (const QToolButton* button : buttons) {
        SCOPED_TRACE(button->objectName().toStdString());
        ASSERT_FALSE(button->icon().isNull());
        const Look normal = LookOf(button, QIcon::Normal);
        const Look disabled = LookOf(button, QIcon::Disabled);
        EXPECT_GT(normal.contrast, 10.0);
        EXPECT_LT(disabled.contrast, normal.contrast / 2);
        EXPECT_LT(disabled.saturation, 0.02);
    }
}
