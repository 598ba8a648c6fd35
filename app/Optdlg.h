// The options dialog: link settings and the two title conversion switches, edited in memory.
#pragma once

#include <QDialog>

class TMultPageDlg : public QDialog {
    Q_OBJECT
public:
    explicit TMultPageDlg(QWidget* parent = nullptr);

private:
    void FormCreate();
};

extern TMultPageDlg* MultPageDlg;
