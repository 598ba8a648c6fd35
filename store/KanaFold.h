// KanaFold — text as the library's search compares it, so that what a Japanese user types
// finds a memo however its title was written: katakana, hiragana and half-width katakana match
// each other, full-width letters and digits match half-width ones, and case does not matter.
// Voiced marks are kept: は does not match ば.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// TEXT folded: compatibility forms composed (NFKC: ｶﾞ is ガ, Ａ is A), case folded, katakana
// turned into hiragana (ヴ into ゔ; ヷ to ヺ, which hiragana lacks, stay).
QString SearchKey(const QString& text);

// The typed filter as search terms: folded, split at spaces (full-width ones too), empty
// parts dropped.
QStringList FilterTerms(const QString& typed);

// True when every term occurs in KEY (a memo's search text).
bool MatchesTerms(QStringView key, const QStringList& terms);
