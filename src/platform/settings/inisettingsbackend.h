#pragma once

#include "platform/settingsbackend.h"

#include <QMap>
#include <QString>

namespace tavirin {

class Clock;

// The settings store on disk: one file, $XDG_CONFIG_HOME/tavirin/tavirin.ini, in the INI
// dialect of QSettings (a QSettings(path, QSettings::IniFormat) reads every value back).
//
// The file is written by this class rather than by QSettings::sync(), because QSettings
// ignores a failed fsync, never syncs the directory, keeps an error status forever once set,
// caches files process-wide by path and modification time, and reads a truncated or
// non-UTF-8 file without complaint. Here every sync writes the whole map to a temporary
// file, fsyncs it, renames it over the old file and fsyncs the directory; the last line is a
// SHA-256 of everything above it, so a damaged file is always recognised at the next start.
//
// A damaged file is renamed to "tavirin.ini.corrupt-yyyyMMdd-HHmmss" beside the store and
// whatever could still be read from it is kept (see docs/STORE.md).
class IniSettingsBackend final : public SettingsBackend {
public:
    enum class LoadOutcome {
        NoFile,     // no store yet: the first start
        Loaded,     // read whole and intact
        Recovered,  // the file was damaged: set aside, what could be read was kept
        Blocked,    // damaged, not set aside: what could be read is kept, every sync fails
    };

    // The file at defaultFilePath().
    explicit IniSettingsBackend(const Clock& clock);
    // An explicit file (tests, tools). The clock dates the copy of a damaged file.
    IniSettingsBackend(QString filePath, const Clock& clock);

    // $XDG_CONFIG_HOME/tavirin/tavirin.ini as QStandardPaths resolves it.
    static QString defaultFilePath();

    QString value(const QString& app, const QString& section, const QString& key) const override;
    Result setValue(const QString& app, const QString& section, const QString& key,
                    const QString& value) override;
    Result sync() override;

    QString filePath() const { return path_; }
    LoadOutcome loadOutcome() const { return outcome_; }
    // Where a damaged file was put; empty unless loadOutcome() is Recovered.
    QString setAsidePath() const { return setAside_; }
    // Number of values held.
    int size() const;

    // The file's bytes for the given map; exposed for tests of the format.
    static QByteArray serialize(const QMap<QString, QMap<QString, QMap<QString, QString>>>& data);

private:
    using KeyMap = QMap<QString, QString>;
    using SectionMap = QMap<QString, KeyMap>;
    using AppMap = QMap<QString, SectionMap>;

    void load();
    bool parseIntact(const QByteArray& bytes, AppMap& out) const;
    void recover(const QString& why);
    int salvage(const QString& damaged);
    QString datedCopyPath() const;

    QString path_;
    const Clock& clock_;
    AppMap data_;
    bool dirty_ = false;
    LoadOutcome outcome_ = LoadOutcome::NoFile;
    QString setAside_;
};

}  // namespace tavirin
