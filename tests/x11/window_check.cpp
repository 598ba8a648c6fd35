// Run by dialog_fit_test.cpp on an X server of a given size and scale: shows the frame and
// every dialog of the program in turn and prints one line for each fault a user would see:
// a window that leaves the screen, a control cut off by its parent or smaller than it needs,
// two controls over one another, text too close in colour to what is behind it. Exits 1 when
// it printed any. VEXLO_CHECK_THEME=dark gives the application a dark palette first.
#include "app/About.h"
#include "app/ConnectionStatusDialog.h"
#include "app/MainWindow.h"
#include "app/OptionsDialog.h"
#include "app/PrepareDialog.h"
#include "app/Startup.h"
#include "app/TitleDialog.h"
#include "gui/ExportDlg.h"
#include "gui/MessageBox.h"
#include "support/GuiApp.h"
#include "support/TempConfigHome.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

QStringList problems;

QString describe(const QWidget* w)
{
    QString name = w->objectName();
    if (const auto* b = qobject_cast<const QAbstractButton*>(w); b && name.isEmpty())
        name = b->text();
    if (const auto* l = qobject_cast<const QLabel*>(w); l && name.isEmpty())
        name = l->text();
    return QStringLiteral("%1 \"%2\"").arg(QLatin1String(w->metaObject()->className()), name);
}

QString rectText(const QRect& r)
{
    return QStringLiteral("%1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y());
}

// The controls a user reads or operates.
bool isControl(const QWidget* w)
{
    if (qobject_cast<const QScrollBar*>(w))
        return false;
    // The edit field of a spin box or a combo box is part of it.
    if (qobject_cast<const QAbstractSpinBox*>(w->parentWidget()) || qobject_cast<const QComboBox*>(w->parentWidget()))
        return false;
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return !label->text().isEmpty();
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w)
           || qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w)
           || qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QProgressBar*>(w)
           || qobject_cast<const QTabBar*>(w);
}

bool insideScrolledContents(const QWidget* w)
{
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (const auto* area = qobject_cast<const QAbstractScrollArea*>(p->parentWidget()); area && area->viewport() == p)
            return true;
    return false;
}

double luminance(const QColor& c)
{
    auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// What W needs to show its text whole: the text's width and height, the button's picture, the
// check box's or radio button's indicator, the combo box's arrow.
QSize neededSize(QWidget* w)
{
    const QFontMetrics fm = w->fontMetrics();
    QStyle* style = w->style();
    auto textWidth = [&](QString text) { return fm.horizontalAdvance(text.remove(QLatin1Char('&'))); };
    if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->wordWrap())
            return {0, label->heightForWidth(label->width())};
        const int frame = 2 * label->frameWidth() + 2 * label->margin();
        return {textWidth(label->text()) + frame, fm.height() + frame};
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        int width = button->text().isEmpty() ? 0 : textWidth(button->text());
        int height = button->text().isEmpty() ? 0 : fm.height();
        if (!button->icon().isNull()) {
            width += button->iconSize().width() + (button->text().isEmpty() ? 0 : 4);
            height = std::max(height, button->iconSize().height());
        }
        if (qobject_cast<QRadioButton*>(w))
            width += style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w)
                     + style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, w);
        else if (qobject_cast<QCheckBox*>(w))
            width += style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w)
                     + style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
        return {width, height};
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        option.frame = combo->hasFrame();
        const QRect field = style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        int widest = 0;
        for (int i = 0; i < combo->count(); ++i)
            widest = std::max(widest, textWidth(combo->itemText(i)));
        return {combo->width() - field.width() + widest, fm.height()};
    }
    if (auto* tabs = qobject_cast<QTabBar*>(w)) {
        int width = 0;
        for (int i = 0; i < tabs->count(); ++i)
            width = std::max(width, tabs->tabRect(i).right() + 1);
        return {width, fm.height()};
    }
    return w->minimumSizeHint();
}

void checkWindow(const QString& what, QWidget* window)
{
    window->show();
    if (!QTest::qWaitForWindowExposed(window, 10000)) {
        problems << what + QStringLiteral(": not shown");
        return;
    }
    QTest::qWait(50);  // the window manager's placement, if any
    const QRect screen = window->screen()->availableGeometry();
    if (!screen.contains(window->frameGeometry()))
        problems << QStringLiteral("%1: window %2 leaves the screen %3")
                        .arg(what, rectText(window->frameGeometry()), rectText(screen));

    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (w->isVisibleTo(window) && w->window() == window && isControl(w))
            controls << w;
    for (QWidget* w : controls) {
        // Cut off: outside a parent that does not scroll it into view.
        for (const QWidget* child = w; child != window && child->parentWidget(); child = child->parentWidget()) {
            const QWidget* parent = child->parentWidget();
            if (const auto* area = qobject_cast<const QAbstractScrollArea*>(parent->parentWidget());
                area && area->viewport() == parent)
                break;  // scrolled contents: reachable
            const QRect inParent(w->mapTo(parent, QPoint(0, 0)), w->size());
            if (!parent->rect().contains(inParent)) {
                problems << QStringLiteral("%1: %2 at %3 is cut off by %4 (%5)")
                                .arg(what, describe(w), rectText(inParent), describe(parent), rectText(parent->rect()));
                break;
            }
        }
        // Smaller than it needs to show its text (or its picture).
        const QSize needed = neededSize(w);
        if (w->width() < needed.width() || w->height() < needed.height())
            problems << QStringLiteral("%1: %2 is %3x%4 but needs %5x%6")
                            .arg(what, describe(w))
                            .arg(w->width())
                            .arg(w->height())
                            .arg(needed.width())
                            .arg(needed.height());
        // Readable.
        if (w->isEnabled()) {
            const QPalette& pal = w->palette();
            const double ratio = contrast(pal.color(w->foregroundRole()), pal.color(w->backgroundRole()));
            if (ratio < 4.5)
                problems << QStringLiteral("%1: %2 text %3 on %4 (contrast %5)")
                                .arg(what, describe(w), pal.color(w->foregroundRole()).name(),
                                     pal.color(w->backgroundRole()).name())
                                .arg(ratio, 0, 'f', 1);
        }
    }
    // Over one another (in window coordinates, where a scroll area shows them).
    for (int i = 0; i < controls.size(); ++i)
        for (int j = i + 1; j < controls.size(); ++j) {
            QWidget* a = controls[i];
            QWidget* b = controls[j];
            if (a->isAncestorOf(b) || b->isAncestorOf(a))
                continue;
            const QRect ra(a->mapTo(window, QPoint(0, 0)), a->size());
            const QRect rb(b->mapTo(window, QPoint(0, 0)), b->size());
            if (ra.intersects(rb) && insideScrolledContents(a) == insideScrolledContents(b))
                problems << QStringLiteral("%1: %2 %3 overlaps %4 %5")
                                .arg(what, describe(a), rectText(ra), describe(b), rectText(rb));
        }
    window->hide();
}

QPalette darkPalette()
{
    QPalette dark(QColor(66, 66, 66), QColor(66, 66, 66));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text, QPalette::BrightText})
        dark.setColor(role, QColor(240, 240, 240));
    dark.setColor(QPalette::Base, QColor(48, 48, 48));
    dark.setColor(QPalette::AlternateBase, QColor(58, 58, 58));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::ToolTipBase, QColor(48, 48, 48));
    dark.setColor(QPalette::ToolTipText, QColor(240, 240, 240));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        dark.setColor(QPalette::Disabled, role, QColor(127, 127, 127));
    return dark;
}

}  // namespace

int main()
{
    TempConfigHome home;
    QApplication& app = GuiApp();
    SetUpApplication(app);
    if (qEnvironmentVariable("VEXLO_CHECK_THEME") == QLatin1String("dark"))
        QApplication::setPalette(darkPalette());
    SetBoxAnswerer([](const BoxRequest&) { return BoxAnswer::Ok; });
    CreateForms();

    checkWindow(QStringLiteral("frame"), MainForm);
    MainForm->show();
    // A first start gives memo windows room: at least half the screen each way.
    const QRect screen = MainForm->screen()->availableGeometry();
    if (MainForm->width() < screen.width() / 2 || MainForm->height() < screen.height() / 2)
        problems << QStringLiteral("frame: a first start takes %1x%2 of %3x%4")
                        .arg(MainForm->width())
                        .arg(MainForm->height())
                        .arg(screen.width())
                        .arg(screen.height());
    checkWindow(QStringLiteral("バージョン情報"), AboutBox);
    checkWindow(QStringLiteral("設定"), MultPageDlg);
    checkWindow(QStringLiteral("タイトル"), TitleInput1);
    checkWindow(QStringLiteral("通信ステータス"), Connect1);
    Connect1->SetProgress(1, 2);
    checkWindow(QStringLiteral("通信ステータス (進み具合)"), Connect1);
    checkWindow(QStringLiteral("送信用に変換"), new TPrepareDialog(MainForm));
    checkWindow(QStringLiteral("書き出し"), new TExportDlg(MainForm));

    for (const QString& line : problems)
        std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
    DestroyForms();
    return problems.isEmpty() ? 0 : 1;
}
