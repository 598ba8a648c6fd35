// vexlo-cli export: memo files as PNG at a scale, SVG, PDF or Markdown notes (store/MemoExport.h).
#include "tools/cli/CliCommon.h"

#include "store/MemoExport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>
#include <map>
#include <optional>
#include <unistd.h>

namespace {

constexpr char Help[] =
    "Usage: vexlo-cli export FILE... [--format png|svg|pdf|md] [--scale N] [--transparent]\n"
    "                        [--page SIZE] [--per-page N] [--notes memo|day]\n"
    "                        [--attachments NAME] --out DIR|FILE\n"
    "\n"
    "Writes memos (the library's PNG files, or any picture a memo window opens) for other\n"
    "programs:\n"
    "  png  each pixel an N x N square (--scale 1 to 8, sharp), one bit per pixel;\n"
    "       --transparent leaves the white transparent;\n"
    "  svg  the black pixels as rectangles in one path, exact at any zoom; --scale sets the\n"
    "       size it is shown at, --transparent leaves out the white background;\n"
    "  pdf  one memo a page, as large as the page allows (--per-page 1, the default), or a\n"
    "       contact sheet of N memos a page with their titles and times (--per-page 2 to 64).\n"
    "       --page a4 (default), a5, a3, b5, b4 (JIS sizes), letter, legal or postcard.\n"
    "  md   Markdown notes into the folder --out, for Obsidian and other Markdown tools: one\n"
    "       note a memo (--notes memo, the default) or one a day (--notes day), with the title,\n"
    "       reading, time of arrival, tags, star and note in YAML front matter, and the picture\n"
    "       (PNG at --scale) linked from the folder --attachments NAME inside --out\n"
    "       (\"attachments\" by default; \"\" puts the pictures beside the notes). Exporting\n"
    "       again updates the files it wrote (.vexlo-export.json keeps them); a file it did not\n"
    "       write, or one changed since, is never written over: it is named, and the exit\n"
    "       status is 2.\n"
    "Without --format the suffix of --out decides.\n"
    "\n"
    "--out DIR (an existing folder, a name ending in \"/\", or several memos as PNG or SVG):\n"
    "one file per memo, named after it; a name that is taken gets -2, -3 ...: nothing there is\n"
    "written over. --out FILE: that file, replaced when it exists. Prints each file written.\n"
    "\n"
    "Exit status: 0 every file was written, 2 bad arguments, a memo that cannot be read (then\n"
    "nothing is written) or a file that cannot be written.\n";

bool parseNumber(const std::string& text, int low, int high, int& out)
{
    try {
        std::size_t used = 0;
        const int value = std::stoi(text, &used);
        if (used != text.size() || value < low || value > high)
            return false;
        out = value;
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

int RunExport(const std::vector<std::string>& args)
{
    cli::ParsedArgs parsed;
    if (const auto done = cli::ParseCommandArgs(args, {"--transparent"},
                                                {"--format", "--scale", "--page", "--per-page", "--notes", "--attachments", "--out"}, Help, parsed))
        return *done;
    QString error;
    if (parsed.Words.empty())
        return cli::Fail(QStringLiteral("export: no FILE given"));
    const auto out = parsed.Values.find("--out");
    if (out == parsed.Values.end() || out->second.empty())
        return cli::Fail(QStringLiteral("export: --out DIR|FILE is missing"));
    QString outPath;
    if (!cli::Utf8Arg(out->second, outPath, error))
        return cli::Fail(QStringLiteral("export: --out: ") + error);

    TExportOptions options;
    QString format;
    if (const auto f = parsed.Values.find("--format"); f != parsed.Values.end())
        format = QString::fromStdString(f->second).toLower();
    else
        format = QFileInfo(outPath).suffix().toLower();
    static const std::map<QString, ExportFormat> formats{
        {QStringLiteral("png"), ExportFormat::Png}, {QStringLiteral("svg"), ExportFormat::Svg},
        {QStringLiteral("pdf"), ExportFormat::Pdf}, {QStringLiteral("md"), ExportFormat::Markdown}};
    const auto known = formats.find(format);
    if (known == formats.end())
        return cli::Fail(QStringLiteral("export: --format is png, svg, pdf or md"));
    options.Format = known->second;
    if (const auto s = parsed.Values.find("--scale"); s != parsed.Values.end())
        if (!parseNumber(s->second, 1, MaxExportScale, options.Scale))
            return cli::Fail(QStringLiteral("export: --scale is a whole number from 1 to %1").arg(MaxExportScale));
    if (const auto p = parsed.Values.find("--per-page"); p != parsed.Values.end())
        if (!parseNumber(p->second, 1, MaxPerPage, options.PerPage))
            return cli::Fail(QStringLiteral("export: --per-page is a whole number from 1 to %1").arg(MaxPerPage));
    if (const auto p = parsed.Values.find("--page"); p != parsed.Values.end()) {
        static const std::map<std::string, QPageSize::PageSizeId> pages{
            {"a4", QPageSize::A4},         {"a5", QPageSize::A5},         {"a3", QPageSize::A3},
            {"b5", QPageSize::JisB5},      {"b4", QPageSize::JisB4},      {"letter", QPageSize::Letter},
            {"legal", QPageSize::Legal},   {"postcard", QPageSize::Postcard}};
        std::string name = p->second;
        for (char& c : name)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        const auto page = pages.find(name);
        if (page == pages.end())
            return cli::Fail(QStringLiteral("export: --page is a4, a5, a3, b5, b4, letter, legal or postcard"));
        options.PageSize = QPageSize(page->second);
    }
    if (const auto n = parsed.Values.find("--notes"); n != parsed.Values.end()) {
        if (n->second != "memo" && n->second != "day")
            return cli::Fail(QStringLiteral("export: --notes is memo or day"));
        options.Notes = n->second == "day" ? MarkdownNotes::PerDay : MarkdownNotes::PerMemo;
    }
    if (const auto a = parsed.Values.find("--attachments"); a != parsed.Values.end())
        if (!cli::Utf8Arg(a->second, options.Attachments, error))
            return cli::Fail(QStringLiteral("export: --attachments: ") + error);
    if (options.Format != ExportFormat::Markdown &&
        (parsed.Values.count("--notes") > 0 || parsed.Values.count("--attachments") > 0))
        return cli::Fail(QStringLiteral("export: --notes and --attachments are for --format md"));
    options.Transparent = parsed.Flags.count("--transparent") > 0;
    QStringList files;
    for (const std::string& word : parsed.Words) {
        QString file;
        if (!cli::Utf8Arg(word, file, error))
            return cli::Fail(QStringLiteral("export: ") + error);
        files << file;
    }

    // The titles of a contact sheet are drawn in a font: that takes a GUI application, which needs no
    // display on the offscreen platform.
    int argc = 3;
    char name[] = "vexlo-cli", platform[] = "-platform", offscreen[] = "offscreen";
    char* argv[] = {name, platform, offscreen, nullptr};
    std::optional<QGuiApplication> gui;
    std::optional<cli::ConsoleApplication> console;
    if (options.Format == ExportFormat::Pdf && options.PerPage > 1)
        gui.emplace(argc, argv);
    else
        console.emplace();

    QStringList written;
    QString japanese, english;
    // On a terminal, how far a long export has come: one line, redrawn at most ten times a second.
    ExportProgress progress;
    QElapsedTimer shown;
    bool drawn = false;
    if (::isatty(STDERR_FILENO) && files.size() > 1) {
        shown.start();
        progress = [&](ExportStep step, qsizetype done, qsizetype total) {
            if (done < total && shown.elapsed() < 100 && drawn)
                return true;
            shown.restart();
            drawn = true;
            std::fprintf(stderr, "\rexport: %s %lld/%lld memos", step == ExportStep::Reading ? "reading" : "writing",
                         static_cast<long long>(done), static_cast<long long>(total));
            std::fflush(stderr);
            return true;
        };
    }
    const bool ok = ExportMemos(files, options, outPath, &japanese, &written, &english, progress);
    if (drawn)
        std::fputs("\n", stderr);
    for (const QString& file : written)
        cli::PrintLine(file);
    if (!ok)
        return cli::Fail(QStringLiteral("export: ") + english);
    return cli::ExitOk;
}
