#include "gui/KeyboardReach.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QMap>
#include <QPointer>
#include <QRadioButton>
#include <QWidget>

#include <memory>

namespace {

using Group = QList<QPointer<QAbstractButton>>;

// Only the button a Tab should land on is in the tab chain; the others still take the focus
// from a click and from the arrow keys.
void givesTabTo(const Group& group)
{
    QAbstractButton* target = nullptr;
    for (const QPointer<QAbstractButton>& b : group)
        if (b && b->isChecked())
            target = b;
    if (!target || !target->isEnabled())
        for (const QPointer<QAbstractButton>& b : group)
            if (b && b->isEnabled()) {
                target = b;
                break;
            }
    for (const QPointer<QAbstractButton>& b : group)
        if (b)
            b->setFocusPolicy(b == target ? Qt::StrongFocus : Qt::ClickFocus);
}

}  // namespace

void TabToCheckedButtons(QWidget* root)
{
    QMap<const QObject*, Group> groups;
    for (QRadioButton* b : root->findChildren<QRadioButton*>()) {
        const QObject* key = b->group() ? static_cast<const QObject*>(b->group()) : b->parent();
        if (!b->group() && !b->autoExclusive())
            continue;
        groups[key].append(b);
    }
    for (const Group& group : std::as_const(groups)) {
        givesTabTo(group);
        for (const QPointer<QAbstractButton>& b : group)
            QObject::connect(b, &QAbstractButton::toggled, b, [group] { givesTabTo(group); });
    }
}

void NameList(QComboBox* box, const QString& text)
{
    box->setAccessibleName(text);
    auto* label = new QLabel(text, box->parentWidget());
    label->setObjectName(box->objectName() + QStringLiteral("Label"));
    label->setBuddy(box);
    label->hide();
}
