// The common dialogs (open, save, print, printer setup) behind seams that tests answer.
// One printer is shared by the whole program, so a printer chosen in the setup dialog
// applies to later print jobs of every window.
#pragma once

#include <QString>

#include <functional>
#include <optional>

class QPainter;
class QPrinter;
class QWidget;

struct FileDialogRequest {
    enum class Mode { Open, Save, Folder };  // Folder: an existing folder is chosen
    Mode mode = Mode::Open;
    QString title;
    QString filter;    // in the classic "Name|pattern|Name|pattern" form
    QString fileName;  // preset name (Folder: the folder shown first)
    bool fileMustExist = false;
    bool overwritePrompt = false;
    bool pathMustExist = false;
};

// Runs the dialog; the chosen full path, or nothing when the user cancels.
std::optional<QString> RunFileDialog(QWidget* parent, const FileDialogRequest& request);

// The print dialog: true when the user confirms printing on PRINTER.
bool RunPrintDialog(QWidget* parent, QPrinter& printer);

// The printer setup dialog: true when the user confirms; PRINTER takes the settings.
bool RunPrinterSetupDialog(QWidget* parent, QPrinter& printer);

QPrinter& SharedPrinter();

// A print job of memos: the print dialog, then PAINTER begun on the shared printer, drawing
// pictures sharp (no smoothing, no lossy compression). False when the user cancelled; throws
// CommandFailure ("印刷を開始できません") when the printer cannot start.
bool BeginMemoPrint(QWidget* parent, QPainter& painter);

// "BMP ファイル (*.BMP)|*.BMP|すべてのファイル (*.*)|*.*" in the form Qt's dialogs take; patterns
// match in either case, as they do on the platform the format comes from.
QString QtFilterFrom(const QString& classicFilter);

// The filter of the dialogs that open pictures, in the classic form: every picture kind that
// VEXLO reads first (BMP, PNG, JPEG, GIF ... as the installed image plugins offer them), then
// BMP alone, then all files.
QString PictureOpenFilter();
// The filter of a dialog that writes KIND files (its extension, e.g. "BMP"), then all files.
QString SaveFilter(const QString& kind);

// Test seams: while set, the dialog is not shown; the answerer decides.
void SetFileDialogAnswerer(std::function<std::optional<QString>(const FileDialogRequest&)> answerer);
void SetPrintDialogAnswerer(std::function<bool(QPrinter&)> answerer);
void SetPrinterSetupAnswerer(std::function<bool(QPrinter&)> answerer);
