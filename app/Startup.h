// Program start: the application's title and help file, then the frame, which loads the
// settings. The four program-wide dialogs are built when first used, owned by the frame.
#pragma once

class QApplication;

void SetUpApplication(QApplication& app);
void CreateForms();
// Destroys the frame and every dialog built (end of run, and between tests).
void DestroyForms();
