// Interim: New, Open, Load and Close arrive with the memo window work.
#include "app/MainForm.h"

void TMainForm::New1Click() {}
void TMainForm::Open1Click() {}
void TMainForm::Load1Click() {}
void TMainForm::Close1Click() {}
