#include "platform/HelpIndex.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>

#ifndef VEXLO_HELP_DATADIR
#define VEXLO_HELP_DATADIR "/usr/local/share/vexlo/help"
#endif

namespace platform {

namespace {

QString metaContent(const QString& html, const QString& name)
{
    const QRegularExpression meta(
        QStringLiteral("<meta\\s+name=\"%1\"\\s+content=\"([^\"]*)\"").arg(QRegularExpression::escape(name)),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = meta.match(html);
    return m.hasMatch() ? m.captured(1) : QString();
}

// The text a reader sees: the body without tags, style sheets and scripts, entities decoded.
QString plainText(QString html)
{
    static const QRegularExpression hidden(QStringLiteral("<(head|style|script)\\b.*?</\\1>"),
                                           QRegularExpression::CaseInsensitiveOption
                                               | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    html.remove(hidden);
    html.replace(tag, QStringLiteral(" "));
    html.replace(QLatin1String("&lt;"), QLatin1String("<"));
    html.replace(QLatin1String("&gt;"), QLatin1String(">"));
    html.replace(QLatin1String("&quot;"), QLatin1String("\""));
    html.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    html.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return html.replace(blanks, QStringLiteral(" ")).trimmed();
}

HelpTopic parse(const QString& file, const QString& html)
{
    HelpTopic topic;
    topic.file = file;
    static const QRegularExpression title(QStringLiteral("<title>([^<]*)</title>"),
                                          QRegularExpression::CaseInsensitiveOption);
    topic.title = title.match(html).captured(1).trimmed();
    for (const QString& n : metaContent(html, QStringLiteral("context")).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const unsigned long value = n.toULong(&ok);
        if (ok)
            topic.contexts.push_back(value);
    }
    for (const QString& k : metaContent(html, QStringLiteral("keywords")).split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (!k.trimmed().isEmpty())
            topic.keywords.push_back(k.trimmed());
    // Links a reader follows (<a href>), not the style sheet a <link> names.
    static const QRegularExpression href(QStringLiteral("<a\\s[^>]*href=\"([^\"]*)\""), QRegularExpression::CaseInsensitiveOption);
    for (auto it = href.globalMatch(html); it.hasNext();)
        topic.links.push_back(it.next().captured(1));
    topic.text = plainText(html);
    return topic;
}

}  // namespace

QStringList HelpFolderCandidates()
{
    QStringList folders;
    const QString env = qEnvironmentVariable("VEXLO_HELP_DIR");
    if (!env.isEmpty())
        folders << env;
    const QString bin = QCoreApplication::applicationDirPath();
    if (!bin.isEmpty()) {
        folders << QDir(bin).filePath(QStringLiteral("help"));
        folders << QDir::cleanPath(bin + QStringLiteral("/../share/vexlo/help"));
    }
    folders << QStringLiteral(VEXLO_HELP_DATADIR);
    folders.removeDuplicates();
    return folders;
}

QString FindHelpFolder()
{
    for (const QString& folder : HelpFolderCandidates())
        if (QFile::exists(QDir(folder).filePath(QStringLiteral("contents.html"))))
            return folder;
    return QString();
}

bool HelpIndex::Load(const QString& folder)
{
    topics_.clear();
    folder_ = folder;
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists(QStringLiteral("contents.html")))
        return false;
    for (const QString& file : dir.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(file));
        if (f.open(QIODevice::ReadOnly))
            topics_.push_back(parse(file, QString::fromUtf8(f.readAll())));
    }
    // Contents order: the pages as the contents page links them, then the rest by name.
    if (const HelpTopic* contents = ByFile(QStringLiteral("contents.html"))) {
        const QStringList order = contents->links;
        auto rank = [&](const HelpTopic& t) {
            if (t.file == QLatin1String("contents.html"))
                return -1;
            const auto i = order.indexOf(t.file);
            return i < 0 ? static_cast<int>(order.size()) : static_cast<int>(i);
        };
        std::stable_sort(topics_.begin(), topics_.end(),
                         [&](const HelpTopic& a, const HelpTopic& b) { return rank(a) < rank(b); });
    }
    return true;
}

const HelpTopic* HelpIndex::ByFile(const QString& file) const
{
    for (const HelpTopic& t : topics_)
        if (t.file == file)
            return &t;
    return nullptr;
}

const HelpTopic* HelpIndex::ByContext(unsigned long context) const
{
    for (const HelpTopic& t : topics_)
        if (std::find(t.contexts.begin(), t.contexts.end(), context) != t.contexts.end())
            return &t;
    return nullptr;
}

std::vector<std::pair<QString, QString>> HelpIndex::Keywords() const
{
    std::vector<std::pair<QString, QString>> all;
    for (const HelpTopic& t : topics_)
        for (const QString& k : t.keywords)
            all.emplace_back(k, t.file);
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
        return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
    });
    return all;
}

std::vector<std::pair<QString, QString>> HelpIndex::MatchKeywords(const QString& key) const
{
    std::vector<std::pair<QString, QString>> matches;
    const QString k = key.trimmed();
    for (const auto& entry : Keywords())
        if (entry.first.contains(k, Qt::CaseInsensitive))
            matches.push_back(entry);
    return matches;
}

std::vector<const HelpTopic*> HelpIndex::Search(const QString& words) const
{
    std::vector<const HelpTopic*> found;
    const QStringList list = words.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (list.isEmpty())
        return found;
    for (const HelpTopic& t : topics_) {
        const bool all = std::all_of(list.begin(), list.end(), [&](const QString& w) {
            return t.title.contains(w, Qt::CaseInsensitive) || t.text.contains(w, Qt::CaseInsensitive);
        });
        if (all)
            found.push_back(&t);
    }
    return found;
}

}  // namespace platform
