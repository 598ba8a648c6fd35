// The frame's part in region selection: an exchange that starts frees the pointer first.
#include "app/MainWindow.h"

#include "memo/MemoWindow.h"

void MainWindow::endRegionSelections()
{
    for (MemoWindow* memo : memoWindows())
        memo->endRegionSelection();
}
