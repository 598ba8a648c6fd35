#include "link/CommLink.h"


TCommLink CommLink;

platform::LineSettings ChosenLineSettings(const TCommLink& link, platform::FlowControl flow)
{
    platform::LineSettings s;
    s.baud = link.Speed;
    s.dataBits = link.WordLen;
    s.parity = link.Parity == 1 ? platform::Parity::Odd : link.Parity == 2 ? platform::Parity::Even : platform::Parity::None;
    s.stopBits = link.StopBits == 0 ? platform::StopBits::One
                 : link.StopBits == 1 ? platform::StopBits::OneAndHalf
                                      : platform::StopBits::Two;
    s.flow = flow;
    return s;
}

void SetLinkDefaults(TCommLink& link)
{
    link.Machine = true;
    link.PortName = "COM1";
    link.Speed = 9600;
    link.WordLen = 8;
    link.Parity = 0;
    link.StopBits = 0;
}
