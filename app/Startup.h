// Program start: the application's title and help file, then the five program-wide windows
// in their fixed order (the frame first: it loads the settings the options dialog copies).
#pragma once

class QApplication;

void SetUpApplication(QApplication& app);
void CreateForms();
// Destroys the program-wide windows in the reverse order (end of run, and between tests).
void DestroyForms();
