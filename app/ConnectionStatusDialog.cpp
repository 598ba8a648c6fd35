#include "app/ConnectionStatusDialog.h"

#include "gui/Fonts.h"
#include "link/CancelSignals.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <utility>

LazyForm<ConnectionStatusDialog> Connect1;

namespace {

constexpr int kWidth = 188;
constexpr int kHeight = 100;
constexpr int kBarRoom = 24;  // what the dialog grows by while the bar shows

}  // namespace

ConnectionStatusDialog::ConnectionStatusDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Connect1"));
    setWindowTitle(QStringLiteral("通信ステータス"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(kWidth, kHeight);
    setFont(LayoutFont("ＭＳ ゴシック", 13));

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(14, 7, 165, 37);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    // A field: the theme's text on the theme's field colour (white and black by default).
    Panel1->setAutoFillBackground(true);
    Panel1->setBackgroundRole(QPalette::Base);
    Panel1->setForegroundRole(QPalette::Text);

    Label1 = new QLabel(QStringLiteral("     接続中です"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setBackgroundRole(QPalette::Base);
    Label1->setForegroundRole(QPalette::Text);
    // As high as the font's lines, so that no descender is cut.
    Label1->setGeometry(14, 10, 100, std::max(13, Label1->sizeHint().height()));

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                              QStringLiteral("ｷｬﾝｾﾙ"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(57, 57, 79, 29);
    // Enter (or Space) pressed by habit during a transfer must not end it: the button is never
    // the default and takes no keyboard focus. Escape and the mouse still press it.
    BitBtn1->setAutoDefault(false);
    BitBtn1->setDefault(false);
    BitBtn1->setFocusPolicy(Qt::NoFocus);
    connect(BitBtn1, &QPushButton::clicked, this, [this] {
        BitBtn1Click();
        reject();  // the Cancel kind closes the dialog
    });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &ConnectionStatusDialog::Timer1Timer);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(14, kHeight - 4, 165, 18);
    ProgressBar1->setTextVisible(true);
    ProgressBar1->hide();

    if (!ExchangeHost())
        SetExchangeHost(this);
}

void ConnectionStatusDialog::SetProgress(int done, int total)
{
    if (total <= 0) {
        ProgressBar1->hide();
        setFixedSize(kWidth, kHeight);
        return;
    }
    if (ProgressBar1->isHidden()) {
        setFixedSize(kWidth, kHeight + kBarRoom);
        ProgressBar1->show();
    }
    ProgressBar1->setRange(0, total);
    ProgressBar1->setValue(std::clamp(done, 0, total));
}

ConnectionStatusDialog::~ConnectionStatusDialog()
{
    if (ExchangeHost() == this)
        SetExchangeHost(nullptr);
}

void ConnectionStatusDialog::SetStatusText(const QString& text)
{
    Label1->setText(text);
    // The label grows with a longer text, never below its laid-out size.
    const QSize hint = Label1->sizeHint();
    Label1->resize(std::max(100, hint.width()), std::max(13, hint.height()));
}

void ConnectionStatusDialog::StartTimer(int ms) { Timer1->start(ms); }

void ConnectionStatusDialog::StopTimer() { Timer1->stop(); }

bool ConnectionStatusDialog::TimerActive() const { return Timer1->isActive(); }

void ConnectionStatusDialog::Run()
{
    const TCancelSignals catcher(TCancelSignals::All(), [this](int signal) {
        if (!endingSignal_)
            endingSignal_ = signal;
        if (isVisible())
            BitBtn1->click();
    });
    exec();
}

void ConnectionStatusDialog::PortClosed()
{
    const int signal = std::exchange(endingSignal_, 0);
    if (!signal)
        return;
    // What the signal would have done at once, now that the line is clean.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void ConnectionStatusDialog::Close() { done(QDialog::Rejected); }

void ConnectionStatusDialog::DispatchPending() { QCoreApplication::processEvents(); }

void ConnectionStatusDialog::WaitForEvents() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

void ConnectionStatusDialog::FormShow() { SetExchangeResult(false); }

void ConnectionStatusDialog::BitBtn1Click() { CancelExchange(); }

void ConnectionStatusDialog::Timer1Timer() { TimerTick(); }

void ConnectionStatusDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())  // restored from an icon: not a new showing
        return;
    SetProgress(0, 0);
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    FormShow();
}

void ConnectionStatusDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        BitBtn1->click();  // Escape presses the Cancel button
        return;
    }
    QDialog::keyPressEvent(event);
}
