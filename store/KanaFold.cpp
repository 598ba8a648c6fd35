#include "store/KanaFold.h"

QString SearchKey(const QString& text)
{
    QString key = text.normalized(QString::NormalizationForm_KC).toCaseFolded();
    for (QChar& c : key) {
        const char16_t u = c.unicode();
        // ァ..ヶ and the iteration marks ヽ ヾ lie 0x60 above their hiragana.
        if ((u >= 0x30A1 && u <= 0x30F6) || u == 0x30FD || u == 0x30FE)
            c = QChar(char16_t(u - 0x60));
    }
    return key;
}

QStringList FilterTerms(const QString& typed)
{
    // NFKC turns the full-width space into a plain one.
    return SearchKey(typed).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

bool MatchesTerms(QStringView key, const QStringList& terms)
{
    for (const QString& term : terms)
        if (!key.contains(term))
            return false;
    return true;
}
