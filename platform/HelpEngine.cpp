#include "platform/HelpEngine.h"

#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>

namespace platform {

namespace {

QString g_helpFile;
QPointer<QTextBrowser> g_window;

// Help topics ship as HTML in the program's resources; context numbers name their pages.
QString topicUrl(const QString& page)
{
    return QStringLiteral("qrc:/help/%1.html").arg(page);
}

QTextBrowser* window()
{
    if (!g_window) {
        g_window = new QTextBrowser;
        g_window->setObjectName(QStringLiteral("HelpWindow"));
        g_window->setAttribute(Qt::WA_DeleteOnClose);
        g_window->setOpenLinks(true);
        g_window->setSearchPaths({QStringLiteral(":/help")});
        g_window->resize(520, 440);
    }
    g_window->setWindowTitle(QStringLiteral("%1 ヘルプ").arg(g_helpFile));
    return g_window;
}

bool show(const QString& page)
{
    if (!QFile::exists(QStringLiteral(":/help/%1.html").arg(page)))
        return false;
    QTextBrowser* w = window();
    w->setSource(QUrl(topicUrl(page)));
    w->show();
    w->raise();
    return true;
}

// The keyword search: the index page lists "keyword → page" pairs; a partial key picks the
// first keyword that contains it, an empty key shows the whole index.
bool searchKeyword(const QString& key)
{
    if (key.isEmpty())
        return show(QStringLiteral("index"));
    QFile index(QStringLiteral(":/help/index.html"));
    if (!index.open(QIODevice::ReadOnly))
        return false;
    const QString html = QString::fromUtf8(index.readAll());
    static const QRegularExpression link(QStringLiteral("<a href=\"([^\"]+)\\.html\">([^<]+)</a>"));
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(2).contains(key, Qt::CaseInsensitive))
            return show(m.captured(1));
    }
    return show(QStringLiteral("index"));
}

}  // namespace

void SetHelpFile(const char* name)
{
    g_helpFile = QString::fromUtf8(name);
}

bool WinHelp(unsigned command, unsigned long data)
{
    switch (command) {
    case HELP_CONTEXT: return show(QStringLiteral("context-%1").arg(data));
    case HELP_QUIT:
        if (g_window)
            g_window->close();
        return true;
    case HELP_CONTENTS: return show(QStringLiteral("contents"));
    case HELP_HELPONHELP: return show(QStringLiteral("helponhelp"));
    case HELP_PARTIALKEY: return searchKeyword(QString());
    default: return false;
    }
}

bool HelpWindowOpen()
{
    return g_window && g_window->isVisible();
}

}  // namespace platform
