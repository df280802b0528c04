#pragma once

// One user's session in a temporary folder: HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR under
// it, for the real program started in this process or as a child.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

namespace tavirin {

struct UserSession {
    UserSession() { QDir().mkpath(runtime()); }

    QString home() const { return dir.path(); }
    QString config() const { return home() + QStringLiteral("/.config"); }
    QString runtime() const { return home() + QStringLiteral("/run"); }
    QString storeFile() const { return config() + QStringLiteral("/tavirin/tavirin.ini"); }
    QString lockFile() const { return runtime() + QStringLiteral("/tavirin.lock"); }

    // The environment of a program started in this session.
    void addTo(QProcessEnvironment& env) const {
        env.insert(QStringLiteral("HOME"), home());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
    }
    // This process joins the session (before anything reads the environment).
    void enter() const {
        qputenv("HOME", QFile::encodeName(home()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime()));
    }

    // Empty when the store file does not exist.
    QByteArray storeDigest() const {
        QFile f(storeFile());
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }

    QTemporaryDir dir;
};

}  // namespace tavirin
