#include "store/LibraryFile.h"

#include "store/MemoNotes.h"
#include "store/PngText.h"
#include "picture/Picture.h"

namespace {

bool endsWithCi(const QString& name, QLatin1StringView suffix)
{
    return name.endsWith(suffix, Qt::CaseInsensitive);
}

// The size a BMP's headers claim: the core header (12 bytes) or a later one.
QSize bmpSize(const QByteArray& head)
{
    if (head.size() < 26 || !head.startsWith("BM"))
        return {};
    auto le = [&](int at, int bytes) {
        quint32 v = 0;
        for (int i = bytes - 1; i >= 0; --i)
            v = v << 8 | uchar(head[at + i]);
        return v;
    };
    if (le(14, 4) == 12)
        return QSize(int(le(18, 2)), int(le(20, 2)));
    return QSize(std::abs(qint32(le(18, 4))), std::abs(qint32(le(22, 4))));
}

// "2026-12-07T16:23:32+01:00" (or "...Z") as ms since the epoch; the common form is read by hand,
// as a rebuild reads ten thousand of them, anything else by Qt.
std::optional<qint64> arrivalTime(const QString& text)
{
    auto digits = [&](int at, int n) {
        int v = 0;
        for (int i = at; i < at + n; ++i) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                return -1;
            v = v * 10 + (c - u'0');
        }
        return v;
    };
    auto is = [&](int at, char16_t c) { return text[at].unicode() == c; };
    const bool utc = text.size() == 20 && is(19, u'Z');
    if ((utc || (text.size() == 25 && (is(19, u'+') || is(19, u'-')) && is(22, u':'))) && is(4, u'-') &&
        is(7, u'-') && is(10, u'T') && is(13, u':') && is(16, u':')) {
        const QDate date(digits(0, 4), digits(5, 2), digits(8, 2));
        const int h = digits(11, 2), m = digits(14, 2), sec = digits(17, 2);
        const int oh = utc ? 0 : digits(20, 2), om = utc ? 0 : digits(23, 2);
        if (date.isValid() && h >= 0 && h < 24 && m >= 0 && m < 60 && sec >= 0 && sec < 60 && oh >= 0 && om >= 0) {
            const qint64 offset = (utc || is(19, u'+') ? 1 : -1) * (qint64(oh) * 3600 + om * 60);
            const qint64 days = date.toJulianDay() - QDate(1970, 1, 1).toJulianDay();
            return ((days * 86400 + h * 3600 + m * 60 + sec) - offset) * 1000;
        }
    }
    const QDateTime parsed = QDateTime::fromString(text, Qt::ISODate);
    return parsed.isValid() ? std::optional(parsed.toMSecsSinceEpoch()) : std::nullopt;
}

}  // namespace

bool IsMemoFileName(const QString& name)
{
    const QString plain = endsWithCi(name, QLatin1StringView(".orig")) ? name.chopped(5) : name;
    return !name.startsWith(QLatin1Char('.')) && plain.size() > 4 &&
           (endsWithCi(plain, QLatin1StringView(".png")) || endsWithCi(plain, QLatin1StringView(".bmp")));
}

MemoInfo ReadMemoInfo(const QString& name, const QByteArray& head, qint64 modified)
{
    MemoInfo info;
    info.time = modified;
    if (endsWithCi(name, QLatin1StringView(".png")) || endsWithCi(name, QLatin1StringView(".png.orig"))) {
        static const QList<QByteArray> keys = {kMemoTitleKey,   kMemoReadingKey, kMemoArrivedKey,
                                               kMemoTagsKey,    kMemoNoteKey,    kMemoStarredKey};
        if (const std::optional<PngText> png = ReadPngText(head, keys)) {
            info.size = png->size;
            for (const auto& [key, value] : png->texts) {
                if (key == QLatin1StringView(kMemoTitleKey)) {
                    info.title = value;
                    info.titled = true;
                } else if (key == QLatin1StringView(kMemoReadingKey)) {
                    info.reading = value;
                } else if (key == QLatin1StringView(kMemoTagsKey)) {
                    info.tags = CleanTags(value.split(QLatin1Char('\n')));
                } else if (key == QLatin1StringView(kMemoNoteKey)) {
                    info.note = value;
                } else if (key == QLatin1StringView(kMemoStarredKey)) {
                    info.starred = value.trimmed() == QLatin1String("1");
                } else if (key == QLatin1StringView(kMemoArrivedKey)) {
                    if (const std::optional<qint64> arrived = arrivalTime(value))
                        info.time = *arrived;
                }
            }
        }
    } else {
        info.size = bmpSize(head);
    }
    if (!info.titled)
        info.title = name;
    return info;
}

QImage ReadThumbnail(const QString& path)
{
    std::optional<QImage> picture = ReadPictureFile(path);
    if (!picture || picture->isNull())
        return {};
    QImage small = *picture;
    if (small.width() > kThumbnailBox.width() || small.height() > kThumbnailBox.height())
        small = small.scaled(kThumbnailBox, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return small.convertToFormat(QImage::Format_Mono, Qt::MonoOnly | Qt::DiffuseDither);
}
