#include "gui/HelpKeys.h"

#include "gui/HelpEngine.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>

namespace {

struct WindowContext {
    const char* objectName;
    unsigned long context;
};

constexpr WindowContext kWindowContexts[] = {
    {"MultPageDlg", HelpContext::Options}, {"TitleInput1", HelpContext::Title},
    {"Connect1", HelpContext::Status},     {"AboutBox", HelpContext::About},
    {"PrepareDlg", HelpContext::Prepare},  {"LibraryDock1", HelpContext::Library},
};

// F1 pressed anywhere; the key never reaches the widget that has the focus.
class HelpKeyFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier || !watched->isWidgetType())
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();  // F1 is ours: no shortcut of a widget takes it
            return true;
        }
        if (!key->isAutoRepeat())
            ShowHelpFor(static_cast<QWidget*>(watched));
        return true;
    }
};

}  // namespace

std::vector<unsigned long> HelpContextsInUse()
{
    std::vector<unsigned long> all{HelpContext::Frame, HelpContext::Memo, HelpContext::Region, HelpContext::Messages};
    for (const WindowContext& w : kWindowContexts)
        all.push_back(w.context);
    return all;
}

unsigned long HelpContextOf(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (qobject_cast<const QMessageBox*>(w))
            return HelpContext::Messages;
        if (w->objectName() == QLatin1String("HelpWindow"))
            return 0;
        for (const WindowContext& c : kWindowContexts)
            if (w->objectName() == QLatin1String(c.objectName))
                return c.context;
        if (const auto* source = dynamic_cast<const HelpContextSource*>(w))
            return source->currentHelpContext();
    }
    return 0;
}

void ShowHelpFor(const QWidget* widget)
{
    const unsigned long context = HelpContextOf(widget);
    if (context == 0)
        platform::WinHelp(platform::HELP_HELPONHELP, 0);
    else
        platform::WinHelp(platform::HELP_CONTEXT, context);
}

void InstallHelpKey(QApplication& app)
{
    static HelpKeyFilter* filter = nullptr;
    if (!filter) {
        filter = new HelpKeyFilter(&app);
        app.installEventFilter(filter);
    }
}
