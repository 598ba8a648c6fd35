// Every message box of the program goes through here: the four kinds with their fixed
// captions and buttons, and the application's failure box for failures a command does not
// handle itself. Tests install an answerer that sees each box and answers it.
#pragma once

#include <QString>

#include <functional>
#include <stdexcept>

enum class BoxKind { Warning, Error, Information, Confirmation };
// YesNoCancel is the question that can lose a memo: はい(&Y), いいえ(&N), ｷｬﾝｾﾙ.
// SaveAllNoneCancel asks about several memos at once: すべて保存(&A) (answer Yes), 保存しない(&N)
// (No), ｷｬﾝｾﾙ.
// PrepareAsIsCancel offers 送信用に変換 for a picture that is not black and white:
// 送信用に変換(&D) (Yes), そのまま(&N) (No), ｷｬﾝｾﾙ; an answerer's Ok counts as No there.
// OkPrepare adds 送信用に変換(&D) (Yes) to a box whose OK goes on as before.
enum class BoxButtons { Ok, OkCancel, YesNoCancel, SaveAllNoneCancel, PrepareAsIsCancel, OkPrepare };
enum class BoxAnswer { Ok, Cancel, Yes, No };

struct BoxRequest {
    BoxKind kind = BoxKind::Information;
    QString caption;  // "警告", "ｴﾗｰ", "情報", "確認", or "VEXLO" for the failure box
    QString text;
    BoxButtons buttons = BoxButtons::Ok;
    bool failure = false;  // the application failure box
};

// Shows a modal box; Escape or the close box answer Cancel (OK when OK is the only button).
// A YesNoCancel or SaveAllNoneCancel box answers Yes, No or Cancel; an answerer's Ok counts
// as Yes there.
BoxAnswer ShowBox(BoxKind kind, const QString& text, BoxButtons buttons = BoxButtons::Ok);

// The application failure box: caption "VEXLO", the failure's text, error icon, OK.
void ShowFailureBox(const QString& text);

// A failure that ends the command raising it; RunGuarded shows it in the failure box.
class CommandFailure : public std::runtime_error {
public:
    explicit CommandFailure(const QString& text);
    QString text() const { return text_; }

private:
    QString text_;
};

// Runs a command; a failure it raises ends it and is shown in the failure box.
void RunGuarded(const std::function<void()>& command);

// Test seam: while set, boxes are not shown; the answerer is asked instead.
using BoxAnswerer = std::function<BoxAnswer(const BoxRequest&)>;
void SetBoxAnswerer(BoxAnswerer answerer);
