#include "TestExchange.h"

#include "link/Comenote.h"
#include "link/ExchangeHost.h"

TestExchange& CurrentTestExchange()
{
    static TestExchange exchange;
    return exchange;
}

void TestHandshakeStep(TCommLink& link, bool& done)
{
    done = false;
    ++CurrentTestExchange().handshakeCalls;
    switch (link.Step) {
    case 0:
        if (ReadByte(link) == 13)
            link.Step = 1;
        break;
    case 1:
        if (ReadByte(link) == 10) {
            WriteByte(link, 17);
            link.Step = 2;
        }
        break;
    default:
        if (BytesQueued(link) == 0) {
            ExchangeOk = true;
            SwitchToDataPhase(link);
            SetStatusText(QStringLiteral("受信中です"));
            link.Step = 0;
            HookStep(TestPairStep, link);
            DispatchPendingMessages();
        }
        break;
    }
}

void TestPairStep(TCommLink& link, bool& done)
{
    done = false;
    ++CurrentTestExchange().dataCalls;
    const int value = ReadHexByte(link);
    if (value < 0)
        return;
    if (value == 255) {
        UnhookStep();
        ExchangeOk = true;
        CloseExchangeHost();
        return;
    }
    CurrentTestExchange().values.push_back(value);
}

bool RunTestExchange(TCommLink& link)
{
    if (!OpenLink(link))
        return false;
    return RunOpenedTestExchange(link);
}

bool RunOpenedTestExchange(TCommLink& link)
{
    CurrentTestExchange() = {};
    link.Step = 0;
    SetStatusText(QStringLiteral("接続中です..."));
    HookStep(TestHandshakeStep, link);
    RunExchangeHost();
    UnhookStep();
    const bool ok = ExchangeOk;
    if (!ok)
        WriteByte(link, '!');
    ClosePort(link);
    return ok;
}
