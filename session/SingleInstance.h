// One VEXLO a session. The first VEXLO to start owns the name org.example.vexlo on the session
// bus (where there is no bus: a local socket in $XDG_RUNTIME_DIR); a later start hands the
// files it was given to that one, which opens them and comes to the front, and ends. A VEXLO
// run with a configuration folder of its own (XDG_CONFIG_HOME set elsewhere, as tests and
// scripts do) is a VEXLO of its own: its name carries a digest of that folder.
//
// The bus interface (org.example.vexlo.App1 at /org/example/vexlo) has one method,
// Open(as files): absolute paths, an empty list only brings the frame forward.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <memory>

class QLocalServer;

namespace session {

inline constexpr char kAppService[] = "org.example.vexlo";
inline constexpr char kAppPath[] = "/org/example/vexlo";
inline constexpr char kAppInterface[] = "org.example.vexlo.App1";

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.example.vexlo.App1")
public:
    enum class Role {
        First,   // this is the one VEXLO: OpenFiles will bring what later starts are given
        Handed,  // another VEXLO took the files; this start ends
    };

    // BUS is the session bus (a test passes a connection of its own); a bus that is not
    // connected makes the local socket SOCKETPATH (default DefaultSocketPath()) the meeting
    // place instead. SERVICE is the bus name (default ServiceFor the configuration in use).
    explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(), QString socketPath = {},
                            QString service = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Claims the name, or hands FILES (made absolute) to the VEXLO that holds it. A holder
    // that does not answer within a few seconds is taken for gone: this start becomes First
    // where it can, so a hung VEXLO never keeps the user from starting one.
    Role Start(const QStringList& files);

    // org.example.vexlo for the configuration folder of the user's desktop (~/.config), else
    // org.example.vexlo.c<digest of the folder>; the socket likewise.
    static QString ServiceFor(const QString& configFolder);
    static QString DefaultSocketPath();

public slots:
    Q_SCRIPTABLE void Open(const QStringList& files);

signals:
    void OpenFiles(const QStringList& files);

private:
    Role startOnBus(const QStringList& files);
    Role startOnSocket(const QStringList& files);
    void readClient();

    QDBusConnection bus_;
    QString socketPath_;
    QString service_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace session
