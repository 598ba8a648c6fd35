// The row of a dialog's own buttons: OK (the default, accepts) and ｷｬﾝｾﾙ (rejects), on the right.
#pragma once

#include <QString>

class QDialog;
class QHBoxLayout;
class QPushButton;

// Makes the buttons (object names OKBtn and CancelBtn) into OK and CANCEL and returns their row.
QHBoxLayout* MakeOkCancelRow(QDialog* dialog, const QString& okText, QPushButton*& ok, QPushButton*& cancel);
