#include "gui/ScreenFit.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

QSize FreeScreenSize(const QScreen* screen)
{
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect free = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 15, 1 << 15);
    constexpr int kBorders = 8;
    constexpr int kTitleAndBorders = 40;
    return {std::max(1, free.width() - kBorders), std::max(1, free.height() - kTitleAndBorders)};
}

void FitToScreen(QDialog* dialog)
{
    QLayout* layout = dialog->layout();
    if (layout)
        layout->activate();
    const QSize wanted = layout ? dialog->sizeHint().expandedTo(dialog->minimumSize()) : dialog->size();
    const QSize room = FreeScreenSize(dialog->screen());
    if (wanted.width() <= room.width() && wanted.height() <= room.height())
        return;

    // Moving the controls into the scroll area would reorder the Tab key's round: note it first.
    QList<QWidget*> tabOrder;
    for (QWidget* w = dialog->nextInFocusChain(); w && w != dialog; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            tabOrder << w;

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("ScreenFitContent"));
    if (layout) {
        content->setLayout(layout);  // takes the layout and the widgets it holds
    } else {
        for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isWindow())
                continue;
            const bool shown = !child->isHidden();
            child->setParent(content);
            if (shown)
                child->show();
        }
        content->setFixedSize(wanted);
    }
    // A layout that kept the dialog at its size now keeps the contents at theirs.
    dialog->setMinimumSize(0, 0);
    dialog->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    dialog->setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, false);

    auto* scroll = new QScrollArea(dialog);
    scroll->setObjectName(QStringLiteral("ScreenFitScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);
    auto* outer = new QVBoxLayout(dialog);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    for (int i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    dialog->setSizeGripEnabled(true);
    const int bar = dialog->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll);
    dialog->resize((wanted + QSize(bar, bar)).boundedTo(room));
}
