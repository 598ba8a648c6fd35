// MemoExport — memos written out for other programs: PNG at a whole-number scale, SVG, PDF and
// Markdown notes.
// Used by the memo windows (ファイル → 書き出し), the library window and `vexlo-cli export`.
//
//   PNG  each image pixel an N x N square (N = 1 to 8, nearest neighbour, never blurred), one
//        bit per pixel; with Transparent the white is left transparent.
//   SVG  the black pixels as rectangles, runs of a row merged and equal runs of the rows below
//        merged into them, all in one path: exact at any zoom. Scale sets the width and height
//        it asks to be shown at; Transparent leaves out the white background.
//   PDF  each memo a 1-bit image (Flate), shown without smoothing: sharp at any zoom, and about
//        the size of its PNG. PerPage 1: each memo on a page of its own, as large as the page
//        allows, written by store/MonoPdf.h; its position is a whole number of memo pixels from
//        the page's corner, so that drawn at the memo's own scale its pixels fall on the page's.
//        More: a contact sheet through Qt's PDF writer, PerPage memos a page in a grid, each with
//        its title and time under it as text (the font embedded, so Japanese shows anywhere).
//
// Where the files go (ExportMemos):
//   PNG, SVG  OUT an existing folder, a name ending in "/", or several memos: one file per
//             memo in that folder (made when missing), named after the memo (NAME.png), with
//             "-2", "-3" ... added when the name is taken: nothing there is written over.
//             Otherwise OUT is the one file, replaced when it exists (the user named it).
//   PDF       OUT is the file (replaced when it exists); an existing folder gets NAME.pdf in it,
//             numbered like the others.
//   Markdown  OUT is a folder; what goes there, and when a file there is replaced:
//             store/MarkdownExport.h.
// Every file is written durably (platform/DurableFile.h). On failure ERROR says why in the
// user's words (Japanese); files written before the failure stay and are listed in WRITTEN.
// An export that PROGRESS stops returns false with ERROR empty and leaves nothing behind: no
// file is replaced, and the files it had already made in a folder are removed again.
#pragma once

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QPageSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

enum class ExportFormat { Png, Svg, Pdf, Markdown };

// Markdown: a note for each memo, or one for each day (store/MarkdownExport.h).
enum class MarkdownNotes { PerMemo, PerDay };

struct TExportOptions {
    ExportFormat Format = ExportFormat::Png;
    int Scale = 1;              // PNG, SVG and the pictures of Markdown: 1 to 8
    bool Transparent = false;   // PNG and SVG
    QPageSize PageSize = QPageSize(QPageSize::A4);  // PDF
    int PerPage = 1;            // PDF: 1 to MaxPerPage
    MarkdownNotes Notes = MarkdownNotes::PerMemo;      // Markdown
    QString Attachments = QStringLiteral("attachments");  // Markdown: the pictures' folder in OUT; empty: beside the notes
};

inline constexpr int MaxExportScale = 8;
inline constexpr int MaxPerPage = 64;

// What a long export has done so far: memos read from their files, then memos drawn into the
// PDF or written out. Called once a memo; TOTAL is the number of memos. It returns whether the
// export goes on: false stops it (the user cancelled).
enum class ExportStep { Reading, Writing };
using ExportProgress = std::function<bool(ExportStep step, qsizetype done, qsizetype total)>;

// One memo to export.
struct TExportMemo {
    TExportMemo(QImage picture = {}, QString name = {}, QString title = {}, QDateTime arrived = {})
        : Picture(std::move(picture)), Name(std::move(name)), Title(std::move(title)), Arrived(std::move(arrived))
    {
    }

    QImage Picture;
    QString Name;       // the output's base name, without folder and suffix
    QString Title;      // shown on a contact sheet
    QDateTime Arrived;  // shown on a contact sheet when valid
    QString Reading;    // Markdown: what the library knows of the memo
    QStringList Tags;
    QString Note;
    bool Starred = false;
};

// FILE as a memo to export: its picture, its title, reading and time from the library's chunks
// (a file without them: its file name and modification time), its tags, note and star
// (store/MemoNotes.h). Nothing, with ERROR set, when it cannot
// be read as a picture (ERROR: why, in English).
std::optional<TExportMemo> LoadExportMemo(const QString& file, QString* error);

QByteArray ExportPng(const QImage& picture, int scale, bool transparent);
QByteArray ExportSvg(const QImage& picture, int scale, bool transparent);
// Empty bytes when MEMOS is empty or PROGRESS stopped it. A contact sheet needs a
// QGuiApplication (the titles are drawn in a font).
QByteArray ExportPdf(const QList<TExportMemo>& memos, const TExportOptions& options,
                     const ExportProgress& progress = {});

// The file suffix of FORMAT: "png", "svg", "pdf", "md".
QString ExportSuffix(ExportFormat format);

// ENGLISHERROR, when given, receives the failure in English (for the command line).
bool ExportMemos(const QList<TExportMemo>& memos, const TExportOptions& options, const QString& out,
                 QString* error, QStringList* written = nullptr, QString* englishError = nullptr,
                 const ExportProgress& progress = {});
// The same for files (LoadExportMemo); a file that cannot be read stops the export before
// anything is written.
bool ExportMemos(const QStringList& files, const TExportOptions& options, const QString& out, QString* error,
                 QStringList* written = nullptr, QString* englishError = nullptr, const ExportProgress& progress = {});
