#include "platform/Cp932.h"

#include <cerrno>
#include <iconv.h>

namespace platform {
namespace {

// An iconv descriptor keeps shift state and is not thread-safe: each thread has its own, made
// at its first use (opening one costs more than converting a title, and a title is converted
// a character at a time), and every conversion starts from the initial state.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (ok())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts IN whole. Returns the number of input bytes converted before a failure, or
    // IN.size() on success.
    size_t run(std::string_view in, std::string& out)
    {
        out.clear();
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // whatever a failed conversion left
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buf[1024];
        while (srcLeft > 0) {
            char* dst = buf;
            size_t dstLeft = sizeof buf;
            size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf, dst - buf);
            if (r == static_cast<size_t>(-1) && errno != E2BIG)
                return in.size() - srcLeft;
        }
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buf, dst - buf);
        return in.size();
    }

private:
    iconv_t cd_;
};

Converter& toCp932()
{
    thread_local Converter converter("CP932", "UTF-8");
    return converter;
}

Converter& fromCp932()
{
    thread_local Converter converter("UTF-8", "CP932");
    return converter;
}

}  // namespace

bool ToCp932(const QString& text, std::string& out, QString& error)
{
    out.clear();
    Converter& conv = toCp932();
    if (!conv.ok()) {
        error = QStringLiteral("the CP932 converter is not available");
        return false;
    }
    const QByteArray utf8 = text.toUtf8();
    const std::string_view in(utf8.constData(), utf8.size());
    std::string result;
    const size_t done = conv.run(in, result);
    if (done != in.size()) {
        // Name the character that stopped the conversion.
        const QString rest = QString::fromUtf8(in.data() + done, qsizetype(in.size() - done));
        char32_t cp = 0;
        if (rest.size() > 1 && rest[0].isHighSurrogate() && rest[1].isLowSurrogate())
            cp = QChar::surrogateToUcs4(rest[0], rest[1]);
        else if (!rest.isEmpty())
            cp = rest[0].unicode();
        error = QStringLiteral("the character \"%1\" (U+%2) has no Shift-JIS (CP932) form")
                    .arg(QString::fromUcs4(&cp, 1),
                         QString::number(static_cast<uint>(cp), 16).toUpper().rightJustified(4, QLatin1Char('0')));
        return false;
    }
    out = std::move(result);
    return true;
}

bool FromCp932(std::string_view bytes, QString& out, QString& error)
{
    out.clear();
    Converter& conv = fromCp932();
    if (!conv.ok()) {
        error = QStringLiteral("the CP932 converter is not available");
        return false;
    }
    std::string result;
    const size_t done = conv.run(bytes, result);
    if (done != bytes.size()) {
        error = QStringLiteral("byte %1 (%2) does not start a CP932 character")
                    .arg(done)
                    .arg(QString::number(static_cast<uint8_t>(bytes[done]), 16).toUpper());
        return false;
    }
    out = QString::fromUtf8(result.data(), qsizetype(result.size()));
    return true;
}

}  // namespace platform
