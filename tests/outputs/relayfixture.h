#pragma once

#include "fakewaiter.h"
#include "model/form1layout.h"
#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "platform/dialogs.h"
#include "platform/fake/fakeseriallines.h"
#include "platform/fake/memorysettingsbackend.h"
#include "store/programstore.h"

#include <QList>

namespace tavirin {

// Records every box, and what the relay's lines were doing while it was up (a modal box
// holds the caller until OK, so "while it was up" is the moment of the call).
class WatchingDialogs final : public Dialogs {
public:
    explicit WatchingDialogs(const FakeSerialLines& lines) : lines_(lines) {}
    struct Shown {
        QString kind;
        Icon icon;
        QString title;
        QString text;
        bool portOpen;
        bool rts;
        bool dtr;
    };
    void message(Icon icon, const QString& title, const QString& text) override {
        shown.append({QStringLiteral("message"), icon, title, text, lines_.isOpen(), lines_.rts(),
                      lines_.dtr()});
    }
    bool askYesNo(const QString&, const QString&) override { return true; }
    bool askYesNoDefaultNo(const QString&, const QString&) override { return false; }
    Answer askYesNoCancel(const QString&, const QString&) override { return Answer::Cancel; }
    QString openFile(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&) override { return {}; }
    void notice(const QString& title, const QString& text) override {
        shown.append({QStringLiteral("notice"), Icon::None, title, text, lines_.isOpen(),
                      lines_.rts(), lines_.dtr()});
    }
    int count(const QString& kind) const {
        int n = 0;
        for (const auto& s : shown) n += s.kind == kind;
        return n;
    }
    QList<Shown> shown;

private:
    const FakeSerialLines& lines_;
};

inline const QString kBaseApp = QStringLiteral("vorle_programming5_7day");
inline constexpr Rgb kBlue{0, 0, 192};
inline constexpr Rgb kRed{255, 0, 0};

// The main window's controls, a store in memory, a fake port and the relay over them.
struct RelayFixture {
    RelayFixture() { buildForm1(model); }

    void storePort(const QString& port) {
        // First-run seeding spells the section this way; the relay reads "com_port".
        store.SaveSetting(kBaseApp, QStringLiteral("Com_port"), QStringLiteral("com_port"), port);
    }
    QString stored() const {
        return store.GetSetting(kBaseApp, QStringLiteral("com_port"), QStringLiteral("com_port"));
    }
    bool failedShown() const {
        return model.background(QStringLiteral("Label21")) == kRed &&
               model.visible(QStringLiteral("Label33"));
    }
    bool normalShown() const {
        return model.background(QStringLiteral("Label21")) == kBlue &&
               !model.visible(QStringLiteral("Label33"));
    }

    FormModel model;
    MemorySettingsBackend backend;
    ProgramStore store{backend};
    FakeSerialLines lines;
    WatchingDialogs dialogs{lines};
    AmplifierRelay relay{model, store, lines, dialogs};
};

}  // namespace tavirin
