#include "app/About.h"

#include "app/Fonts.h"
#include "app/Icons.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

TAboutBox* AboutBox = nullptr;

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QFont& font,
                  int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: black"));
    label->move(x, y);
    label->adjustSize();
    return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setFixedSize(496, 173);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(8, 8, 480, 112);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, palette().color(QPalette::Light));
    panel->setPalette(pal);

    auto* icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(ProgramPicture(90));
    icon->setGeometry(10, 11, 90, 90);

    makeLabel(panel, "ProductName", QStringLiteral("VEXLO"), LayoutFont("Arial", 35), 112, 4);
    makeLabel(panel, "Version", QStringLiteral(" Version 1.0"), LayoutFont("Arial", 24), 270, 14);
    const QFont small = LayoutFont("MS Sans Serif", 13);
    makeLabel(panel, "Copyright", QStringLiteral("Copyright (C) 2026 VEXLO developers"), small, 114, 52);
    makeLabel(panel, "Comments", QStringLiteral("E-mail: vexlo@example.org"), small, 114, 70);
    makeLabel(panel, "WebAddress", QStringLiteral("http://vexlo.example.org/"), small, 114, 88);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(211, 132, 75, 28);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    ok->setFocus();
}
