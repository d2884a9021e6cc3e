#pragma once
// Shared by the tests of the data-bound controls, the grid and its model: a
// guest data set behind a data source (CODIGO "Código" and NOME "Nome", then
// the fields a test adds), the window the controls under test go in, and a
// grid column of a field.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>
#include <string>

#include "QtTestApp.h"
#include "corvana/core/ScriptedServices.h"
#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"
#include "corvana/data/Error.h"
#include "corvana/ui/GridModel.h"

namespace guest_data_test {

using corvana::ClientDataSet;
using corvana::DataPacket;
using corvana::DataSetState;
using corvana::Field;
using corvana::FieldType;
using corvana::Variant;
using corvana::ui::TColumn;

inline TColumn Col(std::string fieldName) {
    TColumn column;
    column.FieldName = std::move(fieldName);
    return column;
}

class GuestDataFixture : public ::testing::Test {
protected:
    void SetUp() override {
        corvana::test::EnsureQApplication();
        ds.AddField("CODIGO", FieldType::Integer, 0, "Código");
        ds.AddField("NOME", FieldType::String, 30, "Nome");
        source.SetDataSet(&ds);
    }

    // The window, empty: its controls go one under the other in the layout.
    QVBoxLayout* NewWindow() {
        window = std::make_unique<QWidget>();
        return new QVBoxLayout(window.get());
    }
    void ShowWindow() {
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    corvana::services::ScriptedServicesScope services;
    ClientDataSet ds;
    corvana::DataSource source;
    std::unique_ptr<QWidget> window;
};

}  // namespace guest_data_test
