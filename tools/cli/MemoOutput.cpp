#include "tools/cli/MemoOutput.h"

#include "tools/cli/CliCommon.h"
#include "transfer/DeviceText.h"

#include <QDir>
#include <QSaveFile>

bool TMemoOutput::Write(const TReceivedMemo& memo)
{
    ++number_;
    if (!memo.Error.isEmpty()) {
        cli::Fail(QStringLiteral("memo %1: %2").arg(number_).arg(memo.Error));
        return false;
    }
    const QString name = QStringLiteral("memo-%1.%2").arg(number_, 3, 10, QLatin1Char('0')).arg(format_);
    QSaveFile file(QDir(dir_).filePath(name));
    const QImage mono = memo.Picture.Image.convertToFormat(QImage::Format_Mono);
    if (!file.open(QIODevice::WriteOnly) ||
        !mono.save(&file, format_ == QLatin1String("png") ? "PNG" : "BMP") || !file.commit()) {
        cli::Fail(QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()));
        return false;
    }
    cli::PrintLine(QStringLiteral("%1\t%2x%3\t%4\t%5")
                       .arg(name)
                       .arg(memo.Picture.ImageWidth)
                       .arg(memo.Picture.ImageHeight)
                       .arg(DeviceCodesToText(memo.TitleCodes), ReadingBytesToText(memo.ReadingBytes)));
    return true;
}

bool PrepareMemoOutput(const std::string& out, const std::string* format, QString& dir,
                       QString& formatOut, QString& error)
{
    if (out.empty()) {
        error = QStringLiteral("--out DIR is missing");
        return false;
    }
    formatOut = QStringLiteral("bmp");
    if (format) {
        formatOut = QString::fromStdString(*format).toLower();
        if (formatOut != QLatin1String("bmp") && formatOut != QLatin1String("png")) {
            error = QStringLiteral("--format is bmp or png");
            return false;
        }
    }
    if (!cli::Utf8Arg(out, dir, error)) {
        error = QStringLiteral("--out: ") + error;
        return false;
    }
    if (!QDir().mkpath(dir)) {
        error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    return true;
}
