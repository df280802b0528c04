#include "store/soundlibrary.h"

#include "platform/logging.h"

#include <QDir>
#include <QStringList>

namespace tavirin {

namespace {

const QStringList& libraryFolders() {
    static const QStringList folders = {QStringLiteral("title"), QStringLiteral("time"),
                                        QStringLiteral("other"), QStringLiteral("sys"),
                                        QStringLiteral("bg"),    QStringLiteral("alarm")};
    return folders;
}

// A kind names a file of the alarm folder, never a path out of it.
bool plainKind(const QString& kind) {
    if (kind.isEmpty() || kind.startsWith(u'.') || kind.contains(u'/') || kind.contains(QChar(0))) {
        qCWarning(lcStore).noquote()
            << "no alarm sound file for the kind" << kind << ": not a plain name";
        return false;
    }
    return true;
}

}  // namespace

SoundLibrary::SoundLibrary(QString root) : root_(QDir::cleanPath(root)) {}

QString SoundLibrary::defaultRoot() {
    return QDir::homePath() + QStringLiteral("/rivedezode");
}

QString SoundLibrary::titleFolder() const {
    return root_ + QStringLiteral("/title");
}
QString SoundLibrary::frontChimeFile() const {
    return titleFolder() + QStringLiteral("/ติ๊งหน่องหน้า.wav");
}
QString SoundLibrary::backChimeFile() const {
    return titleFolder() + QStringLiteral("/ติ๊งหน่องหลัง.wav");
}
QString SoundLibrary::voicesFolder() const {
    return root_ + QStringLiteral("/time");
}
QString SoundLibrary::voiceFolder(const QString& voice) const {
    return voicesFolder() + u'/' + voice;
}
QString SoundLibrary::standardVoiceFolder() const {
    return voiceFolder(QStringLiteral("standard"));
}
QString SoundLibrary::otherFolder() const {
    return root_ + QStringLiteral("/other");
}
QString SoundLibrary::systemSound() const {
    return root_ + QStringLiteral("/sys/0.wav");
}
QString SoundLibrary::backgroundPicture() const {
    return root_ + QStringLiteral("/bg/bg.jpg");
}
QString SoundLibrary::alarmFolder() const {
    return root_ + QStringLiteral("/alarm");
}
QString SoundLibrary::alarmToneFile(const QString& kind) const {
    return plainKind(kind) ? alarmFolder() + u'/' + kind + QStringLiteral("-tone.wav") : QString();
}
QString SoundLibrary::alarmVoiceFile(const QString& kind) const {
    return plainKind(kind) ? alarmFolder() + u'/' + kind + QStringLiteral("-voice.wav") : QString();
}
QString SoundLibrary::allClearVoiceFile() const {
    return alarmFolder() + QStringLiteral("/allclear-voice.wav");
}

QString SoundLibrary::displayName(const QString& path) const {
    if (path.isEmpty()) return {};
    const QString clean = QDir::cleanPath(path);
    const QString prefix = root_ == u"/" ? root_ : root_ + u'/';
    if (clean.startsWith(prefix)) {
        const QStringList below = clean.mid(prefix.size()).split(u'/', Qt::SkipEmptyParts);
        if (!below.isEmpty() && libraryFolders().contains(below.first()))
            return below.size() >= 2 ? below.at(1) : QString();
    }
    const qsizetype slash = clean.lastIndexOf(u'/');
    if (slash < 0) return {};  // a bare name: no folder
    return clean.mid(slash + 1);
}

}  // namespace tavirin
