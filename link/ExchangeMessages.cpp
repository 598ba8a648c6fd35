#include "link/ExchangeMessages.h"

#include <cstdio>

namespace {

TExchangeMessenger& messenger()
{
    static TExchangeMessenger instance;
    return instance;
}

}  // namespace

void SetExchangeMessenger(TExchangeMessenger m)
{
    messenger() = std::move(m);
}

bool ExchangeMessage(ExchangeBox kind, const QString& text)
{
    if (messenger())
        return messenger()(kind, text);
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    return true;
}
