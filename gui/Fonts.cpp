#include "gui/Fonts.h"

#include <QFontDatabase>
#include <QHash>
#include <QString>
#include <QStringList>

namespace {

struct Substitution {
    const char16_t* windowsName;
    QStringList families;
};

// Gothic names go to IPA Gothic, Mincho to IPA Mincho; proportional to the P variants.
// Arial and MS Sans Serif go to Liberation Sans (metric-compatible with Arial), with IPA
// P Gothic behind it for any Japanese text.
const Substitution kSubstitutions[] = {
    {u"ＭＳ ゴシック", {QStringLiteral("IPAGothic")}},
    {u"ＭＳ Ｐゴシック", {QStringLiteral("IPAPGothic")}},
    {u"ＭＳ 明朝", {QStringLiteral("IPAMincho")}},
    {u"System", {QStringLiteral("IPAGothic")}},
    {u"Arial", {QStringLiteral("Liberation Sans"), QStringLiteral("IPAPGothic")}},
    {u"MS Sans Serif", {QStringLiteral("Liberation Sans"), QStringLiteral("IPAPGothic")}},
};

const Substitution* substitutionFor(const QString& windowsName)
{
    for (const auto& s : kSubstitutions)
        if (windowsName == QString::fromUtf16(s.windowsName))
            return &s;
    return nullptr;
}

// Whether the Windows font itself is installed; asked once a name, as the question costs a
// fontconfig match.
bool installed(const QString& windowsName)
{
    static QHash<QString, bool> known;
    auto it = known.find(windowsName);
    if (it == known.end())
        it = known.insert(windowsName, QFontDatabase::hasFamily(windowsName));
    return *it;
}

}  // namespace

void InstallFontSubstitutions()
{
    for (const auto& s : kSubstitutions)
        QFont::insertSubstitutions(QString::fromUtf16(s.windowsName), s.families);
}

QFont LayoutFont(const char* windowsName, int pixelSize)
{
    const QString name = QString::fromUtf8(windowsName);
    QFont font(name);
    // Naming the free family straight away spares the font database a fallback search for
    // a family it does not have (a sort of every installed font, for every script in the
    // text); the Windows font itself is still used where it is installed.
    if (const Substitution* s = substitutionFor(name); s && !installed(name))
        font.setFamilies(s->families);
    font.setPixelSize(pixelSize);
    return font;
}

QString MissingJapaneseFontAdvice()
{
    if (!QFontDatabase::families(QFontDatabase::Japanese).isEmpty())
        return {};
    return QStringLiteral("日本語のフォントがありません。画面の文字が表示できません。\n"
                          "No Japanese font is installed: the program's texts cannot be shown.\n\n"
                          "sudo apt install fonts-ipafont-gothic fonts-ipafont-mincho");
}
