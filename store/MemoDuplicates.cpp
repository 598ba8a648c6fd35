#include "store/MemoDuplicates.h"

#include "store/MemoContent.h"

#include <QHash>

#include <algorithm>
#include <map>

DuplicateGroups FindDuplicateMemos(const QString& folder, const MemoList& entries)
{
    // Memos that could be alike: their key is read only when another one shares its title.
    QHash<QString, std::vector<size_t>> alike;
    for (size_t i = 0; i < entries.size(); ++i) {
        const MemoEntry& e = entries[i];
        const QString key = e.titled() ? QStringLiteral("T%1\x1f%2").arg(e.title(), e.reading())
                                       : QStringLiteral("S") + QString::number(e.fileSize());
        alike[key].push_back(i);
    }
    auto older = [&entries](size_t a, size_t b) {
        const MemoEntry& x = entries[a];
        const MemoEntry& y = entries[b];
        return x.time() != y.time() ? x.time() < y.time() : x.fileNameView() < y.fileNameView();
    };
    std::vector<std::vector<size_t>> groups;
    for (const std::vector<size_t>& candidates : std::as_const(alike)) {
        if (candidates.size() < 2)
            continue;
        std::map<QByteArray, std::vector<size_t>> byContent;
        for (size_t i : candidates) {
            const QByteArray key = ReadMemoContentKey(folder + QLatin1Char('/') + entries[i].fileName());
            if (!key.isEmpty())
                byContent[key].push_back(i);
        }
        for (auto& [key, same] : byContent) {
            if (same.size() < 2)
                continue;
            std::sort(same.begin(), same.end(), older);
            groups.push_back(std::move(same));
        }
    }
    std::sort(groups.begin(), groups.end(), [&](const auto& a, const auto& b) { return older(a[0], b[0]); });
    DuplicateGroups names;
    names.reserve(groups.size());
    for (const auto& group : groups) {
        std::vector<QString>& named = names.emplace_back();
        for (size_t i : group)
            named.push_back(entries[i].fileName());
    }
    return names;
}
