#include "app/Fonts.h"

#include <QString>

namespace {

struct Substitution {
    const char16_t* windowsName;
    const char* family;
};

// Gothic names go to IPA Gothic, Mincho to IPA Mincho; proportional to the P variants.
constexpr Substitution kSubstitutions[] = {
    {u"ＭＳ ゴシック", "IPAGothic"},   {u"ＭＳ Ｐゴシック", "IPAPGothic"},
    {u"ＭＳ 明朝", "IPAMincho"},       {u"System", "IPAGothic"},
    {u"Arial", "IPAPGothic"},          {u"MS Sans Serif", "IPAPGothic"},
};

}  // namespace

void InstallFontSubstitutions()
{
    for (const auto& s : kSubstitutions)
        QFont::insertSubstitution(QString::fromUtf16(s.windowsName), QLatin1String(s.family));
}

QFont LayoutFont(const char* windowsName, int pixelSize)
{
    QFont font(QString::fromUtf8(windowsName));
    font.setPixelSize(pixelSize);
    return font;
}
