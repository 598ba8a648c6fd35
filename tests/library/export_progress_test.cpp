// A long export shows how far it has come, and its ｷｬﾝｾﾙ stops it without leaving anything
// behind: a file that was there stays as it was, and no file is made.
#include "gui/Dialogs.h"
#include "gui/ExportCommand.h"
#include "gui/ExportDlg.h"
#include "support/GuiApp.h"
#include "support/LibraryMemos.h"

#include <QApplication>
#include <QDir>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QProgressDialog* shownProgress()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<QProgressDialog*>(w); p && p->objectName() == QLatin1String("ExportProgress1") && p->isVisible())
            return p;
    return nullptr;
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

TEST(ExportProgress, CancelStopsTheExportAndLeavesNothingBehind)
{
    GuiApp();
    constexpr int kMemos = 300;
    QList<TExportMemo> memos;
    for (int i = 0; i < kMemos; ++i)
        memos.push_back({StrokeMemo(i, QSize(24, 24)), QStringLiteral("メモ%1").arg(i), QStringLiteral("メモ%1").arg(i),
                         QDateTime::currentDateTime()});
    const struct {
        const char* name;
        ExportFormat format;
        int perPage;
        const char* answer;  // in the temporary folder; "/" at the end: a folder
    } cases[] = {
        {"a PDF over a file that is there", ExportFormat::Pdf, 1, "out/memos.pdf"},
        {"a contact sheet", ExportFormat::Pdf, 16, "out/memos.pdf"},
        {"PNG files into a folder", ExportFormat::Png, 1, "out"},
        {"SVG files into a folder", ExportFormat::Svg, 1, "out"},
        {"Markdown notes into a folder", ExportFormat::Markdown, 1, "out"},
    };
    SetExportProgressDelay(0);
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        QFile old(out + QStringLiteral("/memos.pdf"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the PDF of yesterday");
        old.close();
        SetExportDialogAnswerer([&](TExportOptions& o) {
            o.Format = c.format;
            o.PerPage = c.perPage;
            return true;
        });
        SetFileDialogAnswerer([&](const FileDialogRequest&) { return std::optional<QString>(dir.filePath(QLatin1String(c.answer))); });
        // ｷｬﾝｾﾙ is clicked once the progress shows a few memos done.
        QString seen;
        QTimer clicker;
        clicker.setInterval(0);
        QObject::connect(&clicker, &QTimer::timeout, [&] {
            QProgressDialog* progress = shownProgress();
            if (!progress || progress->value() < 20)
                return;
            seen = progress->labelText();
            auto* cancel = progress->findChild<QPushButton*>(QStringLiteral("CancelButton"));
            ASSERT_NE(cancel, nullptr);
            EXPECT_EQ(cancel->text(), QStringLiteral("ｷｬﾝｾﾙ"));
            cancel->click();
            clicker.stop();
        });
        clicker.start();
        const std::optional<QString> failure = ExportMemosAsked(nullptr, memos);
        clicker.stop();
        EXPECT_FALSE(failure.has_value()) << c.name << ": cancelling is no failure: " << failure.value_or(QString()).toStdString();
        EXPECT_TRUE(seen.startsWith(QStringLiteral("書き出しています… "))) << c.name << ": " << seen.toStdString();
        EXPECT_TRUE(seen.endsWith(QStringLiteral(" / 300"))) << c.name << ": " << seen.toStdString();
        EXPECT_EQ(filesIn(out), QStringList({"memos.pdf"})) << c.name << ": " << filesIn(out).join(u' ').toStdString();
        EXPECT_EQ(QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList()) << c.name << ": a folder made";
        EXPECT_EQ(filesIn(dir.path()), QStringList()) << c.name;
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("the PDF of yesterday")) << c.name;
        old.close();
        EXPECT_EQ(shownProgress(), nullptr) << c.name << ": the progress is gone";
    }
    SetExportProgressDelay(500);
    SetExportDialogAnswerer(nullptr);
    SetFileDialogAnswerer(nullptr);
}

}  // namespace
