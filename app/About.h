// The About box: the program picture, product name, version and three lines about the
// program. OK has the focus when it opens and closes it.
#pragma once

#include "gui/LazyForm.h"

#include <QDialog>

class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QPushButton* OKButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

extern LazyForm<TAboutBox> AboutBox;
