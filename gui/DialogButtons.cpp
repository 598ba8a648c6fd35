#include "gui/DialogButtons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

QHBoxLayout* MakeOkCancelRow(QDialog* dialog, const QString& okText, QPushButton*& ok, QPushButton*& cancel)
{
    ok = new QPushButton(okText, dialog);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), dialog);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}
