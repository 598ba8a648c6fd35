#include "app/Optdlg.h"

#include "link/CommLink.h"

TMultPageDlg* MultPageDlg = nullptr;

TMultPageDlg::TMultPageDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("MultPageDlg"));
    setWindowTitle(QStringLiteral("各種設定"));
    setFixedSize(364, 258);
    FormCreate();
}

void TMultPageDlg::FormCreate()
{
    // The QM-10 is the one model this program talks to; creating the dialog selects it, so
    // the configuration written at exit always records it.
    CommLink.Machine = true;
}
