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
// A damaged file is set aside as "tavirin.ini.corrupt-yyyyMMdd-HHmmss" and whatever could
// still be read from it is kept; the clean file is written before the damaged one leaves its
// place, so the folder never lacks a store (see docs/STORE.md).
class IniSettingsBackend final : public SettingsBackend {
public:
    enum class LoadOutcome {
        NotLoaded,  // Load::Later and load() not called yet: nothing read, nothing written
        NoFile,     // no store yet: the first start
        Loaded,     // read whole and intact
        Recovered,  // the file was damaged: set aside, what could be read was kept and saved
        Blocked,    // damaged and still in place (no clean copy could be written or it could
                    // not be set aside): what could be read is kept, every sync tries again
    };
    // The program loads the file only once it holds the single-instance lock: a copy that
    // is refused must never set aside the running copy's store.
    enum class Load { Now, Later };

    // The clock dates the copy of a damaged file.
    IniSettingsBackend(QString filePath, const Clock& clock, Load when = Load::Now);

    // $XDG_CONFIG_HOME/tavirin/tavirin.ini as QStandardPaths resolves it.
    static QString defaultFilePath();

    // Reads the file (once; later calls do nothing).
    void load();

    QString value(const QString& app, const QString& section, const QString& key) const override;
    Result setValue(const QString& app, const QString& section, const QString& key,
                    const QString& value) override;
    void restore(const QString& app, const QString& section, const QString& key,
                 const QString& previous) override;
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

    bool parseIntact(const QByteArray& bytes, AppMap& out) const;
    void recover(const QString& why);
    int salvage(const QString& damaged);
    Result writeFile();

    QString path_;
    const Clock& clock_;
    AppMap data_;
    bool dirty_ = false;
    bool damagedInPlace_ = false;  // the next write sets the damaged file aside
    LoadOutcome outcome_ = LoadOutcome::NotLoaded;
    QString setAside_;
};

}  // namespace tavirin
