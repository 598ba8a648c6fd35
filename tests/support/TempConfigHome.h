// A fresh, empty XDG_CONFIG_HOME for one test, removed afterwards; XDG_DATA_HOME (where the
// memo library lives by default) in it too, so that no test writes into the user's own.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>

class TempConfigHome {
public:
    TempConfigHome()
    {
        saved_ = qgetenv("XDG_CONFIG_HOME");
        hadSaved_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        savedData_ = qgetenv("XDG_DATA_HOME");
        hadSavedData_ = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
        qputenv("XDG_DATA_HOME", dataPath().toUtf8());
    }
    ~TempConfigHome()
    {
        if (hadSaved_)
            qputenv("XDG_CONFIG_HOME", saved_);
        else
            qunsetenv("XDG_CONFIG_HOME");
        if (hadSavedData_)
            qputenv("XDG_DATA_HOME", savedData_);
        else
            qunsetenv("XDG_DATA_HOME");
    }

    QString path() const { return dir_.path(); }
    QString dataPath() const { return dir_.path() + QStringLiteral("/data"); }
    // The default library folder under this home.
    QString libraryPath() const { return dataPath() + QStringLiteral("/vexlo/memos"); }
    QString iniPath() const { return dir_.path() + QStringLiteral("/VEXLO.INI"); }

    void write(const QByteArray& text) const
    {
        QFile f(iniPath());
        f.open(QIODevice::WriteOnly);
        f.write(text);
    }
    QByteArray read() const
    {
        QFile f(iniPath());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

private:
    QTemporaryDir dir_;
    QByteArray saved_;
    bool hadSaved_ = false;
    QByteArray savedData_;
    bool hadSavedData_ = false;
};
