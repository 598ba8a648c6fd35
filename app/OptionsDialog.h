// The options dialog: the link settings and the two title conversion switches, edited in
// memory. Its controls are loaded from CommLink when it is shown (SettingsToControls) and
// written back by OK (ControlsToSettings); Cancel throws the edits away; the close box does
// neither. The settings reach VEXLO.INI when the program ends.
//
// Beside the port list the dialog shows which device each port name stands for (the device
// chosen in this run, the [Ports] entry, or /dev/ttyS(n-1)), marks names whose device is
// missing, and lets the user map the chosen name to one of the serial devices found, each shown
// by its maker and product and mapped by its stable /dev/serial/by-id name. While the dialog is
// open these follow adapters plugged in and pulled out. A port stored as a device path is
// listed after COM9 as an entry of its own.
//
// A fourth page, 保存, holds the memo library's settings (LibrarySettings, store/MemoStore.h):
// whether received memos are stored as they arrive, and the folder they go to.
#pragma once

#include "gui/LazyForm.h"
#include "platform/SerialDevices.h"

#include <QDialog>

#include <map>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabBar;
class QToolButton;

namespace platform {
class SerialDeviceWatcher;
}

// A group box of radio buttons with an item index, where -1 means none selected.
class TRadioGroup {
public:
    TRadioGroup(QWidget* parent, const char* name, const QString& caption, const QStringList& items);
    int ItemIndex() const;
    void SetItemIndex(int index);  // -1 clears the selection
    QGroupBox* Box = nullptr;
    QButtonGroup* Buttons = nullptr;
};

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit OptionsDialog(QWidget* parent = nullptr);
    ~OptionsDialog() override;

    void SettingsToControls();
    void ControlsToSettings();

    // The device path port NAME stands for while the dialog is open.
    std::string DeviceOf(const std::string& name) const;
    // Maps the selected port to DEVICE (kept until OK, thrown away by Cancel).
    void MapSelectedPort(const std::string& device);
    // DEVICE as the dialog shows it: "FTDI FT232R USB UART (ttyUSB0)" for a serial device
    // found, its path otherwise, marked "(ありません)" when missing.
    QString DeviceText(const std::string& device) const;

    QTabBar* TabSet = nullptr;
    QStackedWidget* Notebook = nullptr;
    QWidget* ButtonPanel = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* HelpBtn = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    TRadioGroup* RadioGroup1 = nullptr;  // speed
    TRadioGroup* RadioGroup2 = nullptr;  // parity
    TRadioGroup* RadioGroup3 = nullptr;  // stop bits
    TRadioGroup* RadioGroup4 = nullptr;  // data length
    QComboBox* ComboBox1 = nullptr;
    QLabel* PortDevice = nullptr;        // the device the selected port stands for
    QToolButton* PortMapBtn = nullptr;   // maps the selected port to a device found
    QRadioButton* RadioButton2 = nullptr;
    QRadioButton* RadioButton11 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton4 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    // Page 保存.
    QGroupBox* GroupBox4 = nullptr;
    QCheckBox* AutoSaveCheck = nullptr;
    QLineEdit* FolderEdit = nullptr;
    QCheckBox* ReceiverCheck = nullptr;  // 自動受信: the user service vexlo-receiver
    QLabel* receiverNote_ = nullptr;     // why the switch cannot be used here
    QPushButton* FolderBtn = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool receiverUsable_ = false;  // a user manager with the unit installed
    bool receiverWasOn_ = false;
    std::string receiverLine_;  // the port and line settings when the dialog opened
    void initialise();
    void FormShow();
    void showPage(int index);
    void okClicked();
    void cancelClicked();
    void helpClicked();

    QWidget* createPortPage();
    QWidget* createModelPage();
    QWidget* createSwitchPage();
    QWidget* createLibraryPage();
    void LibraryToControls();
    void ControlsToLibrary();
    // The 自動受信 switch as the service manager has it, and the change the user made to it
    // (or to the port while it is on) carried out: VEXLO.INI is written first, so the receiver
    // reads the same port.
    void ReceiverToControls();
    void ApplyReceiverSwitch();
    std::string lineSettingsText() const;
    void chooseFolder();
    void fillPortMenu();
    void showPortDevice();
    void devicesChanged();

    QMenu* portMenu_ = nullptr;
    bool fontsSet_ = false;
    std::map<std::string, std::string> devices_;  // the port mapping being edited
    std::vector<platform::SerialDevice> found_;   // the serial devices there are, while shown
    platform::SerialDeviceWatcher* deviceWatcher_ = nullptr;
};

extern LazyForm<OptionsDialog> MultPageDlg;
