#include "gui/ExportDlg.h"

#include "gui/ScreenFit.h"
#include "gui/DialogButtons.h"
#include "gui/KeyboardReach.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

std::function<bool(TExportOptions&)>& answerer()
{
    static std::function<bool(TExportOptions&)> instance;
    return instance;
}

}  // namespace

QList<QPageSize::PageSizeId> ExportPageSizes()
{
    return {QPageSize::A4,     QPageSize::A5,     QPageSize::A3,    QPageSize::JisB5,
            QPageSize::JisB4,  QPageSize::Letter, QPageSize::Legal, QPageSize::Postcard};
}

TExportDlg::TExportDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ExportDlg"));
    setWindowTitle(QStringLiteral("書き出し"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* formatBox = new QGroupBox(QStringLiteral("形式"), this);
    PngBtn = new QRadioButton(QStringLiteral("PNG 画像(&P)"), formatBox);
    SvgBtn = new QRadioButton(QStringLiteral("SVG 図形 (拡大しても鮮明)(&S)"), formatBox);
    PdfBtn = new QRadioButton(QStringLiteral("PDF 文書(&D)"), formatBox);
    MarkdownBtn = new QRadioButton(QStringLiteral("Markdown ファイル (ノートアプリ向け)(&M)"), formatBox);
    PngBtn->setObjectName(QStringLiteral("PngBtn"));
    SvgBtn->setObjectName(QStringLiteral("SvgBtn"));
    PdfBtn->setObjectName(QStringLiteral("PdfBtn"));
    MarkdownBtn->setObjectName(QStringLiteral("MarkdownBtn"));
    auto* formats = new QButtonGroup(this);
    auto* formatLayout = new QVBoxLayout(formatBox);
    for (QRadioButton* b : {PngBtn, SvgBtn, PdfBtn, MarkdownBtn}) {
        formats->addButton(b);
        formatLayout->addWidget(b);
    }
    connect(formats, &QButtonGroup::buttonToggled, this, [this] { showFormat(); });

    auto* imageBox = new QGroupBox(QStringLiteral("PNG、SVG と Markdown の画像"), this);
    imageBox->setObjectName(QStringLiteral("ImageBox"));
    ScaleSpin = new QSpinBox(imageBox);
    ScaleSpin->setObjectName(QStringLiteral("ScaleSpin"));
    ScaleSpin->setRange(1, MaxExportScale);
    ScaleSpin->setSuffix(QStringLiteral(" 倍"));
    TransparentCheck = new QCheckBox(QStringLiteral("背景を透明にする(&T)"), imageBox);
    TransparentCheck->setObjectName(QStringLiteral("TransparentCheck"));
    auto* imageLayout = new QFormLayout(imageBox);
    imageLayout->addRow(QStringLiteral("倍率(&X):"), ScaleSpin);
    imageLayout->addRow(TransparentCheck);

    auto* pdfBox = new QGroupBox(QStringLiteral("PDF"), this);
    pdfBox->setObjectName(QStringLiteral("PdfBox"));
    PageCombo = new QComboBox(pdfBox);
    PageCombo->setObjectName(QStringLiteral("PageCombo"));
    for (QPageSize::PageSizeId id : ExportPageSizes())
        PageCombo->addItem(id == QPageSize::JisB5   ? QStringLiteral("B5 (JIS)")
                           : id == QPageSize::JisB4 ? QStringLiteral("B4 (JIS)")
                           : id == QPageSize::Postcard ? QStringLiteral("はがき")
                                                       : QPageSize::name(id),
                           int(id));
    PerPageSpin = new QSpinBox(pdfBox);
    PerPageSpin->setObjectName(QStringLiteral("PerPageSpin"));
    PerPageSpin->setRange(1, MaxPerPage);
    PerPageSpin->setSuffix(QStringLiteral(" 件"));
    PerPageSpin->setToolTip(QStringLiteral("2 件以上: 題名と日時を添えた一覧 (コンタクトシート)"));
    auto* pdfLayout = new QFormLayout(pdfBox);
    pdfLayout->addRow(QStringLiteral("用紙サイズ(&Z):"), PageCombo);
    pdfLayout->addRow(QStringLiteral("1 ページのメモ(&N):"), PerPageSpin);

    auto* markdownBox = new QGroupBox(QStringLiteral("Markdown"), this);
    markdownBox->setObjectName(QStringLiteral("MarkdownBox"));
    NotesCombo = new QComboBox(markdownBox);
    NotesCombo->setObjectName(QStringLiteral("NotesCombo"));
    NotesCombo->addItem(QStringLiteral("メモごとに 1 ファイル"), int(MarkdownNotes::PerMemo));
    NotesCombo->addItem(QStringLiteral("日ごとに 1 ファイル"), int(MarkdownNotes::PerDay));
    AttachmentsEdit = new QLineEdit(markdownBox);
    AttachmentsEdit->setObjectName(QStringLiteral("AttachmentsEdit"));
    AttachmentsEdit->setPlaceholderText(QStringLiteral("(空欄: ノートと同じフォルダー)"));
    AttachmentsEdit->setToolTip(QStringLiteral("書き出し先の中で画像を置くフォルダーの名前"));
    auto* markdownLayout = new QFormLayout(markdownBox);
    markdownLayout->addRow(QStringLiteral("ノート(&O):"), NotesCombo);
    markdownLayout->addRow(QStringLiteral("画像のフォルダー(&F):"), AttachmentsEdit);

    QHBoxLayout* buttons = MakeOkCancelRow(this, QStringLiteral("書き出す(&E)..."), OKBtn, CancelBtn);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(formatBox);
    layout->addWidget(imageBox);
    layout->addWidget(pdfBox);
    layout->addWidget(markdownBox);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    SetOptions(TExportOptions());
    TabToCheckedButtons(this);
    FitToScreen(this);
}

void TExportDlg::SetOptions(const TExportOptions& options)
{
    switch (options.Format) {
    case ExportFormat::Png: PngBtn->setChecked(true); break;
    case ExportFormat::Svg: SvgBtn->setChecked(true); break;
    case ExportFormat::Pdf: PdfBtn->setChecked(true); break;
    case ExportFormat::Markdown: MarkdownBtn->setChecked(true); break;
    }
    ScaleSpin->setValue(options.Scale);
    TransparentCheck->setChecked(options.Transparent);
    const int page = PageCombo->findData(int(options.PageSize.id()));
    PageCombo->setCurrentIndex(page < 0 ? 0 : page);
    PerPageSpin->setValue(options.PerPage);
    NotesCombo->setCurrentIndex(NotesCombo->findData(int(options.Notes)));
    AttachmentsEdit->setText(options.Attachments);
    showFormat();
}

TExportOptions TExportDlg::Options() const
{
    TExportOptions options;
    options.Format = MarkdownBtn->isChecked() ? ExportFormat::Markdown
                     : PdfBtn->isChecked()    ? ExportFormat::Pdf
                     : SvgBtn->isChecked()    ? ExportFormat::Svg
                                              : ExportFormat::Png;
    options.Scale = ScaleSpin->value();
    options.Transparent = TransparentCheck->isChecked();
    options.PageSize = QPageSize(QPageSize::PageSizeId(PageCombo->currentData().toInt()));
    options.PerPage = PerPageSpin->value();
    options.Notes = MarkdownNotes(NotesCombo->currentData().toInt());
    options.Attachments = AttachmentsEdit->text().trimmed();
    return options;
}

// Only the settings of the chosen format can be changed.
void TExportDlg::showFormat()
{
    const bool pdf = PdfBtn->isChecked();
    const bool markdown = MarkdownBtn->isChecked();
    findChild<QGroupBox*>(QStringLiteral("ImageBox"))->setEnabled(!pdf);  // Markdown's pictures have a scale
    TransparentCheck->setEnabled(!markdown);
    findChild<QGroupBox*>(QStringLiteral("PdfBox"))->setEnabled(pdf);
    findChild<QGroupBox*>(QStringLiteral("MarkdownBox"))->setEnabled(markdown);
}

bool RunExportDialog(QWidget* parent, TExportOptions& options)
{
    if (answerer())
        return answerer()(options);
    TExportDlg dialog(parent);
    dialog.SetOptions(options);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    options = dialog.Options();
    return true;
}

void SetExportDialogAnswerer(std::function<bool(TExportOptions&)> a)
{
    answerer() = std::move(a);
}
