// Starts the real program's windows (frame, About box, options, status and title dialogs)
// in a fresh configuration folder, answers every message box and common dialog, and tears
// everything down afterwards.
#pragma once

#include "gui/Dialogs.h"
#include "app/ConnectionStatusDialog.h"
#include "app/MainWindow.h"
#include "gui/MessageBox.h"
#include "memo/MemoWindow.h"
#include "app/Startup.h"
#include "app/TitleDialog.h"
#include "link/CommLink.h"
#include "support/GuiApp.h"
#include "support/TempConfigHome.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

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
        MemoWindow::setConfiguredZoom(1);
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

    // The texts of the boxes shown so far, in order.
    QStringList boxTexts() const
    {
        QStringList texts;
        for (const BoxRequest& b : boxes)
            texts << b.text;
        return texts;
    }

    // Once the title dialog is up: types TITLE and READING and presses OK, or 無視 when
    // READING is null.
    void answerTitleDialog(const QString& title, const QString& reading)
    {
        auto* timer = new QTimer(MainForm);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, title, reading] {
            if (!TitleInput1->isVisible())
                return;
            timer->stop();
            if (reading.isNull()) {
                TitleInput1->BitBtn3->click();
                return;
            }
            TitleInput1->Edit1->setText(title);
            TitleInput1->Edit2->setText(reading);
            TitleInput1->BitBtn1->click();
        });
        timer->start(1);
    }

    // Presses Cancel of the status dialog once its status text reads TEXT.
    void cancelWhenStatusIs(const QString& text)
    {
        auto* timer = new QTimer(MainForm);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, text] {
            if (Connect1->isVisible() && Connect1->Label1->text() == text) {
                timer->stop();
                Connect1->BitBtn1->click();
            }
        });
        timer->start(1);
    }

    std::vector<BoxRequest> boxes;
    std::deque<BoxAnswer> answers;
    std::vector<FileDialogRequest> fileDialogs;
    std::deque<QString> fileAnswers;  // an empty name cancels the dialog
    int printerSetups = 0;

private:
    std::unique_ptr<TempConfigHome> home_;
};
