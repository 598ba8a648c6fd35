#include "app/Fonts.h"

#include <QString>

namespace {

struct Substitution {
    const char16_t* windowsName;
    const char* family;
};

// Gothic names go to IPA Gothic, Mincho to IPA Mincho; proportional to the P variants.
// Arial and MS Sans Serif go to Liberation Sans (metric-compatible with Arial), with IPA
// P Gothic behind it for any Japanese text.
constexpr Substitution kSubstitutions[] = {
    {u"ＭＳ ゴシック", "IPAGothic"},       {u"ＭＳ Ｐゴシック", "IPAPGothic"},
    {u"ＭＳ 明朝", "IPAMincho"},           {u"System", "IPAGothic"},
    {u"Arial", "Liberation Sans"},         {u"Arial", "IPAPGothic"},
    {u"MS Sans Serif", "Liberation Sans"}, {u"MS Sans Serif", "IPAPGothic"},
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
