// Starts the real program's windows (frame, About box, options, status and title dialogs)
// in a fresh configuration folder, answers every message box and common dialog, and tears
// everything down afterwards.
#pragma once

#include "gui/Dialogs.h"
#include "app/MainForm.h"
#include "gui/MessageBox.h"
#include "memo/Gmemo.h"
#include "app/Startup.h"
#include "link/CommLink.h"
#include "support/GuiApp.h"
#include "support/TempConfigHome.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPrinter>

#include <deque>
#include <memory>
#include <vector>

class ProgramFixture : public testing::Test {
protected:
    void SetUp() override
    {
        static const bool setUp = [] {
            SetUpApplication(GuiApp());
            return true;
        }();
        (void)setUp;
        home_ = std::make_unique<TempConfigHome>();
        // New memo windows at 1x, the natural size, unless a test asks for its own zoom.
        TGraphForm::SetConfiguredZoom(1);
        SetBoxAnswerer([this](const BoxRequest& request) {
            boxes.push_back(request);
            if (answers.empty())
                return BoxAnswer::Ok;
            const BoxAnswer a = answers.front();
            answers.pop_front();
            return a;
        });
        SetFileDialogAnswerer([this](const FileDialogRequest& request) -> std::optional<QString> {
            fileDialogs.push_back(request);
            if (fileAnswers.empty())
                return std::nullopt;
            const QString answer = fileAnswers.front();
            fileAnswers.pop_front();
            if (answer.isEmpty())
                return std::nullopt;
            return answer;
        });
        SetPrinterSetupAnswerer([this](QPrinter&) {
            ++printerSetups;
            return true;
        });
    }

    void TearDown() override
    {
        DestroyForms();
        SetBoxAnswerer(nullptr);
        SetFileDialogAnswerer(nullptr);
        SetPrinterSetupAnswerer(nullptr);
        resetLink();
        home_.reset();
    }

    // The program's start with whatever configuration the test has written.
    void start()
    {
        resetLink();
        CreateForms();
        MainForm->show();
        QCoreApplication::processEvents();
    }

    static void resetLink()
    {
        RecvStart(CommLink.Received);
        CommLink.PortName.clear();
        CommLink.PortDevices.clear();
        CommLink.Speed = 0;
        CommLink.WordLen = 0;
        CommLink.Parity = 0;
        CommLink.StopBits = 0;
        CommLink.ZenToHan = false;
        CommLink.KataToHira = false;
        CommLink.Machine = false;
    }

    TempConfigHome& home() { return *home_; }

    std::vector<BoxRequest> boxes;
    std::deque<BoxAnswer> answers;
    std::vector<FileDialogRequest> fileDialogs;
    std::deque<QString> fileAnswers;  // an empty name cancels the dialog
    int printerSetups = 0;

private:
    std::unique_ptr<TempConfigHome> home_;
};
