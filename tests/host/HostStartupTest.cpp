// The host's start-up: Qt's own texts in Portuguese, the application's icon
// for every window, and the database where the server keeps it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <memory>

#include "HostStartup.h"
#include "corvana/core/Corvana.h"
#include "endpoint/ServerSettings.h"
#include "support/ScreenFixture.h"

TEST(HostStartup, QtTextsArePortugueseAndWindowsCarryTheApplicationIcon) {
    SetUpHostApplication(corvana::test::ScreenApplication());

    // The context menu of every text field, as the user opens it.
    QLineEdit edit(QStringLiteral("texto"));
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList items;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            items << action->text().section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
    EXPECT_TRUE(items.contains(QStringLiteral("Colar"))) << items.join(", ").toStdString();
    EXPECT_TRUE(items.contains(QStringLiteral("Desfazer"))) << items.join(", ").toStdString();
    EXPECT_FALSE(items.contains(QStringLiteral("Paste")));
    EXPECT_EQ(QLocale().name(), QStringLiteral("pt_BR"));

    // Windows without an icon of their own (the main window, MDI children,
    // dialogs) show the application's.
    const QIcon icon = QApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_FALSE(icon.pixmap(16).isNull());
    EXPECT_FALSE(icon.pixmap(64).isNull());

    // The host reads the guest lists where the server creates them.
    Corvana::ResetSettings();
    const std::string hostDatabase = Corvana::DatabaseURL();
    evt::server::AddServerSettings();
    EXPECT_FALSE(hostDatabase.empty());
    EXPECT_EQ(Corvana::DatabaseURL(), hostDatabase);
}
