// The link commands: Send and Receive arrive with the exchanges.
#include "app/MainForm.h"

void TMainForm::Transmit1Click() {}
void TMainForm::N2Click() {}
