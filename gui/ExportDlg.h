// The export dialog of the memo windows (ファイル → 書き出し): the format, and for PNG and SVG
// the scale and a transparent background, for PDF the page size and the memos a page, for
// Markdown one note a memo or a day and the folder of the pictures (their scale is the PNG
// scale). It only asks; the memo window then asks where the files go and writes them
// (store/MemoExport.h).
#pragma once

#include "store/MemoExport.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

class TExportDlg : public QDialog {
    Q_OBJECT
public:
    explicit TExportDlg(QWidget* parent = nullptr);

    void SetOptions(const TExportOptions& options);
    TExportOptions Options() const;

    QRadioButton* PngBtn = nullptr;
    QRadioButton* SvgBtn = nullptr;
    QRadioButton* PdfBtn = nullptr;
    QRadioButton* MarkdownBtn = nullptr;
    QSpinBox* ScaleSpin = nullptr;
    QCheckBox* TransparentCheck = nullptr;
    QComboBox* PageCombo = nullptr;
    QSpinBox* PerPageSpin = nullptr;
    QComboBox* NotesCombo = nullptr;      // メモごとに 1 ノート / 日ごとに 1 ノート
    QLineEdit* AttachmentsEdit = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

private:
    void showFormat();
};

// The page sizes offered, in the order of the list: A4, A5, A3, B5 (JIS), B4 (JIS), Letter,
// Legal, はがき.
QList<QPageSize::PageSizeId> ExportPageSizes();

// Shows the dialog with OPTIONS; true, with OPTIONS changed, when the user chose 書き出す.
bool RunExportDialog(QWidget* parent, TExportOptions& options);

// Test seam: while set, the dialog is not shown; the answerer edits the options and decides.
void SetExportDialogAnswerer(std::function<bool(TExportOptions&)> answerer);
