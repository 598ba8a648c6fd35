// The help pages and what the help engine looks up in them.
//
// The pages are HTML files in one folder. Each page may declare, in its head,
//     <meta name="context" content="24">              context numbers, separated by blanks
//     <meta name="keywords" content="通信速度; ポート"> keywords, separated by ";"
// "contents.html" is the contents page and "helponhelp.html" explains the help window.
//
// FindHelpFolder returns the first of these folders that holds contents.html, or an empty
// text: $VEXLO_HELP_DIR when set; "help" next to the program; "../share/vexlo/help" from the
// program's folder (an installed program); the data folder chosen when the program was built.
// HelpFolderCandidates lists them in that order (for the message when none is found).
//
// Load reads every *.html of FOLDER; it returns false (and holds no topics) when FOLDER has
// no contents.html. A page that cannot be read is left out. Nothing here shows anything.
#pragma once

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace platform {

struct HelpTopic {
    QString file;   // "options.html"
    QString title;  // the page's <title>
    std::vector<unsigned long> contexts;
    QStringList keywords;
    QStringList links;  // <a href> targets as written, in page order
    QString text;       // the page as plain text, for the search
};

QStringList HelpFolderCandidates();
QString FindHelpFolder();

class HelpIndex {
public:
    bool Load(const QString& folder);
    const QString& Folder() const { return folder_; }
    const std::vector<HelpTopic>& Topics() const { return topics_; }

    const HelpTopic* ByFile(const QString& file) const;
    const HelpTopic* ByContext(unsigned long context) const;
    // Every (keyword, page) pair, sorted by keyword.
    std::vector<std::pair<QString, QString>> Keywords() const;
    // Keywords containing KEY (any case), as Keywords() orders them; all for an empty KEY.
    std::vector<std::pair<QString, QString>> MatchKeywords(const QString& key) const;
    // Pages whose title or text contains every blank-separated word of WORDS (any case),
    // in contents order.
    std::vector<const HelpTopic*> Search(const QString& words) const;

private:
    QString folder_;
    std::vector<HelpTopic> topics_;
};

}  // namespace platform
