#include "tools/cli/MemoOutput.h"

#include "picture/Picture.h"
#include "platform/DurableFile.h"
#include "store/MemoStore.h"
#include "tools/cli/CliCommon.h"
#include "transfer/DeviceText.h"

#include <QDir>
#include <QRegularExpression>

#include <cerrno>
#include <climits>
#include <unistd.h>

namespace {

QString memoFileName(int number, const QString& format)
{
    return QStringLiteral("memo-%1.%2").arg(number, 3, 10, QLatin1Char('0')).arg(format);
}

// The number after the highest memo-N.bmp or memo-N.png in DIR (1 when there is none).
int firstFreeNumber(const QString& dir)
{
    static const QRegularExpression memoName(QStringLiteral("^memo-(\\d{1,9})\\.(bmp|png)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    int highest = 0;
    for (const QString& name : QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System)) {
        const QRegularExpressionMatch m = memoName.match(name);
        if (m.hasMatch())
            highest = std::max(highest, m.captured(1).toInt());
    }
    return highest + 1;
}

}  // namespace

TMemoOutput::TMemoOutput(QString dir, QString format)
    : dir_(std::move(dir)), format_(std::move(format)), nextFile_(firstFreeNumber(dir_))
{
}

bool TMemoOutput::Write(const TReceivedMemo& memo, const QDateTime& arrived, QString* path,
                        std::optional<platform::FileWriteError>* failure)
{
    ++memos_;
    if (!memo.Error.isEmpty()) {
        ++nextFile_;  // the memo keeps its number: the files after it match their place in the stream
        cli::Fail(QStringLiteral("memo %1: %2").arg(memos_).arg(memo.Error));
        return false;
    }
    QByteArray bytes;
    if (format_ == QLatin1String("png")) {
        TMemoMeta meta = MemoMetaOf(memo, arrived);
        bytes = EncodeMemoPng(memo.Picture.Image, meta);
    } else {
        bytes = MonochromeBmpBytes(memo.Picture.Image.convertToFormat(QImage::Format_Mono));
    }
    if (bytes.isEmpty()) {
        cli::Fail(QStringLiteral("memo %1: cannot encode it as %2").arg(memos_).arg(format_.toUpper()));
        return false;
    }
    QString written;
    int number = 0;
    const auto nameFor = [this](int n) { return memoFileName(n, format_); };
    if (auto why = platform::WriteNewFile(dir_, nameFor, nextFile_, bytes, &written, &number)) {
        cli::Fail(QStringLiteral("memo %1: cannot write %2: %3")
                      .arg(memos_)
                      .arg(QDir(dir_).filePath(nameFor(nextFile_)), why->englishText()));
        if (failure)
            *failure = why;
        return false;
    }
    if (path)
        *path = written;
    nextFile_ = number + 1;
    cli::PrintLine(QStringLiteral("%1\t%2x%3\t%4\t%5")
                       .arg(nameFor(number))
                       .arg(memo.Picture.ImageWidth)
                       .arg(memo.Picture.ImageHeight)
                       .arg(DeviceCodesToText(memo.TitleCodes), ReadingBytesToText(memo.ReadingBytes)));
    return true;
}

bool CheckMemoFormat(const std::string* format, QString& formatOut, QString& error)
{
    formatOut = QStringLiteral("bmp");
    if (format) {
        formatOut = QString::fromStdString(*format).toLower();
        if (formatOut != QLatin1String("bmp") && formatOut != QLatin1String("png")) {
            error = QStringLiteral("--format is bmp or png");
            return false;
        }
    }
    return true;
}

bool PrepareMemoOutput(const std::string& out, const std::string* format, QString& dir,
                       QString& formatOut, QString& error)
{
    if (out.empty()) {
        error = QStringLiteral("--out DIR is missing");
        return false;
    }
    if (!CheckMemoFormat(format, formatOut, error))
        return false;
    if (!cli::Utf8Arg(out, dir, error)) {
        error = QStringLiteral("--out: ") + error;
        return false;
    }
    if (const auto failure = platform::MakeFolders(dir)) {
        error = QStringLiteral("cannot create %1: %2").arg(dir, failure->englishText());
        return false;
    }
    // Found out now, not after the device has handed its memos over.
    if (::access(QFile::encodeName(dir).constData(), W_OK | X_OK) != 0) {
        platform::FileWriteError why;
        why.error = errno;
        error = QStringLiteral("cannot write into %1: %2").arg(dir, why.englishText());
        return false;
    }
    platform::RemoveAbandonedFiles(dir);  // what an earlier run that was killed left behind
    return true;
}
