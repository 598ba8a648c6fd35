// What qm10-sim receive stored: DIR/001.bmp and DIR/001.json, ...
#pragma once

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>

struct DeviceMemo {
    QImage image;
    QJsonObject info;  // title, reading, width, height, titleCodes, readingBytes
};

inline QList<DeviceMemo> StoredMemos(const QString& dir)
{
    QList<DeviceMemo> memos;
    for (const QString& name : QDir(dir).entryList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name)) {
        DeviceMemo m;
        m.image = QImage(dir + QLatin1Char('/') + name);
        QFile json(dir + QLatin1Char('/') + name.chopped(4) + QStringLiteral(".json"));
        json.open(QIODevice::ReadOnly);
        m.info = QJsonDocument::fromJson(json.readAll()).object();
        memos << m;
    }
    return memos;
}
