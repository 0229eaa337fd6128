#pragma once
// A window for the control tests to put their controls on.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <memory>

#include "platform/ui/forms.h"
#include "platform/win/pump.h"

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<ui::TForm>(nullptr);
        form->SetBounds(0, 0, 400, 300);
    }
    // Shows the window as the active one and lets it settle.
    void showForm() {
        form->Show();
        QApplication::setActiveWindow(form->Widget());
        win::PumpUntil([&] { return form->Widget()->isVisible(); }, 2000);
        win::ProcessMessages();
    }
    std::unique_ptr<ui::TForm> form;
};
