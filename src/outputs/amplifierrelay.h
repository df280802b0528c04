#pragma once

#include <QMetaObject>
#include <QString>
#include <functional>

namespace tavirin {

class Dialogs;
class FormModel;
class ProgramStore;
class SerialLines;

// How a switch-on went, for the bell journal; callers that only switch go on either way.
struct RelayOutcome {
    enum class State { On, AlreadyOn, Failed };
    State state = State::Failed;
    QString detail;  // why it failed, or the device it switched
};

// The amplifier's power relay on the RTS and DTR lines of a serial port. The relay is on
// exactly while the port is open. No operation fails towards its caller: a port that cannot
// be opened turns the indicator `Label21` red and shows the mark `Label33`, and the caller
// goes on (a bell rings even when the amplifier stays off).
//
// `currentPort` (the port number as text) is a working value of the main window, kept in
// the model under that name.
class AmplifierRelay {
public:
    AmplifierRelay(FormModel& model, ProgramStore& store, SerialLines& lines, Dialogs& dialogs);
    ~AmplifierRelay();
    AmplifierRelay(const AmplifierRelay&) = delete;
    AmplifierRelay& operator=(const AmplifierRelay&) = delete;

    // Amplifier on. `alignSelector` shows the stored port in the device panel's selector;
    // `resetAfterBellMedia` sets afterBellMedia to "0" just before the port opens (the
    // announce-now, music and radio starters want that).
    RelayOutcome switchOn(bool alignSelector, bool resetAfterBellMedia = false);
    // Amplifier off: port closed, both lines low, whatever the state before.
    void switchOff();
    // The port is open: the amplifier has power.
    bool isOn() const;
    // Selects the port of `currentPort` without opening it.
    void configure();
    // The device panel's "ทดสอบ": opens the selected port, raises RTS while a box says so.
    void testPort();
    // The device panel's save button: stores the selected port, with the device it means now,
    // and closes the panel.
    void savePort();

    QString currentPort() const;
    void setCurrentPort(const QString& port);
    // currentPort := the stored port; returns it. What start-up and the editor load do.
    QString loadCurrentPort();
    // Shows in `lbl_com_device` which device the selector's COM number means.
    void describeSelectedPort();

    // How the device panel is closed (stop its slide-in, start its slide-out).
    void setClosePanel(std::function<void()> closePanel) { closePanel_ = std::move(closePanel); }

    // The permission notice is given once per run.
    bool permissionTold() const { return permissionTold_; }

private:
    QString storedPort() const;
    void applyPortNumber(bool storedPort);
    void showNormal();
    void showFailed();
    void tellPermission();
    QString selectedComNumber() const;

    FormModel& model_;
    ProgramStore& store_;
    SerialLines& lines_;
    Dialogs& dialogs_;
    std::function<void()> closePanel_;
    QMetaObject::Connection selectorWatch_;
    bool permissionTold_ = false;
};

}  // namespace tavirin
