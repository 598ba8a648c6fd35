// A fresh, empty XDG_CONFIG_HOME for one test, removed afterwards.
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
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
    }
    ~TempConfigHome()
    {
        if (hadSaved_)
            qputenv("XDG_CONFIG_HOME", saved_);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }

    QString path() const { return dir_.path(); }
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
};
