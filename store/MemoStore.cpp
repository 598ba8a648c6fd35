#include "store/MemoStore.h"

#include "platform/PrivateProfile.h"
#include "store/SyncedFolder.h"
#include "transfer/DeviceText.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <unistd.h>

TLibrarySettings LibrarySettings;

TLibrarySettings ReadLibrarySettings(const std::string& file)
{
    TLibrarySettings settings;
    settings.Folder = QString::fromStdString(platform::GetPrivateProfileString("Library", "Folder", "", file));
    settings.AutoSave = ReadConfigSwitch("Library", "AutoSave", "TRUE", file);
    const QString order = QString::fromStdString(platform::GetPrivateProfileString("Library", "Order", "", file));
    for (const QString& known : kLibraryOrders)
        if (order.compare(known, Qt::CaseInsensitive) == 0)
            settings.Order = known;
    const QString synced =
        QString::fromStdString(platform::GetPrivateProfileString("Library", "Synced", "AUTO", file)).trimmed();
    settings.Synced = synced.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0    ? SyncedSetting::Yes
                      : synced.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0 ? SyncedSetting::No
                                                                                          : SyncedSetting::Auto;
    return settings;
}

std::optional<std::string> StoreLibrarySettings(const TLibrarySettings& settings, const std::string& file)
{
    platform::FileWriteError why;
    if (!settings.Folder.isEmpty() &&
        !platform::WritePrivateProfileString("Library", "Folder", settings.Folder.toStdString(), file, &why))
        return file + " に書き込めません\n" + why.text().toStdString();
    if (!platform::WritePrivateProfileString("Library", "AutoSave", settings.AutoSave ? "TRUE" : "FALSE", file, &why))
        return file + " に書き込めません\n" + why.text().toStdString();
    if (!platform::WritePrivateProfileString("Library", "Order", settings.Order.toStdString(), file, &why))
        return file + " に書き込めません\n" + why.text().toStdString();
    if (settings.Synced != SyncedSetting::Auto &&
        !platform::WritePrivateProfileString("Library", "Synced", settings.Synced == SyncedSetting::Yes ? "TRUE" : "FALSE",
                                             file, &why))
        return file + " に書き込めません\n" + why.text().toStdString();
    return std::nullopt;
}

QString DefaultLibraryFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/vexlo/memos");
}

QString LibraryFolder(const TLibrarySettings& settings)
{
    const QString folder = settings.Folder.trimmed();
    if (folder.isEmpty())
        return DefaultLibraryFolder();
    if (folder == QLatin1String("~") || folder.startsWith(QLatin1String("~/")))
        return QDir::homePath() + folder.mid(1);
    return folder;
}

TMemoMeta MemoMetaOf(const TReceivedMemo& memo, const QDateTime& arrived)
{
    TMemoMeta meta;
    meta.Carried = true;
    meta.Title = DeviceCodesToText(memo.TitleCodes);
    meta.Reading = ReadingBytesToText(memo.ReadingBytes);
    meta.TitleCodes = QByteArray::fromStdString(memo.TitleCodes);
    meta.ReadingCodes = QByteArray::fromStdString(memo.ReadingBytes);
    meta.Arrived = arrived;
    meta.Software = SoftwareName();
    return meta;
}

TMemoStore::TMemoStore(QString folder, SyncedSetting synced)
    : folder_(std::move(folder)), setting_(synced), syncedCheck_(folder_)
{
}

std::optional<platform::FileWriteError> TMemoStore::Open()
{
    if (auto failure = platform::MakeFolders(folder_))
        return failure;
    // Found out now, before the device has handed anything over.
    if (::access(QFile::encodeName(folder_).constData(), W_OK | X_OK) != 0) {
        platform::FileWriteError failure;
        failure.error = errno;
        return failure;
    }
    platform::RemoveAbandonedFiles(folder_);
    synced_ = setting_ == SyncedSetting::Yes || (setting_ == SyncedSetting::Auto && syncedCheck_.IsSynced());
    return std::nullopt;
}

std::optional<platform::FileWriteError> TMemoStore::Store(const QImage& picture, const TMemoMeta& meta, QString* path)
{
    const QByteArray bytes = EncodeMemoPng(picture, meta);
    if (bytes.isEmpty()) {
        platform::FileWriteError failure;
        failure.error = ENOMEM;  // the only way a picture we drew fails to encode
        return failure;
    }
    const QDateTime arrived = meta.Arrived.isValid() ? meta.Arrived : QDateTime::currentDateTime();
    // Asked again for every memo: a receiver runs for days, and a sync tool may be set up
    // meanwhile. The folders are looked through again only when they have changed.
    if (setting_ == SyncedSetting::Auto)
        synced_ = syncedCheck_.IsSynced();
    const QString machine = !synced_ ? QString() : machine_.isEmpty() ? MachinePart() : machine_;
    const auto name = [&](int n) { return MemoFileName(arrived, meta.Title, n, QStringLiteral(".png"), machine); };
    if (auto failure = platform::WriteNewFile(folder_, name, 1, bytes, path))
        return failure;
    if (setting_ == SyncedSetting::Auto)
        syncedCheck_.Changed();  // the new memo: no reason to look for marks again
    ++stored_;
    return std::nullopt;
}

QString StoreFailureText(const QString& folder, const platform::FileWriteError& failure, int storedBefore)
{
    QString text = QStringLiteral("受信したメモを保存できないため、受信を中止しました。\n"
                                  "保存先: %1\n理由: %2\n"
                                  "このメモは QM-10 に残っています。")
                       .arg(QDir::toNativeSeparators(folder), failure.text());
    if (storedBefore > 0)
        text += QStringLiteral("それまでに受信した %1 件のメモは保存されています。").arg(storedBefore);
    return text;
}

QString FolderFailureText(const QString& folder, const platform::FileWriteError& failure)
{
    return QStringLiteral("受信したメモの保存先 %1 を使えません。\n理由: %2\n"
                          "受信を始めませんでした。メモは QM-10 に残っています。"
                          "保存先は 設定 の「保存」で変えられます。")
        .arg(QDir::toNativeSeparators(folder), failure.text());
}
