#include "app/About.h"

#include "gui/ScreenFit.h"
#include "gui/Fonts.h"
#include "gui/Icons.h"
#include "gui/ProgramStyle.h"
#include "resources/Version.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

LazyForm<TAboutBox> AboutBox;

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QFont& font,
                  int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(font);
    label->setBackgroundRole(QPalette::Base);  // on the panel
    label->setForegroundRole(QPalette::Text);
    label->move(x, y);
    label->adjustSize();
    return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(496, 173);

    // The panel: a lowered outer bevel around a raised inner one, in the highlight colour.
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(8, 8, 480, 112);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    // The theme's field colour, white by default, with its text colour on it.
    panel->setAutoFillBackground(true);
    panel->setBackgroundRole(QPalette::Base);
    auto* inner = new QFrame(panel);
    inner->setGeometry(1, 1, 478, 110);
    inner->setFrameStyle(QFrame::Panel | QFrame::Raised);
    inner->setLineWidth(1);

    auto* icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(ProgramPicture(90, devicePixelRatioF()));
    icon->setGeometry(10, 11, 90, 90);

    makeLabel(panel, "ProductName", QStringLiteral("VEXLO"), LayoutFont("Arial", 35), 112, 6);
    makeLabel(panel, "Version", QStringLiteral(" Version " VEXLO_VERSION), LayoutFont("Arial", 24), 262, 16);
    const QFont small = LayoutFont("MS Sans Serif", 13);
    makeLabel(panel, "Copyright", QStringLiteral("Copyright (C) 2026 VEXLO developers"), small, 114, 54);
    makeLabel(panel, "Comments", QStringLiteral("E-mail: vexlo@example.org"), small, 114, 71);
    makeLabel(panel, "WebAddress", QStringLiteral("http://vexlo.example.org/"), small, 114, 88);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(211, 134, 75, 27);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    FitToScreen(this);
}

void TAboutBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    OKButton->setFocus();
}
