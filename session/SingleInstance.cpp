#include "session/SingleInstance.h"

#include <QCryptographicHash>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace session {

namespace {

constexpr int kAnswerMs = 5000;

QStringList Absolute(const QStringList& files)
{
    QStringList paths;
    for (const QString& file : files)
        paths << QFileInfo(file).absoluteFilePath();
    return paths;
}

}  // namespace

namespace {

QString ConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

}  // namespace

SingleInstance::SingleInstance(QDBusConnection bus, QString socketPath, QString service, QObject* parent)
    : QObject(parent),
      bus_(std::move(bus)),
      socketPath_(socketPath.isEmpty() ? DefaultSocketPath() : socketPath),
      service_(service.isEmpty() ? ServiceFor(ConfigFolder()) : service)
{
}

QString SingleInstance::ServiceFor(const QString& configFolder)
{
    const QString folder = QDir::cleanPath(QFileInfo(configFolder).absoluteFilePath());
    if (folder == QDir::cleanPath(QDir::homePath() + QStringLiteral("/.config")))
        return QString::fromLatin1(kAppService);
    const QByteArray digest = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return QString::fromLatin1(kAppService) + QStringLiteral(".c") + QString::fromLatin1(digest);
}

SingleInstance::~SingleInstance()
{
    if (server_)
        server_->close();  // removes the socket file
    else if (bus_.isConnected())
        bus_.unregisterService(service_);
}

QString SingleInstance::DefaultSocketPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/vexlo-%1").arg(getuid());
    const QString name = ServiceFor(ConfigFolder()).mid(int(qstrlen(kAppService)));  // "" or ".c<digest>"
    return folder + QStringLiteral("/vexlo%1.socket").arg(name);
}

SingleInstance::Role SingleInstance::Start(const QStringList& files)
{
    return bus_.isConnected() ? startOnBus(Absolute(files)) : startOnSocket(Absolute(files));
}

SingleInstance::Role SingleInstance::startOnBus(const QStringList& files)
{
    // The object first, so that the name never points at nothing.
    bus_.registerObject(kAppPath, this, QDBusConnection::ExportScriptableSlots);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto claimed = bus_.interface()->registerService(service_, QDBusConnectionInterface::DontQueueService,
                                                               QDBusConnectionInterface::DontAllowReplacement);
        if (claimed.isValid() && claimed.value() == QDBusConnectionInterface::ServiceRegistered)
            return Role::First;
        QDBusMessage open = QDBusMessage::createMethodCall(service_, kAppPath, kAppInterface, QStringLiteral("Open"));
        open << files;
        const QDBusMessage answer = bus_.call(open, QDBus::Block, kAnswerMs);
        if (answer.type() == QDBusMessage::ReplyMessage)
            return Role::Handed;
        // The holder ended between the two calls, or hangs: try once more, then go on alone.
    }
    bus_.unregisterObject(kAppPath);
    return Role::First;
}

SingleInstance::Role SingleInstance::startOnSocket(const QStringList& files)
{
    QDir().mkpath(QFileInfo(socketPath_).path());
    QLocalSocket client;
    client.connectToServer(socketPath_);
    if (client.waitForConnected(kAnswerMs)) {
        client.write(files.join(QLatin1Char('\n')).toUtf8() + "\n\n");
        // The holder answers with one byte once it has the list.
        if (client.waitForBytesWritten(kAnswerMs) && client.waitForReadyRead(kAnswerMs))
            return Role::Handed;
    }
    // Nobody answers: a socket file that a VEXLO killed left behind goes.
    QLocalServer::removeServer(socketPath_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socketPath_)) {
        server_.reset();
        return Role::First;  // no meeting place: this VEXLO runs on its own
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::readClient);
    return Role::First;
}

void SingleInstance::readClient()
{
    while (QLocalSocket* client = server_->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            // The list ends with an empty line; it may come in pieces.
            QByteArray text = client->property("vexloText").toByteArray() + client->readAll();
            if (text.size() > (1 << 20)) {
                client->abort();  // not a VEXLO
                return;
            }
            client->setProperty("vexloText", text);
            if (!text.endsWith("\n\n"))
                return;
            client->write("1");
            client->flush();
            const QStringList files = QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            Open(files);
        });
    }
}

void SingleInstance::Open(const QStringList& files)
{
    emit OpenFiles(files);
}

}  // namespace session
