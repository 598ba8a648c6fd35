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

inline constexpr char16_t CancelledText[] = u"通信がキャンセルされました";

// A memo that went on past the bound on its records (%1): the exchange was ended.
inline QString MemoTooLongText()
{
    return QStringLiteral("受信中のメモが終わらないまま %1 個を超えるレコードが届いたため、"
                          "通信を中止しました。それまでに受信し終えたメモは残ります。");
}
