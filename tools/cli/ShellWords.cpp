#include "tools/cli/ShellWords.h"

std::optional<QStringList> SplitShellWords(const QString& command, QString* why)
{
    auto refuse = [why](const QString& text) -> std::optional<QStringList> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    QStringList words;
    QString word;
    bool inWord = false;  // a word is begun (an empty pair of quotes begins one too)
    const qsizetype n = command.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = command[i];
        if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else if (c == u'\\') {
            if (i + 1 >= n)
                return refuse(QStringLiteral("a backslash ends the command"));
            ++i;
            if (command[i] != u'\n') {
                word += command[i];
                inWord = true;
            }
        } else if (c == u'\'') {
            const qsizetype end = command.indexOf(u'\'', i + 1);
            if (end < 0)
                return refuse(QStringLiteral("a single quote is not closed"));
            word += QStringView(command).sliced(i + 1, end - i - 1);
            inWord = true;
            i = end;
        } else if (c == u'"') {
            inWord = true;
            for (++i;; ++i) {
                if (i >= n)
                    return refuse(QStringLiteral("a double quote is not closed"));
                const QChar d = command[i];
                if (d == u'"')
                    break;
                if (d == u'\\' && i + 1 < n && QStringView(u"$`\"\\\n").contains(command[i + 1])) {
                    ++i;
                    if (command[i] != u'\n')
                        word += command[i];
                } else {
                    word += d;
                }
            }
        } else if (QStringView(u"|&;<>()").contains(c)) {
            return refuse(QStringLiteral("\"%1\" is an operator of a shell, and no shell runs the command "
                                         "(quote it, or run a shell: sh -c '...' sh)")
                              .arg(c));
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return words;
}
