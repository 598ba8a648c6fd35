#include "library/LibraryFolder.h"

#include "link/Config.h"
#include "platform/PrivateProfile.h"

#include <QDir>
#include <QStandardPaths>

QString ConfiguredLibraryFolder()
{
    QString folder = QString::fromStdString(platform::GetPrivateProfileString("Library", "Folder", "", kConfigFile));
    if (folder.isEmpty())
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/vexlo/memos");
    if (folder == QLatin1String("~") || folder.startsWith(QLatin1String("~/")))
        folder = QDir::homePath() + folder.mid(1);
    return QDir::cleanPath(folder);
}
