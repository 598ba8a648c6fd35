// The title dialog: asks for a memo's title and its reading before a send.
#pragma once

#include <QDialog>
#include <QString>

class TTitleInput1 : public QDialog {
    Q_OBJECT
public:
    explicit TTitleInput1(QWidget* parent = nullptr);

    QString GetTitle() const { return Title; }
    QString GetTitleReader() const { return TitleReader; }

private:
    QString Title;
    QString TitleReader;
};

extern TTitleInput1* TitleInput1;
