#include "app/OptionsDialog.h"

#include "gui/ScreenFit.h"
#include "app/MainWindow.h"
#include "gui/MessageBox.h"
#include "session/ReceiverUnit.h"
#include "gui/Dialogs.h"
#include "gui/Fonts.h"
#include "gui/ProgramStyle.h"
#include "link/CommLink.h"
#include "link/Comenote.h"
#include "gui/HelpEngine.h"
#include "gui/KeyboardReach.h"
#include "platform/SerialDeviceWatcher.h"
#include "platform/SerialDevices.h"
#include "store/MemoStore.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QToolButton>

#include <array>
#include <filesystem>

LazyForm<OptionsDialog> MultPageDlg;

namespace {

constexpr std::array<int, 5> kSpeeds{1200, 2400, 4800, 9600, 19200};
constexpr std::array<int, 2> kWordLens{7, 8};
constexpr int kPortCount = 9;

int indexOf(const auto& values, int value)
{
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i] == value)
            return static_cast<int>(i);
    return -1;
}

bool deviceMissing(const std::string& device)
{
    return !platform::IsCharacterDevice(device);
}

// A port given as a device path (Port=/dev/ttyUSB0 in VEXLO.INI) rather than a name COMn.
bool isPathPort(const QString& port)
{
    return port.contains(QLatin1Char('/'));
}

// A path as it stands, marked when nothing is there.
QString pathText(const std::string& device)
{
    const QString path = QString::fromStdString(device);
    return deviceMissing(device) ? QStringLiteral("%1 (ありません)").arg(path) : path;
}

// A device found, for the 割り当て menu: what it is, its node, and the stable name that is
// stored (its folder /dev/serial/by-id is the same for all and shows in the tool tip).
QString menuText(const platform::SerialDevice& d)
{
    const QString about = QString::fromStdString(d.Description());
    if (d.Path == d.Node)
        return about.isEmpty() ? QString::fromStdString(d.Path) : QStringLiteral("%1 — %2").arg(about, QString::fromStdString(d.Path));
    const QString stable = QString::fromStdString(std::filesystem::path(d.Path).filename().string());
    const QString node = QString::fromStdString(d.NodeName());
    return about.isEmpty() ? QStringLiteral("%1 (%2)").arg(stable, node)
                           : QStringLiteral("%1 (%2) — %3").arg(about, node, stable);
}

// The port list's drop-down shows, after each name, the device it stands for; a name whose
// device is missing is greyed. The entries' own texts stay "COM1" … "COM9".
class PortItemDelegate : public QStyledItemDelegate {
public:
    PortItemDelegate(const OptionsDialog* dialog, QObject* parent) : QStyledItemDelegate(parent), dialog_(dialog) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const std::string device = dialog_->DeviceOf(index.data().toString().toStdString());
        // A path is its own device.
        option->text = isPathPort(index.data().toString())
                           ? dialog_->DeviceText(device)
                           : QStringLiteral("%1  %2").arg(index.data().toString(), dialog_->DeviceText(device));
        if (deviceMissing(device))
            option->palette.setColor(QPalette::Text, option->palette.color(QPalette::Disabled, QPalette::Text));
    }

private:
    const OptionsDialog* dialog_;
};

}  // namespace

TRadioGroup::TRadioGroup(QWidget* parent, const char* name, const QString& caption, const QStringList& items)
{
    Box = new QGroupBox(caption, parent);
    Box->setObjectName(QLatin1String(name));
    Box->setAccessibleName(caption);  // else a screen reader names it after the box around it
    Buttons = new QButtonGroup(Box);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], Box);
        button->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(i));
        button->setGeometry(10, 17 + i * 17, 100, 17);
        Buttons->addButton(button, i);
    }
}

int TRadioGroup::ItemIndex() const
{
    return Buttons->checkedId();
}

void TRadioGroup::SetItemIndex(int index)
{
    if (QAbstractButton* button = Buttons->button(index)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group cannot uncheck its checked button; lift the rule for a moment.
    Buttons->setExclusive(false);
    for (QAbstractButton* button : Buttons->buttons())
        button->setChecked(false);
    Buttons->setExclusive(true);
}

OptionsDialog::OptionsDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("MultPageDlg"));
    setWindowTitle(QStringLiteral("各種設定"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(364, 258);

    Notebook = new QStackedWidget(this);
    Notebook->setObjectName(QStringLiteral("Notebook"));
    Notebook->setGeometry(0, 0, 264, 239);
    Notebook->addWidget(createPortPage());
    Notebook->addWidget(createModelPage());
    Notebook->addWidget(createSwitchPage());
    Notebook->addWidget(createLibraryPage());

    TabSet = new QTabBar(this);
    TabSet->setObjectName(QStringLiteral("TabSet"));
    TabSet->setShape(QTabBar::RoundedSouth);
    TabSet->setDrawBase(false);
    TabSet->setExpanding(false);
    TabSet->setGeometry(0, 239, 264, 19);
    connect(TabSet, &QTabBar::currentChanged, this, &OptionsDialog::showPage);

    ButtonPanel = new QWidget(this);
    ButtonPanel->setObjectName(QStringLiteral("ButtonPanel"));
    ButtonPanel->setGeometry(264, 0, 100, 258);
    auto button = [&](const char* name, const QString& caption, int top) {
        auto* b = new QPushButton(caption, ButtonPanel);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(12, top, 77, 27);
        return b;
    };
    OKBtn = button("OKBtn", QStringLiteral("OK"), 10);
    CancelBtn = button("CancelBtn", QStringLiteral("ｷｬﾝｾﾙ"), 44);
    HelpBtn = button("HelpBtn", QStringLiteral("ﾍﾙﾌﾟ(&H)"), 78);
    OKBtn->setDefault(true);  // Enter presses OK
    connect(OKBtn, &QPushButton::clicked, this, &OptionsDialog::okClicked);
    connect(CancelBtn, &QPushButton::clicked, this, &OptionsDialog::cancelClicked);
    connect(HelpBtn, &QPushButton::clicked, this, &OptionsDialog::helpClicked);

    initialise();
    TabToCheckedButtons(this);
    FitToScreen(this);
}

OptionsDialog::~OptionsDialog()
{
    // The groups' widgets belong to the page; the small records that bind them are ours.
    for (TRadioGroup* group : {RadioGroup1, RadioGroup2, RadioGroup3, RadioGroup4})
        delete group;
}

QWidget* OptionsDialog::createPortPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("通信設定"));
    GroupBox1 = new QGroupBox(QStringLiteral("通信ポートの設定"), page);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(6, 4, 252, 231);

    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(10, 20, 64, 22);
    for (int n = 1; n <= kPortCount; ++n)
        ComboBox1->addItem(QStringLiteral("COM%1").arg(n));
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setItemDelegate(new PortItemDelegate(this, ComboBox1));
    ComboBox1->view()->setMinimumWidth(330);  // room for a device's maker and product
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &OptionsDialog::showPortDevice);
    NameList(ComboBox1, QStringLiteral("通信ポート"));

    PortDevice = new QLabel(GroupBox1);
    PortDevice->setObjectName(QStringLiteral("PortDevice"));
    PortDevice->setGeometry(80, 20, 164, 22);

    PortMapBtn = new QToolButton(GroupBox1);
    PortMapBtn->setObjectName(QStringLiteral("PortMapBtn"));
    PortMapBtn->setText(QStringLiteral("割り当て(&M)"));
    PortMapBtn->setToolTip(QStringLiteral("選択したポート名に使うシリアルデバイスを選びます"));
    PortMapBtn->setGeometry(130, 190, 114, 26);
    PortMapBtn->setPopupMode(QToolButton::InstantPopup);
    portMenu_ = new QMenu(PortMapBtn);
    portMenu_->setObjectName(QStringLiteral("PortMenu"));
    PortMapBtn->setMenu(portMenu_);
    portMenu_->setToolTipsVisible(true);
    connect(portMenu_, &QMenu::aboutToShow, this, &OptionsDialog::fillPortMenu);
    deviceWatcher_ = new platform::SerialDeviceWatcher(this);
    connect(deviceWatcher_, &platform::SerialDeviceWatcher::changed, this, &OptionsDialog::devicesChanged);

    RadioGroup1 = new TRadioGroup(GroupBox1, "RadioGroup1", QStringLiteral("通信速度"),
                                  {QStringLiteral("1200BPS"), QStringLiteral("2400BPS"), QStringLiteral("4800BPS"),
                                   QStringLiteral("9600BPS"), QStringLiteral("19200BPS")});
    RadioGroup1->Box->setGeometry(8, 48, 116, 106);
    RadioGroup2 = new TRadioGroup(GroupBox1, "RadioGroup2", QStringLiteral("パリティ"),
                                  {QStringLiteral("NONE"), QStringLiteral("ODD"), QStringLiteral("EVEN")});
    RadioGroup2->Box->setGeometry(130, 48, 114, 72);
    RadioGroup3 = new TRadioGroup(GroupBox1, "RadioGroup3", QStringLiteral("ｽﾄｯﾌﾟﾋﾞｯﾄ"),
                                  {QStringLiteral("1BIT"), QStringLiteral("1.5BIT"), QStringLiteral("2BIT")});
    RadioGroup3->Box->setGeometry(8, 156, 116, 72);
    RadioGroup4 = new TRadioGroup(GroupBox1, "RadioGroup4", QStringLiteral("データ長"),
                                  {QStringLiteral("7BIT"), QStringLiteral("8BIT")});
    RadioGroup4->Box->setGeometry(130, 122, 114, 55);
    return page;
}

QWidget* OptionsDialog::createModelPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("接続機種"));
    GroupBox2 = new QGroupBox(QStringLiteral("接続する機種"), page);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(6, 4, 252, 160);
    int top = 24;
    auto model = [&](const char* name, const QString& caption, bool enabled) {
        auto* b = new QRadioButton(caption, GroupBox2);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(14, top, 230, 20);
        b->setEnabled(enabled);
        top += 26;
        return b;
    };
    RadioButton2 = model("RadioButton2", QStringLiteral("TW系列(海外電子手帳)"), false);
    RadioButton11 = model("RadioButton11", QStringLiteral("HN､HV系(国内電子手帳)"), false);
    RadioButton3 = model("RadioButton3", QStringLiteral("KL-XXXX系(国内キッズ)"), false);
    RadioButton1 = model("RadioButton1", QStringLiteral("QM-10(国内コンシューマペン)"), true);
    RadioButton4 = model("RadioButton4", QStringLiteral("QM-800系(国内カラーペン)"), false);
    return page;
}

QWidget* OptionsDialog::createSwitchPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("環境設定"));
    GroupBox3 = new QGroupBox(QStringLiteral("その他の設定"), page);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setGeometry(6, 4, 252, 90);
    CheckBox1 = new QCheckBox(QStringLiteral("送信時に全角→半角変換を行う"), GroupBox3);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(14, 26, 230, 20);
    CheckBox2 = new QCheckBox(QStringLiteral("半角ｶﾀｶﾅをひらがなに変換する"), GroupBox3);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setGeometry(14, 54, 230, 20);
    return page;
}

QWidget* OptionsDialog::createLibraryPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("保存"));
    GroupBox4 = new QGroupBox(QStringLiteral("受信したメモの保存"), page);
    GroupBox4->setObjectName(QStringLiteral("GroupBox4"));
    GroupBox4->setGeometry(6, 4, 252, 231);
    AutoSaveCheck = new QCheckBox(QStringLiteral("受信したメモを自動的に保存する"), GroupBox4);
    AutoSaveCheck->setObjectName(QStringLiteral("AutoSaveCheck"));
    AutoSaveCheck->setGeometry(14, 24, 230, 20);
    auto* folderLabel = new QLabel(QStringLiteral("保存先のフォルダー(&F):"), GroupBox4);
    folderLabel->setGeometry(14, 54, 230, 18);
    FolderEdit = new QLineEdit(GroupBox4);
    FolderEdit->setObjectName(QStringLiteral("FolderEdit"));
    FolderEdit->setGeometry(14, 74, 230, 22);
    folderLabel->setBuddy(FolderEdit);
    FolderBtn = new QPushButton(QStringLiteral("参照(&B)..."), GroupBox4);
    FolderBtn->setObjectName(QStringLiteral("FolderBtn"));
    FolderBtn->setGeometry(164, 102, 80, 25);
    connect(FolderBtn, &QPushButton::clicked, this, &OptionsDialog::chooseFolder);
    auto* note = new QLabel(QStringLiteral("受信したメモは、QM-10 に受け取りを知らせる前に、"
                                           "1 件ずつ PNG ファイルとしてこのフォルダーに保存されます。"
                                           "保存できないときは受信を中止し、メモは QM-10 に残ります。"),
                            GroupBox4);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    note->setGeometry(14, 130, 230, 56);
    ReceiverCheck = new QCheckBox(QStringLiteral("VEXLO を閉じていても自動受信する(&R)"), GroupBox4);
    ReceiverCheck->setObjectName(QStringLiteral("ReceiverCheck"));
    ReceiverCheck->setToolTip(QStringLiteral("ログインしている間、vexlo-receiver がメモを受信してライブラリに保存し、"
                                             "デスクトップに知らせます"));
    ReceiverCheck->setGeometry(14, 186, 230, 20);
    connect(AutoSaveCheck, &QCheckBox::toggled, this,
            [this](bool on) { ReceiverCheck->setEnabled(receiverUsable_ && on); });
    receiverNote_ = new QLabel(GroupBox4);
    receiverNote_->setWordWrap(true);
    receiverNote_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    receiverNote_->setGeometry(32, 206, 212, 24);
    QFont small = receiverNote_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    receiverNote_->setFont(small);
    return page;
}

// The folder shows as it will be used; the default stays "the default" (an empty setting)
// unless the user names another.
void OptionsDialog::LibraryToControls()
{
    AutoSaveCheck->setChecked(LibrarySettings.AutoSave);
    FolderEdit->setText(QDir::toNativeSeparators(LibraryFolder(LibrarySettings)));
}

void OptionsDialog::ControlsToLibrary()
{
    LibrarySettings.AutoSave = AutoSaveCheck->isChecked();
    const QString folder = QDir::cleanPath(FolderEdit->text().trimmed());
    if (folder.isEmpty() || folder == QDir::cleanPath(LibraryFolder(LibrarySettings)))
        return;  // unchanged (an empty field keeps the folder too)
    LibrarySettings.Folder = folder == QDir::cleanPath(DefaultLibraryFolder()) ? QString() : folder;
}

void OptionsDialog::ReceiverToControls()
{
    const session::ReceiverUnit unit;
    const QString unavailable = unit.Unavailable();
    receiverUsable_ = unavailable.isEmpty();
    receiverWasOn_ = receiverUsable_ && unit.Enabled();
    ReceiverCheck->setChecked(receiverWasOn_);
    // The receiver stores into the library: without it, it would only fail to start.
    ReceiverCheck->setEnabled(receiverUsable_ && AutoSaveCheck->isChecked());
    // The page has room for the reason's first sentence; the whole of it is the tool tip.
    receiverNote_->setText(unavailable.section(QChar(u'。'), 0, 0, QString::SectionIncludeTrailingSep));
    receiverNote_->setToolTip(unavailable);
    receiverLine_ = lineSettingsText();
}

void OptionsDialog::ApplyReceiverSwitch()
{
    if (!receiverUsable_)
        return;
    const bool on = ReceiverCheck->isChecked() && AutoSaveCheck->isChecked();
    if (on == receiverWasOn_ && (!on || lineSettingsText() == receiverLine_))
        return;  // nothing the receiver would see differently
    if (on)
        MainForm->storeConfig();  // the receiver takes the port from VEXLO.INI
    QString error;
    if (!session::ReceiverUnit().SetEnabled(on, &error))
        ShowBox(BoxKind::Error, (on ? QStringLiteral("自動受信を開始できません。\n\n")
                                    : QStringLiteral("自動受信を止められません。\n\n")) + error);
    receiverWasOn_ = on;
    receiverLine_ = lineSettingsText();
}

std::string OptionsDialog::lineSettingsText() const
{
    return CommLink.PortName + '|' + ResolveLinkPort(CommLink) + '|' + std::to_string(CommLink.Speed) + '|' +
           std::to_string(CommLink.WordLen) + '|' + std::to_string(CommLink.Parity) + '|' +
           std::to_string(CommLink.StopBits);
}

void OptionsDialog::chooseFolder()
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Folder;
    request.title = QStringLiteral("受信したメモの保存先");
    request.fileName = FolderEdit->text();
    if (const std::optional<QString> chosen = RunFileDialog(this, request))
        FolderEdit->setText(QDir::toNativeSeparators(*chosen));
}

void OptionsDialog::initialise()
{
    for (int i = 0; i < Notebook->count(); ++i)
        TabSet->addTab(Notebook->widget(i)->objectName());
    // The QM-10 is the one model this program talks to; creating the dialog selects it, so
    // the configuration written at exit always records it.
    CommLink.Machine = true;
    RadioButton1->setChecked(CommLink.Machine);
    RadioButton1->setChecked(!RadioButton11->isChecked());
    if (RadioGroup1->ItemIndex() < 0)
        SettingsToControls();
    OKBtn->setFocus();
}

void OptionsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())  // restored from an icon: not a new showing
        return;
    if (!fontsSet_) {
        // The dialog's two fonts are loaded when it is first shown, not at start-up, where
        // they would cost the program several megabytes before anyone opens 設定.
        setFont(LayoutFont("ＭＳ Ｐゴシック", 12));
        TabSet->setFont(LayoutFont("ＭＳ 明朝", 12));
        fontsSet_ = true;
    }
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    // The device list follows the system while the dialog is open, and only then.
    found_ = platform::ListSerialDevices();
    deviceWatcher_->start();
    FormShow();
}

void OptionsDialog::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        deviceWatcher_->stop();
}

void OptionsDialog::FormShow()
{
    SettingsToControls();
    OKBtn->setFocus();
}

// Escape presses ｷｬﾝｾﾙ (its handler runs); the close box only closes. Ctrl+Tab and
// Ctrl+Shift+Tab turn the pages, as in other tabbed dialogs.
void OptionsDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        CancelBtn->click();
        return;
    }
    if ((event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
        && (event->modifiers() & Qt::ControlModifier)) {
        const int step = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier) ? -1 : 1;
        TabSet->setCurrentIndex((TabSet->currentIndex() + step + TabSet->count()) % TabSet->count());
        return;
    }
    QDialog::keyPressEvent(event);
}

void OptionsDialog::showPage(int index)
{
    Notebook->setCurrentIndex(index);
}

void OptionsDialog::okClicked()
{
    ControlsToSettings();
    RunGuarded([this] { ApplyReceiverSwitch(); });
    accept();
}

void OptionsDialog::cancelClicked()
{
    SettingsToControls();
    reject();
}

void OptionsDialog::helpClicked()
{
    platform::WinHelp(platform::HELP_CONTEXT, 24);
}

// A value no entry stands for selects nothing (rather than leaving an earlier, cancelled
// choice selected, which the next OK would then store as if the user had made it).
void OptionsDialog::SettingsToControls()
{
    CheckBox1->setChecked(CommLink.ZenToHan);
    CheckBox2->setChecked(CommLink.KataToHira);
    const QString port = QString::fromStdString(CommLink.PortName);
    // A port given as a path is an entry of its own after COM9, so that OK keeps it unless the
    // user picks another.
    while (ComboBox1->count() > kPortCount)
        ComboBox1->removeItem(kPortCount);
    if (isPathPort(port))
        ComboBox1->addItem(port);
    ComboBox1->setCurrentIndex(ComboBox1->findText(port, Qt::MatchExactly | Qt::MatchCaseSensitive));
    RadioGroup4->SetItemIndex(indexOf(kWordLens, CommLink.WordLen));
    RadioGroup1->SetItemIndex(indexOf(kSpeeds, CommLink.Speed));
    RadioGroup2->SetItemIndex(CommLink.Parity <= 2 ? CommLink.Parity : -1);
    RadioGroup3->SetItemIndex(CommLink.StopBits <= 2 ? CommLink.StopBits : -1);
    devices_ = CommLink.PortDevices;
    showPortDevice();
    LibraryToControls();
    ReceiverToControls();
}

void OptionsDialog::ControlsToSettings()
{
    CommLink.PortName = ComboBox1->currentIndex() < 0 ? std::string() : ComboBox1->currentText().toStdString();
    CommLink.ZenToHan = CheckBox1->isChecked();
    CommLink.KataToHira = CheckBox2->isChecked();
    if (const int i = RadioGroup4->ItemIndex(); i >= 0)
        CommLink.WordLen = static_cast<uint8_t>(kWordLens[i]);
    if (const int i = RadioGroup1->ItemIndex(); i >= 0)
        CommLink.Speed = static_cast<uint16_t>(kSpeeds[i]);
    if (const int i = RadioGroup2->ItemIndex(); i >= 0)
        CommLink.Parity = static_cast<uint8_t>(i);
    if (const int i = RadioGroup3->ItemIndex(); i >= 0)
        CommLink.StopBits = static_cast<uint8_t>(i);
    CommLink.PortDevices = devices_;
    ControlsToLibrary();
}

std::string OptionsDialog::DeviceOf(const std::string& name) const
{
    if (const auto chosen = devices_.find(name); chosen != devices_.end())
        return chosen->second;
    return ResolvePortName(name);
}

void OptionsDialog::MapSelectedPort(const std::string& device)
{
    if (ComboBox1->currentIndex() < 0 || ComboBox1->currentIndex() >= kPortCount || device.empty())
        return;
    devices_[ComboBox1->currentText().toStdString()] = device;
    showPortDevice();
}

QString OptionsDialog::DeviceText(const std::string& device) const
{
    const platform::SerialDevice* found = deviceMissing(device) ? nullptr : platform::FindSerialDevice(found_, device);
    if (!found || found->Description().empty())
        return pathText(device);
    return QStringLiteral("%1 (%2)").arg(QString::fromStdString(found->Description()),
                                         QString::fromStdString(found->NodeName()));
}

void OptionsDialog::showPortDevice()
{
    const bool selected = ComboBox1->currentIndex() >= 0;
    PortMapBtn->setEnabled(selected && ComboBox1->currentIndex() < kPortCount);  // only COMn names map
    if (!selected) {
        PortDevice->clear();
        PortDevice->setToolTip(QString());
        return;
    }
    const std::string device = DeviceOf(ComboBox1->currentText().toStdString());
    const bool missing = deviceMissing(device);
    const platform::SerialDevice* found = missing ? nullptr : platform::FindSerialDevice(found_, device);
    const QString about = found ? QString::fromStdString(found->Description()) : QString();
    // A long path gives way in its middle, a long description at its end; the missing mark and
    // the node's name always show.
    const QString mark = missing          ? QStringLiteral(" (ありません)")
                         : about.isEmpty() ? QString()
                                           : QStringLiteral(" (%1)").arg(QString::fromStdString(found->NodeName()));
    const QFontMetrics fm = PortDevice->fontMetrics();
    const int room = PortDevice->width() - fm.horizontalAdvance(mark);
    // A stable name that is gone shows by its own name: its folder is the same for all.
    const std::string byId = "/serial/by-id/";
    const std::string name = missing && device.find(byId) != std::string::npos
                                 ? device.substr(device.find(byId) + byId.size())
                                 : device;
    PortDevice->setText((about.isEmpty() ? fm.elidedText(QString::fromStdString(name), Qt::ElideMiddle, room)
                                         : fm.elidedText(about, Qt::ElideRight, room))
                        + mark);
    // Red for a device that is missing, else the dialog's own colour.
    SetTextColour(PortDevice, missing ? WarningColour(palette().color(QPalette::Window))
                                      : palette().color(QPalette::WindowText));
    PortDevice->setToolTip(
        missing ? QStringLiteral("%1 が表すデバイス %2 はありません").arg(ComboBox1->currentText(), pathText(device))
                : QStringLiteral("%1 は %2 を使います")
                      .arg(ComboBox1->currentText(),
                           found ? QString::fromStdString(found->Summary()) : QString::fromStdString(device)));
}

// An adapter came or went: the label, the open list and the open menu show what there is now.
void OptionsDialog::devicesChanged()
{
    found_ = platform::ListSerialDevices();
    showPortDevice();
    ComboBox1->view()->viewport()->update();
    if (portMenu_->isVisible())
        fillPortMenu();
}

// The devices found now, the port's usual /dev/ttyS(n-1) first; the current one is checked.
// Each is offered by its stable name, so the mapping holds when the adapter moves.
void OptionsDialog::fillPortMenu()
{
    portMenu_->clear();
    if (ComboBox1->currentIndex() < 0 || ComboBox1->currentIndex() >= kPortCount)
        return;
    found_ = platform::ListSerialDevices();
    const QString name = ComboBox1->currentText();
    const std::string current = DeviceOf(name.toStdString());
    const platform::SerialDevice* currentFound = platform::FindSerialDevice(found_, current);
    auto add = [&](const std::string& device, const QString& label, const QString& tip) {
        QAction* action = portMenu_->addAction(label);
        action->setCheckable(true);
        action->setChecked(device == current || (currentFound && currentFound->Path == device));
        action->setToolTip(tip);
        connect(action, &QAction::triggered, this, [this, device] { MapSelectedPort(device); });
    };
    const std::string usual = "/dev/ttyS" + std::to_string(ComboBox1->currentIndex());
    add(usual, QStringLiteral("%1 (標準)").arg(pathText(usual)), QString::fromStdString(usual));
    portMenu_->addSeparator();
    bool others = false;
    for (const platform::SerialDevice& d : found_)
        if (d.Path != usual && d.Node != usual) {
            add(d.Path, menuText(d), QString::fromStdString(d.Summary()));
            others = true;
        }
    if (!others)
        portMenu_->addAction(QStringLiteral("(ほかのシリアルデバイスは見つかりません)"))->setEnabled(false);
}
