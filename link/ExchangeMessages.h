// What an exchange tells the user once its status window has closed. The desktop program
// shows message boxes; the command-line tool writes to standard error. Nothing installed:
// the texts go to standard error and every question is answered OK.
#pragma once

#include <QString>

#include <functional>

enum class ExchangeBox { Error, Information, Question };

// Shows TEXT; for a question, returns true when the user answered OK.
using TExchangeMessenger = std::function<bool(ExchangeBox kind, const QString& text)>;

void SetExchangeMessenger(TExchangeMessenger messenger);
bool ExchangeMessage(ExchangeBox kind, const QString& text);

// How an exchange ended, when it did not succeed. Only the user's Cancel is "cancelled".
inline constexpr char16_t CancelledText[] = u"通信がキャンセルされました";
inline constexpr char16_t LineGoneText[] = u"回線が切れました";
// Send: the device answered "!" (or the quotation mark) to the memo.
inline constexpr char16_t RefusedText[] = u"デバイスが受け取りを拒否しました";
// Send: 17 calls went unanswered.
inline constexpr char16_t NoAnswerText[] = u"QM-10 が応答しません — 受信の準備ができているか確かめてください";
// Send: no verdict (and no room to send) for the time allowed (%1 seconds).
inline constexpr char16_t NoVerdictText[] = u"QM-10 から %1 秒間返事がないため、送信を中止しました";
// Send: the device asked for the memo again (%1 times in a row).
inline constexpr char16_t TooManyResendsText[] =
    u"QM-10 がメモを %1 回続けて受け取れなかったため、送信を中止しました";
// Send: the device accepted the memo, but held the line so that the end of the exchange never left.
inline constexpr char16_t EndNotSentText[] =
    u"QM-10 はメモを受け取りましたが、回線を止めたままのため通信の終わりを送れませんでした";
// Receive: the exchange ended (by the device, or by closing the window) in the middle of a memo.
inline constexpr char16_t EndedMidMemoText[] =
    u"メモの途中で通信が終わりました。途中のメモは受信していません (QM-10 に残っています)";
// Receive: the device ended the exchange while it held the line, so a memo's "#" never left.
inline constexpr char16_t AckNotSentText[] =
    u"QM-10 が回線を止めたまま通信を終えたため、受け取りを知らせられなかったメモは受信していません"
    u" (QM-10 に残っています)";

// Receive: the device sent a memo that cannot be drawn %1 times in a row, whatever "?" asked.
inline constexpr char16_t RefusedMemosText[] =
    u"QM-10 が表示できないメモを %1 回続けて送ってきたため、通信を中止しました (メモは QM-10 に残っています)";

// A memo that went on past the bound on its records (%1): the exchange was ended.
inline QString MemoTooLongText()
{
    return QStringLiteral("受信中のメモが終わらないまま %1 個を超えるレコードが届いたため、"
                          "通信を中止しました。それまでに受信し終えたメモは残ります。");
}
