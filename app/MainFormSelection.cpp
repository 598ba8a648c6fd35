// The frame's part in region selection: an exchange that starts frees the pointer first.
#include "app/MainForm.h"

#include "memo/Gmemo.h"

void TMainForm::EndRegionSelections()
{
    for (TGraphForm* memo : MemoWindows())
        memo->EndRegionSelection();
}
