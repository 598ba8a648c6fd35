// The options dialog: settings to controls and back, OK / Cancel / Escape / the close box,
// values outside the lists, the port mapping and what reaches VEXLO.INI at exit.
#include "support/ProgramFixture.h"
#include "support/FakeSerialTree.h"
#include "support/PtyDevice.h"

#include "app/OptionsDialog.h"
#include "link/Comenote.h"
#include "store/MemoStore.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolButton>
#include <QTest>

#include <functional>
#include <optional>

namespace {

struct LinkValues {
    std::string port;
    uint32_t speed;
    int parity;
    int stopBits;
    int wordLen;
    bool zenToHan;
    bool kataToHira;
};

LinkValues linkNow()
{
    return {CommLink.PortName, CommLink.Speed, CommLink.Parity, CommLink.StopBits,
            CommLink.WordLen, CommLink.ZenToHan, CommLink.KataToHira};
}

// -1: nothing selected.
struct ControlValues {
    int port;
    int speed;
    int parity;
    int stopBits;
    int wordLen;
    bool check1;
    bool check2;
};

ControlValues controlsNow()
{
    return {MultPageDlg->ComboBox1->currentIndex(), MultPageDlg->RadioGroup1->ItemIndex(),
            MultPageDlg->RadioGroup2->ItemIndex(),  MultPageDlg->RadioGroup3->ItemIndex(),
            MultPageDlg->RadioGroup4->ItemIndex(),  MultPageDlg->CheckBox1->isChecked(),
            MultPageDlg->CheckBox2->isChecked()};
}

// The user's edits: 4800 bit/s, COM3, even parity, two stop bits, 7 bits, both switches on.
void edit()
{
    MultPageDlg->RadioGroup1->Buttons->button(2)->click();
    MultPageDlg->ComboBox1->setCurrentIndex(2);
    MultPageDlg->RadioGroup2->Buttons->button(2)->click();
    MultPageDlg->RadioGroup3->Buttons->button(2)->click();
    MultPageDlg->RadioGroup4->Buttons->button(0)->click();
    MultPageDlg->CheckBox1->setChecked(true);
    MultPageDlg->CheckBox2->setChecked(true);
}

void show() { MultPageDlg->show(); QCoreApplication::processEvents(); }

const LinkValues kEdited{"COM3", 4800, 2, 2, 7, true, true};
const ControlValues kEditedControls{2, 2, 2, 2, 0, true, true};

struct DialogCase {
    const char* name;
    const char* ini;
    ControlValues shown;                 // the controls when the dialog opens
    std::function<void()> act;           // what the user does
    LinkValues after;                    // CommLink afterwards
    ControlValues reopened;              // the controls when the dialog opens again
    std::optional<ControlValues> closed; // the hidden dialog's controls, where they matter
};

class OptionsDialogTest : public ProgramFixture, public testing::WithParamInterface<DialogCase> {};

constexpr const char* kStored =
    "[Comm]\r\nPort=COM2\r\nSpeed=19200\r\nWordLen=8\r\nPariry=1\r\nStopBits=1\r\n"
    "[Mode]\r\nZenToHan=FALSE\r\nKataToHira=TRUE\r\n";
constexpr const char* kOutside =
    "[Comm]\r\nPort=COM10\r\nSpeed=38400\r\nWordLen=9\r\nPariry=5\r\nStopBits=3\r\n"
    "[Mode]\r\nZenToHan=FALSE\r\nKataToHira=FALSE\r\n";
const LinkValues kStoredLink{"COM2", 19200, 1, 1, 8, false, true};
const ControlValues kStoredControls{1, 4, 1, 1, 1, false, true};
const LinkValues kOutsideLink{"COM10", 38400, 5, 3, 9, false, false};
const ControlValues kNothing{-1, -1, -1, -1, -1, false, false};

void expectControls(const ControlValues& want, const char* when)
{
    const ControlValues got = controlsNow();
    EXPECT_EQ(got.port, want.port) << when;
    EXPECT_EQ(got.speed, want.speed) << when;
    EXPECT_EQ(got.parity, want.parity) << when;
    EXPECT_EQ(got.stopBits, want.stopBits) << when;
    EXPECT_EQ(got.wordLen, want.wordLen) << when;
    EXPECT_EQ(got.check1, want.check1) << when;
    EXPECT_EQ(got.check2, want.check2) << when;
}

TEST_P(OptionsDialogTest, ControlsFollowTheLinkRecordAndOnlyOkWritesBack)
{
    const DialogCase& c = GetParam();
    home().write(c.ini);
    start();
    show();
    expectControls(c.shown, "on opening");
    c.act();
    QCoreApplication::processEvents();
    EXPECT_FALSE(MultPageDlg->isVisible());
    const LinkValues got = linkNow();
    EXPECT_EQ(got.port, c.after.port);
    EXPECT_EQ(got.speed, c.after.speed);
    EXPECT_EQ(got.parity, c.after.parity);
    EXPECT_EQ(got.stopBits, c.after.stopBits);
    EXPECT_EQ(got.wordLen, c.after.wordLen);
    EXPECT_EQ(got.zenToHan, c.after.zenToHan);
    EXPECT_EQ(got.kataToHira, c.after.kataToHira);
    EXPECT_EQ(home().read(), QByteArray(c.ini)) << "the file changes only at exit";
    if (c.closed)
        expectControls(*c.closed, "closed");
    show();
    expectControls(c.reopened, "on reopening");
    MultPageDlg->hide();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionsDialogTest,
    testing::Values(
        DialogCase{"OkStoresTheEdits", kStored, kStoredControls,
                   [] { edit(); MultPageDlg->OKBtn->click(); }, kEdited, kEditedControls, std::nullopt},
        DialogCase{"EnterPressesOk", kStored, kStoredControls,
                   [] { edit(); QTest::keyClick(MultPageDlg, Qt::Key_Return); }, kEdited, kEditedControls, std::nullopt},
        DialogCase{"CancelThrowsTheEditsAway", kStored, kStoredControls,
                   [] { edit(); MultPageDlg->CancelBtn->click(); }, kStoredLink, kStoredControls, kStoredControls},
        DialogCase{"EscapeIsCancel", kStored, kStoredControls,
                   [] { edit(); QTest::keyClick(MultPageDlg, Qt::Key_Escape); }, kStoredLink, kStoredControls,
                   kStoredControls},
        DialogCase{"CloseBoxKeepsTheSettings", kStored, kStoredControls,
                   [] { edit(); MultPageDlg->close(); }, kStoredLink, kStoredControls, kEditedControls},
        // Values no entry stands for select nothing; OK keeps them, except the port,
        // which becomes empty.
        DialogCase{"OutsideValuesOk", kOutside, kNothing, [] { MultPageDlg->OKBtn->click(); },
                   LinkValues{"", 38400, 5, 3, 9, false, false}, kNothing, std::nullopt},
        DialogCase{"OutsideValuesCancel", kOutside, kNothing, [] { MultPageDlg->CancelBtn->click(); },
                   kOutsideLink, kNothing, std::nullopt},
        // Port names compare case-sensitively.
        DialogCase{"LowerCasePortSelectsNothing",
                   "[Comm]\r\nPort=com2\r\nSpeed=19200\r\nWordLen=8\r\nPariry=1\r\nStopBits=1\r\n"
                   "[Mode]\r\nZenToHan=FALSE\r\nKataToHira=TRUE\r\n",
                   ControlValues{-1, 4, 1, 1, 1, false, true}, [] { MultPageDlg->OKBtn->click(); },
                   LinkValues{"", 19200, 1, 1, 8, false, true}, ControlValues{-1, 4, 1, 1, 1, false, true}, std::nullopt},
        // A port given as a path is listed as an entry of its own, and OK keeps it.
        DialogCase{"APathPortIsKept",
                   "[Comm]\r\nPort=/dev/serial/by-id/usb-QM-10\r\nSpeed=19200\r\nWordLen=8\r\nPariry=1\r\n"
                   "StopBits=1\r\n[Mode]\r\nZenToHan=FALSE\r\nKataToHira=TRUE\r\n",
                   ControlValues{9, 4, 1, 1, 1, false, true},
                   [] {
                       MultPageDlg->RadioGroup1->Buttons->button(2)->click();
                       MultPageDlg->OKBtn->click();
                   },
                   LinkValues{"/dev/serial/by-id/usb-QM-10", 4800, 1, 1, 8, false, true},
                   ControlValues{9, 2, 1, 1, 1, false, true}, std::nullopt},
        // A cancelled choice does not come back selected, where the next OK would store it.
        DialogCase{"OutsideValuesEditedThenCancelled", kOutside, kNothing,
                   [] { edit(); MultPageDlg->CancelBtn->click(); }, kOutsideLink, kNothing, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

using OptionsDialogMore = ProgramFixture;

QRadioButton* radio(const char* name)
{
    return MultPageDlg->findChild<QRadioButton*>(QLatin1String(name));
}

TEST_F(OptionsDialogMore, LayoutModelPageAndTheLastPageKept)
{
    start();
    EXPECT_EQ(MultPageDlg->windowTitle(), "各種設定");
    EXPECT_EQ(MultPageDlg->size(), QSize(364, 258));
    ASSERT_EQ(MultPageDlg->TabSet->count(), 4);
    EXPECT_EQ(MultPageDlg->TabSet->tabText(0), "通信設定");
    EXPECT_EQ(MultPageDlg->TabSet->tabText(1), "接続機種");
    EXPECT_EQ(MultPageDlg->TabSet->tabText(2), "環境設定");
    EXPECT_EQ(MultPageDlg->TabSet->tabText(3), "保存");
    EXPECT_EQ(MultPageDlg->TabSet->shape(), QTabBar::RoundedSouth);
    ASSERT_EQ(MultPageDlg->ComboBox1->count(), 9);
    EXPECT_EQ(MultPageDlg->ComboBox1->itemText(8), "COM9");
    EXPECT_EQ(MultPageDlg->HelpBtn->text(), "ﾍﾙﾌﾟ(&H)");
    EXPECT_TRUE(CommLink.Machine);
    EXPECT_TRUE(radio("RadioButton1")->isChecked() && radio("RadioButton1")->isEnabled());
    for (const char* other : {"RadioButton2", "RadioButton11", "RadioButton3", "RadioButton4"})
        EXPECT_FALSE(radio(other)->isEnabled() || radio(other)->isChecked()) << other;

    show();
    EXPECT_TRUE(MultPageDlg->OKBtn->hasFocus() || !MultPageDlg->isActiveWindow());
    MultPageDlg->TabSet->setCurrentIndex(2);
    EXPECT_EQ(MultPageDlg->Notebook->currentIndex(), 2);
    MultPageDlg->CancelBtn->click();
    show();
    EXPECT_EQ(MultPageDlg->Notebook->currentIndex(), 2) << "the page last shown";
    MultPageDlg->hide();
}

// [Ports] entries that name no device show as missing; a device chosen for a port is used
// at once by the link, written to [Ports] at exit, and Port stays the COM name.
TEST_F(OptionsDialogMore, PortMappingShownChosenAndWrittenAtExit)
{
    PtyDevice device;
    home().write("[Comm]\r\nPort=COM1\r\n[Ports]\r\nCOM2=not a path\r\nCOM3=/dev/vexlo-gone\r\n"
                 "COM4=" + device.path().toUtf8() + "\r\nCOM9=\r\n");
    start();
    show();
    struct Shown {
        int index;
        QString text;
        bool missing;
    };
    for (const Shown& s : {Shown{1, "not a path", true}, Shown{2, "/dev/vexlo-gone", true},
                           Shown{3, device.path(), false}, Shown{8, "/dev/ttyS8", true}}) {
        MultPageDlg->ComboBox1->setCurrentIndex(s.index);
        EXPECT_TRUE(MultPageDlg->PortDevice->toolTip().contains(s.text)) << MultPageDlg->PortDevice->toolTip().toStdString();
        EXPECT_EQ(MultPageDlg->PortDevice->text().contains("(ありません)"), s.missing) << s.text.toStdString();
    }
    MultPageDlg->ComboBox1->setCurrentIndex(0);
    // The menu offers the port's usual device and the devices found.
    emit MultPageDlg->PortMapBtn->menu()->aboutToShow();
    ASSERT_FALSE(MultPageDlg->PortMapBtn->menu()->actions().isEmpty());
    EXPECT_TRUE(MultPageDlg->PortMapBtn->menu()->actions().first()->text().startsWith("/dev/ttyS0"));

    // Cancel forgets a chosen device.
    MultPageDlg->MapSelectedPort(device.path().toStdString());
    EXPECT_EQ(MultPageDlg->PortDevice->toolTip().contains(device.path()), true);
    MultPageDlg->CancelBtn->click();
    EXPECT_TRUE(CommLink.PortDevices.empty());

    show();
    MultPageDlg->ComboBox1->setCurrentIndex(0);
    MultPageDlg->MapSelectedPort(device.path().toStdString());
    MultPageDlg->OKBtn->click();
    EXPECT_EQ(ResolveLinkPort(CommLink), device.path().toStdString()) << "the next exchange opens it";
    EXPECT_FALSE(home().read().contains("COM1=")) << "only at exit";

    MainForm->close();
    QCoreApplication::processEvents();
    const QByteArray file = home().read();
    EXPECT_TRUE(file.contains("Port=COM1\r\n")) << file.constData();
    EXPECT_TRUE(file.contains("[Ports]\r\nCOM2=not a path\r\nCOM3=/dev/vexlo-gone\r\nCOM4=")) << file.constData();
    EXPECT_TRUE(file.contains("COM1=" + device.path().toUtf8() + "\r\n")) << file.constData();
}

// Page 保存: the folder shows as it is used; the default stays "the default" (so that it
// follows XDG_DATA_HOME) unless another is chosen; OK alone changes the settings, the exit
// writes them.
TEST_F(OptionsDialogMore, LibraryPageKeepsTheDefaultUnlessAnotherFolderIsChosen)
{
    start();
    show();
    MultPageDlg->TabSet->setCurrentIndex(3);
    EXPECT_TRUE(MultPageDlg->AutoSaveCheck->isChecked());
    EXPECT_EQ(MultPageDlg->FolderEdit->text(), home().libraryPath());
    MultPageDlg->OKBtn->click();
    EXPECT_TRUE(LibrarySettings.Folder.isEmpty());

    const QString other = home().path() + QStringLiteral("/elsewhere");
    for (QPushButton* button : {MultPageDlg->CancelBtn, MultPageDlg->OKBtn}) {
        show();
        fileAnswers.push_back(other);
        MultPageDlg->FolderBtn->click();
        EXPECT_EQ(MultPageDlg->FolderEdit->text(), other);
        MultPageDlg->AutoSaveCheck->setChecked(false);
        button->click();
    }
    ASSERT_EQ(fileDialogs.size(), 2u);
    EXPECT_EQ(fileDialogs[0].mode, FileDialogRequest::Mode::Folder);
    EXPECT_EQ(fileDialogs[0].fileName, home().libraryPath()) << "the dialog opens at the folder shown";
    EXPECT_EQ(LibrarySettings.Folder, other);
    EXPECT_FALSE(LibrarySettings.AutoSave);
    EXPECT_EQ(LibraryFolder(), other);

    MainForm->close();
    QCoreApplication::processEvents();
    EXPECT_TRUE(home().read().contains("[Library]\r\nFolder=" + other.toUtf8() + "\r\nAutoSave=FALSE\r\n"))
        << home().read().constData();
}

// While the dialog is open its device list follows the adapters: the mapped one shows by what
// it is, turns missing when pulled out and is found again after it moved to another socket
// (its stable name stays); the menu offers each adapter by what it is and maps its stable name.
TEST_F(OptionsDialogMore, DeviceListFollowsTheAdaptersAndMapsTheirStableNames)
{
    FakeSerialTree tree;
    tree.plug(kFtdi);
    const QString ftdi = tree.path("dev/serial/by-id/" + kFtdi.byId);
    home().write("[Comm]\r\nPort=COM1\r\n[Ports]\r\nCOM1=" + ftdi.toUtf8() + "\r\n");
    start();
    show();
    QLabel* label = MultPageDlg->PortDevice;
    // The label is narrow: the description may give way, the node's name stays.
    EXPECT_TRUE(label->text().startsWith("FTDI") && label->text().endsWith(" (ttyUSB0)")) << label->text().toStdString();
    EXPECT_EQ(label->toolTip(), "COM1 は " + ftdi + " (FTDI FT232R USB UART, ttyUSB0) を使います");

    tree.unplug(kFtdi);
    EXPECT_TRUE(QTest::qWaitFor([&] { return label->text().endsWith("(ありません)"); }, 5000))
        << label->text().toStdString();
    FakeAdapter moved = kFtdi;  // into another socket, where it comes up as ttyUSB3
    moved.node = "ttyUSB3";
    moved.usbPort = 4;
    tree.plug(moved);
    EXPECT_TRUE(QTest::qWaitFor([&] { return label->text().endsWith(" (ttyUSB3)"); }, 5000))
        << label->text().toStdString();

    tree.plug(kCh340);
    QMenu* menu = MultPageDlg->PortMapBtn->menu();
    emit menu->aboutToShow();
    QStringList offered;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            offered << a->text() + (a->isChecked() ? "  [checked]" : "");
    ASSERT_EQ(offered.size(), 3);
    EXPECT_TRUE(offered.takeFirst().startsWith("/dev/ttyS0")) << "the port's usual device first";
    const QStringList expected{
        "USB Serial (ttyUSB1) — " + QString::fromStdString(kCh340.byId),
        "FTDI FT232R USB UART (ttyUSB3) — " + QString::fromStdString(kFtdi.byId) + "  [checked]"};
    EXPECT_EQ(offered, expected) << offered.join("\n").toStdString();
    menu->actions().at(2)->trigger();  // after the usual device and the separator
    EXPECT_EQ(label->text(), "USB Serial (ttyUSB1)");
    MultPageDlg->OKBtn->click();
    EXPECT_EQ(CommLink.PortDevices["COM1"], tree.path("dev/serial/by-id/" + kCh340.byId).toStdString());
}

}  // namespace
