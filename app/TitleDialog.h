// The title dialog: asks for a memo's title and its reading before a send.
//
//   FormShow       (every showing) Title and TitleReader become empty; the edit boxes keep
//                  what was typed the last time.
//   okClicked      OK: an empty reading is refused with the error box "題名読みは省略できません"
//                  and the dialog stays. A typed reading of which nothing can be sent (kanji
//                  only) is sent empty only if the user says so. Otherwise both texts are taken
//                  and the dialog closes.
//   cancelClicked  無視: both texts empty (the memo is named after its file); closes.
//   helpClicked    help topic 8000.
// The close box acts as 無視; Escape does nothing. There is no way to call the send off.
//
// Each edit box takes at most 60 Shift-JIS bytes (a full-width character counts two) and only
// characters that have a Shift-JIS form, so whatever OK accepts can be sent. Typing or pasting
// past the limit stops at the last whole character that fits; a character without a Shift-JIS
// form is left out and named in a note under the boxes.
//
// Under the boxes the dialog shows, as they are typed, what the device will get: the title in
// the device's characters with the part it cuts off greyed, and the reading as it is sent.
#pragma once

#include "gui/LazyForm.h"

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

class TitleDialog : public QDialog {
    Q_OBJECT
public:
    explicit TitleDialog(QWidget* parent = nullptr);

    QString GetTitle() const { return Title; }
    QString GetTitleReader() const { return TitleReader; }

    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label2;
    QLineEdit* Edit2;
    QPushButton* BitBtn1;
    QPushButton* BitBtn3;
    QPushButton* BitBtn2;
    QLabel* Note1;  // why a typed or pasted character was left out
    QLabel* TitleView;    // the title as the device will show it
    QLabel* ReadingView;  // the reading as it will be sent

public slots:
    void FormShow();
    void okClicked();
    void cancelClicked();
    void helpClicked();
    void reject() override;  // the close box: as 無視

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowWhatIsSent();

    QString Title;
    QString TitleReader;
};

// What the device gets of TITLE and READING as typed: the title in the device's characters,
// with the part it cuts off (beyond its 51 codes) apart, and the reading as sent, with the part
// beyond the record's 84 bytes apart.
struct TTitlePreview {
    QString Title;
    QString TitleCut;
    QString Reading;
    QString ReadingCut;
};
TTitlePreview PreviewTitle(const QString& title, const QString& reading, bool kataToHira, bool zenToHan);

extern LazyForm<TitleDialog> TitleInput1;

// Bytes of the edit limit: Shift-JIS bytes, a full-width character taking two.
inline constexpr int TitleEditLimit = 60;
