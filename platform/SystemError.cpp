#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>
#include <locale.h>

namespace platform {

QString SystemErrorText(int error)
{
    switch (error) {
    case 0: return QStringLiteral("原因は不明です");
    case ENOENT: return QStringLiteral("ファイルまたはフォルダーがありません");
    case ENOTDIR: return QStringLiteral("フォルダーがありません");
    case EACCES:
    case EPERM: return QStringLiteral("アクセスが拒否されました");
    case ENOSPC:
    case EDQUOT: return QStringLiteral("ディスクの空き容量が足りません");
    case EROFS: return QStringLiteral("読み取り専用のファイルシステムです");
    case EBUSY: return QStringLiteral("デバイスは使用中です");
    case ENODEV:
    case ENXIO: return QStringLiteral("デバイスがありません");
    case ENOTTY: return QStringLiteral("シリアルポートではありません");
    case EIO: return QStringLiteral("入出力エラーが発生しました");
    case EFBIG: return QStringLiteral("ファイルが大きすぎます");
    case EISDIR: return QStringLiteral("フォルダーです");
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

QString SystemErrorTextEnglish(int error)
{
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    QString text = QString::fromLocal8Bit(c ? ::strerror_l(error, c) : std::strerror(error));
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

}  // namespace platform
