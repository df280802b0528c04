#include "platform/settings/inisettingsbackend.h"

#include "platform/clock.h"
#include "platform/logging.h"
#include "platform/setaside.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace tavirin {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr QByteArrayView kHeader =
    "; Tavirin settings store. The program rewrites this file whole at every save and the last\n"
    "; line is a checksum of the rest: a file changed by hand is set aside as damaged at the\n"
    "; next start (its values are taken over). Edit it only while the program is not running.\n";
constexpr QByteArrayView kTrailerPrefix = "; sha256 ";

QString errnoText(int e) {
    return QString::fromLocal8Bit(std::strerror(e));
}

bool isHexDigit(char16_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void appendHexByte(QByteArray& out, unsigned v) {
    out += kHex[(v >> 4) & 0xF];
    out += kHex[v & 0xF];
}

// Names as QSettings escapes keys: letters, digits, '_', '-', '.' as they are, the rest as %XX
// or %UXXXX. "general" would name QSettings' own top-level section, so its first letter is
// escaped too.
void appendName(QByteArray& out, const QString& name) {
    const bool general = name.compare(u"general", Qt::CaseInsensitive) == 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
        if (plain && !(general && i == 0)) {
            out += char(c);
        } else if (c <= 0xFF) {
            out += '%';
            appendHexByte(out, c);
        } else {
            out += "%U";
            appendHexByte(out, c >> 8);
            appendHexByte(out, c & 0xFF);
        }
    }
}

// A value as one quoted QSettings string: always quoted, so commas, semicolons, '=', '#' and
// blanks at either end are plain text; a leading '@' doubled, as QSettings expects; control
// characters escaped (a hex escape runs on over hex digits, so a hex digit right after one is
// escaped too); everything else, Thai included, as UTF-8.
void appendValue(QByteArray& out, const QString& v) {
    out += '"';
    if (v.startsWith(u'@')) out += '@';
    bool escapeNextIfHex = false;
    for (qsizetype i = 0; i < v.size(); ++i) {
        const char16_t c = v.at(i).unicode();
        if (escapeNextIfHex && isHexDigit(c)) {
            out += "\\x";
            appendHexByte(out, c);
            continue;
        }
        escapeNextIfHex = false;
        if (c == '\\' || c == '"') {
            out += '\\';
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            appendHexByte(out, c);
            escapeNextIfHex = true;
        } else if (c < 0x80) {
            out += char(c);
        } else {
            // A run of non-ASCII text in one go keeps surrogate pairs together.
            qsizetype j = i;
            while (j < v.size() && v.at(j).unicode() >= 0x80) ++j;
            out += QStringView(v).sliced(i, j - i).toUtf8();
            i = j - 1;
        }
    }
    out += '"';
}

bool decodeUtf8(QByteArrayView bytes, QString& out) {
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    out += dec.decode(bytes);
    return !dec.hasError();
}

bool parseName(QByteArrayView raw, QString& out) {
    out.clear();
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw.at(i);
        if (c != '%') {
            if (uchar(c) >= 0x80) return false;
            out += QChar(c);
            continue;
        }
        int digits = 2;
        qsizetype first = i + 1;
        if (first < raw.size() && raw.at(first) == 'U') {
            digits = 4;
            ++first;
        }
        if (first + digits > raw.size()) return false;
        bool ok = false;
        const ushort code = raw.sliced(first, digits).toByteArray().toUShort(&ok, 16);
        if (!ok) return false;
        out += QChar(code);
        i = first + digits - 1;
    }
    return !out.isEmpty();
}

// The strict reverse of appendValue().
bool parseValue(QByteArrayView raw, QString& out) {
    out.clear();
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return false;
    raw = raw.sliced(1, raw.size() - 2);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw.at(i);
        if (c == '"') return false;
        if (c != '\\') continue;
        if (!decodeUtf8(raw.sliced(runStart, i - runStart), out)) return false;
        if (++i >= raw.size()) return false;
        switch (raw.at(i)) {
            case '\\':
                out += u'\\';
                break;
            case '"':
                out += u'"';
                break;
            case 'n':
                out += u'\n';
                break;
            case 'r':
                out += u'\r';
                break;
            case 't':
                out += u'\t';
                break;
            case 'x': {
                uint code = 0;
                qsizetype j = i + 1;
                while (j < raw.size() && isHexDigit(uchar(raw.at(j)))) {
                    const char h = raw.at(j);
                    code = (code << 4) | uint(h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                    ++j;
                }
                if (j == i + 1 || code > 0xFFFF) return false;
                out += QChar(char16_t(code));
                i = j - 1;
                break;
            }
            default:
                return false;
        }
        runStart = i + 1;
    }
    if (!decodeUtf8(raw.sliced(runStart), out)) return false;
    if (out.startsWith(u"@@")) out.remove(0, 1);
    return true;
}

bool fsyncDirectory(const QString& dir, QString& error) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errnoText(errno);
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    if (!ok) error = errnoText(errno);
    ::close(fd);
    return ok;
}

// The file a write replaces. Links are followed as QSaveFile follows them, so a store that is
// a link stays one and the file it points to is replaced in its own folder.
struct Target {
    QString path;
    bool regular = false;  // an existing regular file (a damaged one is hard-linked aside)
    mode_t mode = S_IRUSR | S_IWUSR;
};

Target replaceTarget(const QString& store) {
    QFileInfo info(store);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth) info.setFile(info.symLinkTarget());
    struct stat st {};
    if (!info.isSymLink() && ::stat(QFile::encodeName(info.filePath()).constData(), &st) == 0 &&
        S_ISREG(st.st_mode)) {
        // Keep the mode the file has, but never one its user cannot read back.
        return {info.absoluteFilePath(), true, mode_t((st.st_mode & 0777) | S_IRUSR | S_IWUSR)};
    }
    return {store};
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

}  // namespace

IniSettingsBackend::IniSettingsBackend(QString filePath, const Clock& clock, Load when)
    : path_(std::move(filePath)), clock_(clock) {
    if (when == Load::Now) load();
}

QString IniSettingsBackend::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tavirin/tavirin.ini");
}

QString IniSettingsBackend::value(const QString& app, const QString& section,
                                  const QString& key) const {
    const auto a = data_.constFind(app);
    if (a == data_.cend()) return {};
    const auto s = a->constFind(section);
    if (s == a->cend()) return {};
    return s->value(key);
}

Result IniSettingsBackend::setValue(const QString& app, const QString& section, const QString& key,
                                    const QString& value) {
    if (outcome_ == LoadOutcome::NotLoaded)
        return Result::failure(QStringLiteral("the settings file is not loaded yet"));
    for (const QString* name : {&app, &section, &key}) {
        if (name->isEmpty() || name->contains(u'/') || name->contains(u'\\'))
            return Result::failure(QStringLiteral("invalid settings name \"%1\"").arg(*name));
    }
    QString& slot = data_[app][section][key];
    // A stored empty value must stay distinguishable from an absent one: never null.
    const QString stored = value.isNull() ? QStringLiteral("") : value;
    if (slot.isNull() || slot != stored) {
        slot = stored;
        dirty_ = true;
    }
    return Result::success();
}

void IniSettingsBackend::restore(const QString& app, const QString& section, const QString& key,
                                 const QString& previous) {
    if (!previous.isNull()) {
        QString& slot = data_[app][section][key];
        if (slot.isNull() || slot != previous) {
            slot = previous;
            dirty_ = true;
        }
        return;
    }
    const auto a = data_.find(app);
    if (a == data_.end()) return;
    const auto s = a->find(section);
    if (s == a->end() || !s->remove(key)) return;
    dirty_ = true;
    if (s->isEmpty()) a->erase(s);
    if (a->isEmpty()) data_.erase(a);
}

int IniSettingsBackend::size() const {
    int n = 0;
    for (const SectionMap& sections : data_)
        for (const KeyMap& keys : sections) n += int(keys.size());
    return n;
}

QByteArray IniSettingsBackend::serialize(const AppMap& data) {
    QByteArray out;
    out.reserve(64 * 1024);
    out += kHeader;
    for (auto a = data.cbegin(); a != data.cend(); ++a) {
        out += "\n[";
        appendName(out, a.key());
        out += "]\n";
        for (auto s = a->cbegin(); s != a->cend(); ++s) {
            for (auto k = s->cbegin(); k != s->cend(); ++k) {
                appendName(out, s.key());
                out += '\\';
                appendName(out, k.key());
                out += '=';
                appendValue(out, k.value());
                out += '\n';
            }
        }
    }
    const QByteArray sum = QCryptographicHash::hash(out, QCryptographicHash::Sha256).toHex();
    out += kTrailerPrefix;
    out += sum;
    out += '\n';
    return out;
}

Result IniSettingsBackend::sync() {
    if (outcome_ == LoadOutcome::NotLoaded)
        return Result::failure(QStringLiteral("the settings file is not loaded yet"));
    if (!dirty_ && !damagedInPlace_) return Result::success();
    return writeFile();
}

// The whole map into a new file beside the one it replaces, flushed, then renamed over it,
// then the folder flushed: after a crash the store is the old file or the new one. A damaged
// file is set aside only once its clean successor is on disk, and by a second name (a hard
// link) while it still stands in place, so the folder never lacks a store.
Result IniSettingsBackend::writeFile() {
    const Target target = replaceTarget(path_);
    const QString dir = QFileInfo(target.path).absolutePath();
    if (!QDir().mkpath(dir))
        return Result::failure(QStringLiteral("cannot create the folder %1").arg(dir));

    const QByteArray finalName = QFile::encodeName(target.path);
    QByteArray tmp = finalName + ".XXXXXX";
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0)
        return Result::failure(QStringLiteral("cannot write %1: %2").arg(path_, errnoText(errno)));
    const auto discard = [&](const QString& why) {
        ::unlink(tmp.constData());
        return Result::failure(why);
    };
    const QByteArray bytes = serialize(data_);
    const bool written = ::fchmod(fd, target.mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    if (::close(fd) != 0 && written)
        return discard(QStringLiteral("cannot write %1: %2").arg(path_, errnoText(errno)));
    if (!written)
        return discard(QStringLiteral("cannot write %1: %2").arg(path_, errnoText(writeErrno)));

    QString copy;
    bool linked = false;
    if (damagedInPlace_) {
        const QString damaged = target.regular ? target.path : path_;
        copy = damagedCopyPath(damaged, clock_.now());
        const QByteArray from = QFile::encodeName(damaged);
        const QByteArray to = QFile::encodeName(copy);
        // A folder, a broken link or a file system without hard links is moved instead.
        linked = target.regular && ::link(from.constData(), to.constData()) == 0;
        if (!linked && ::rename(from.constData(), to.constData()) != 0) {
            return discard(QStringLiteral("the damaged settings file %1 cannot be set aside "
                                          "(%2); it is not written over")
                               .arg(damaged, errnoText(errno)));
        }
    }
    if (::rename(tmp.constData(), finalName.constData()) != 0) {
        const QString why = errnoText(errno);
        if (linked)
            ::unlink(QFile::encodeName(copy).constData());
        else if (!copy.isEmpty())
            ::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path_).constData());
        return discard(QStringLiteral("cannot replace %1: %2").arg(path_, why));
    }
    if (damagedInPlace_) {
        damagedInPlace_ = false;
        setAside_ = copy;
        outcome_ = LoadOutcome::Recovered;
    }
    // The rename is durable only once the folder it happened in is on disk.
    QString why;
    if (!fsyncDirectory(dir, why))
        return Result::failure(QStringLiteral("cannot flush the folder %1: %2").arg(dir, why));
    dirty_ = false;
    return Result::success();
}

void IniSettingsBackend::load() {
    if (outcome_ != LoadOutcome::NotLoaded) return;
    const QByteArray native = QFile::encodeName(path_);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0) {
        const int e = errno;
        if (e != ENOENT) {
            qCWarning(lcStore).noquote()
                << "settings file" << path_ << "cannot be examined:" << errnoText(e);
        }
        outcome_ = LoadOutcome::NoFile;
        return;
    }
    // Follow a symbolic link; a dangling or looping one is a file that cannot be read.
    if (::stat(native.constData(), &st) != 0) {
        recover(QStringLiteral("cannot be read (%1)").arg(errnoText(errno)));
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        recover(QStringLiteral("is a folder, not a file"));
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        recover(QStringLiteral("is not a regular file"));
        return;
    }
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        recover(QStringLiteral("cannot be read (%1)").arg(file.errorString()));
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        recover(QStringLiteral("cannot be read (%1)").arg(file.errorString()));
        return;
    }
    AppMap parsed;
    if (!parseIntact(bytes, parsed)) {
        QString detail;
        QString ignored;
        if (bytes.isEmpty())
            detail = QStringLiteral("is empty");
        else if (!decodeUtf8(bytes, ignored))
            detail = QStringLiteral("is damaged (not UTF-8 text)");
        else
            detail = QStringLiteral("is damaged or incomplete (checksum does not match)");
        recover(detail);
        return;
    }
    data_ = std::move(parsed);
    outcome_ = LoadOutcome::Loaded;
}

bool IniSettingsBackend::parseIntact(const QByteArray& bytes, AppMap& out) const {
    if (bytes.size() < 2 || !bytes.endsWith('\n')) return false;
    const qsizetype lastLineStart = bytes.lastIndexOf('\n', bytes.size() - 2) + 1;
    const QByteArrayView content = QByteArrayView(bytes).first(lastLineStart);
    const QByteArrayView trailer =
        QByteArrayView(bytes).sliced(lastLineStart, bytes.size() - 1 - lastLineStart);
    if (!trailer.startsWith(kTrailerPrefix)) return false;
    const QByteArray expected =
        QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();
    if (trailer.sliced(kTrailerPrefix.size()) != expected) return false;

    QString app;
    QString section;
    QString key;
    QString value;
    qsizetype pos = 0;
    while (pos < content.size()) {
        qsizetype end = content.indexOf('\n', pos);
        if (end < 0) end = content.size();
        const QByteArrayView line = content.sliced(pos, end - pos);
        pos = end + 1;
        if (line.isEmpty() || line.startsWith(';')) continue;
        if (line.startsWith('[')) {
            if (!line.endsWith(']') || !parseName(line.sliced(1, line.size() - 2), app))
                return false;
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        const qsizetype slash = line.indexOf('\\');
        if (app.isEmpty() || eq < 0 || slash < 0 || slash > eq) return false;
        if (!parseName(line.first(slash), section) ||
            !parseName(line.sliced(slash + 1, eq - slash - 1), key) ||
            !parseValue(line.sliced(eq + 1), value))
            return false;
        out[app][section][key] = value.isNull() ? QStringLiteral("") : value;
    }
    return true;
}

void IniSettingsBackend::recover(const QString& why) {
    const int n = salvage(path_);
    damagedInPlace_ = true;
    dirty_ = true;  // the recovered values make the clean file
    if (const Result r = writeFile(); !r) {
        outcome_ = LoadOutcome::Blocked;
        qCWarning(lcStore).noquote()
            << "settings file" << path_ << why << "- it stays in place, as no clean copy can be "
            << "saved yet (" + r.error + "); running on the" << n
            << "values read from it, every save tries again";
        return;
    }
    qCWarning(lcStore).noquote() << "settings file" << path_ << why << "- kept as" << setAside_
                                 << "- recovered" << n << "values from it";
}

int IniSettingsBackend::salvage(const QString& damaged) {
    QFileInfo info(damaged);
    QFile file(damaged);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) return 0;
    const QByteArray bytes = file.readAll();

    // Only whole lines of valid text: a line cut short by truncation, or bytes that are not
    // UTF-8, would otherwise come back as a wrong value.
    QByteArray clean;
    qsizetype pos = 0;
    while (true) {
        const qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0) break;
        const QByteArrayView line = QByteArrayView(bytes).sliced(pos, end + 1 - pos);
        QString ignored;
        if (decodeUtf8(line, ignored)) clean += line;
        pos = end + 1;
    }

    // QSettings reads whatever INI it is given, including a file edited by hand. A private
    // copy, because QSettings caches files by name.
    QTemporaryFile tmp(QDir::tempPath() + QStringLiteral("/tavirin-salvage-XXXXXX.ini"));
    if (!tmp.open() || tmp.write(clean) != clean.size() || !tmp.flush()) return 0;
    tmp.close();

    int n = 0;
    QSettings settings(tmp.fileName(), QSettings::IniFormat);
    const QStringList keys = settings.allKeys();
    for (const QString& full : keys) {
        const QStringList parts = full.split(u'/');
        if (parts.size() != 3 || parts[0].isEmpty() || parts[1].isEmpty() || parts[2].isEmpty())
            continue;
        const QVariant v = settings.value(full);
        const QString text = v.typeId() == QMetaType::QStringList
                                 ? v.toStringList().join(QStringLiteral(", "))
                                 : v.toString();
        if (text.contains(QChar::ReplacementCharacter)) continue;
        data_[parts[0].toLower()][parts[1].toLower()][parts[2].toLower()] =
            text.isNull() ? QStringLiteral("") : text;
        ++n;
    }
    return n;
}

}  // namespace tavirin
