// Interim: the file, print and clipboard commands of the memo window arrive with their own work.
#include "memo/Gmemo.h"

bool TGraphForm::SetImage(const QString&) { return false; }
void TGraphForm::Save1Click() {}
void TGraphForm::SaveAs1Click() {}
void TGraphForm::Print1Click() {}
void TGraphForm::PrintSetup1Click() {}
bool TGraphForm::FormCloseQuery() { return true; }
void TGraphForm::Copy1Click() {}
void TGraphForm::Cut1Click() {}
void TGraphForm::Paste1Click() {}
