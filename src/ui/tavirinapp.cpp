#include "ui/tavirinapp.h"

#include "calendar/dayrules.h"
#include "core/bellcore.h"
#include "core/emergency.h"
#include "dbus/bellsbus.h"
#include "journal/sqlitejournal.h"
#include "model/controlnames.h"
#include "model/form1layout.h"
#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "outputs/autoshutdown.h"
#include "outputs/mediasources.h"
#include "outputs/soundlibraryinstall.h"
#include "outputs/soundplayer.h"
#include "outputs/waiter.h"
#include "platform/audio/gstalarmplayer.h"
#include "platform/audio/gstaudiooutput.h"
#include "platform/audio/gstaudioprobe.h"
#include "platform/clock.h"
#include "platform/gui/qttrayicon.h"
#include "platform/gui/widgetdialogs.h"
#include "platform/lock/fileinstancelock.h"
#include "platform/logging.h"
#include "platform/power/systemctlpower.h"
#include "platform/process/systemprocesses.h"
#include "platform/radio/gstradioplayer.h"
#include "platform/serial/qtseriallines.h"
#include "platform/serial/tiocmiwaitcontact.h"
#include "platform/settings/inisettingsbackend.h"
#include "platform/storage/storagefolderprobe.h"
#include "platform/time/timedatedclocksync.h"
#include "platform/time/timerfdalarm.h"
#include "scheduler/arming.h"
#include "scheduler/bellscheduler.h"
#include "scheduler/bellsequence.h"
#include "scheduler/talkingclock.h"
#include "status/dayreport.h"
#include "status/daystatus.h"
#include "status/selftest.h"
#include "web/webpage.h"
#include "alerts/alerter.h"
#include "alerts/alertsender.h"
#include "store/dayprogram.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"
#include "ui/calendar/calendarpanel.h"
#include "ui/calendar/todaymenu.h"
#include "ui/editor/scheduleeditor.h"
#include "ui/emergencymenu.h"
#include "ui/exit.h"
#include "ui/form1.h"
#include "ui/inputgate.h"
#include "ui/networkdialog.h"
#include "ui/panelanimator.h"
#include "ui/pictures.h"
#include "ui/startup.h"
#include "ui/todayview.h"
#include "ui/traywindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>

namespace tavirin {

namespace {
// The PA output: the bells and the radio stream play on the same one.
const QString kAudioSink = QStringLiteral("autoaudiosink");
}  // namespace

struct TavirinApp::Parts {
    // Adapters.
    SystemClock clock;
    TimerfdAlarm alarm;
    FileInstanceLock lock;
    // Read only once this copy holds the lock (start()).
    IniSettingsBackend backend{IniSettingsBackend::defaultFilePath(), clock,
                               IniSettingsBackend::Load::Later};
    ProgramStore store{backend};
    // Opened only once this copy holds the lock, like the store.
    SqliteJournal journal{SqliteJournal::defaultFilePath(), clock};
    SoundLibrary library{SoundLibrary::defaultRoot()};
    WidgetDialogs dialogs;
    GstAudioOutput audio{kAudioSink};
    QtSerialLines serial;
    SystemProcesses processes;
    GstRadioPlayer radio{kAudioSink};
    GstAlarmPlayer alarmPlayer{kAudioSink};
    TiocmiwaitContact contact;
    SystemctlPower power;
    QtTrayIcon trayIcon{programIcon(), QStringLiteral("Tavirin")};
    GstAudioProbe audioProbe{kAudioSink};
    TimedatedClockSync clockSync;
    StorageFolderProbe folderProbe;

    // The main window's state, the windows, and the core they and every other way in drive.
    FormModel form;
    std::unique_ptr<Form1> window;
    std::unique_ptr<PanelAnimator> animator;
    std::unique_ptr<EventLoopWaiter> waiter;
    std::unique_ptr<BellCore> core;
    std::unique_ptr<WebPage> web;
    std::unique_ptr<AlertSender> alertSender;
    std::unique_ptr<Alerter> alerter;
    std::unique_ptr<BellsBus> bus;
    std::unique_ptr<ScheduleEditor> editor;
    std::unique_ptr<TrayWindow> tray;
    std::unique_ptr<TodayView> todayView;
    std::unique_ptr<InputGate> inputGate;

    // The school calendar, over the main window; the boxes it asks come up over it.
    void openCalendar() {
        CalendarPanel panel(core->rules(), dialogs, window.get());
        dialogs.setParent(&panel);
        panel.exec();
        dialogs.setParent(window.get());
    }
    QList<TrayMenuEntry> todayEntries(bool fromTray) {
        return todayMenu(
            *core, dialogs,
            [this, fromTray] {
                if (fromTray) tray->onTrayNotification(TrayIcon::Gesture::DoubleClick);
                openCalendar();
            },
            fromTray);
    }

    Parts() {
        buildForm1(form);
        window = std::make_unique<Form1>(form);
        dialogs.setParent(window.get());

        animator = std::make_unique<PanelAnimator>(
            form,
            placeOrMinimise(*window, trayIcon, placeWidget(*window),
                            [this] {
                                // Back from the task bar, whole: shown, as the tray's double
                                // click leaves it.
                                animator->standShown();
                                tray->onTrayNotification(TrayIcon::Gesture::DoubleClick);
                            }),
            // exit(), not quit(): quit() first asks every window to close, and the main
            // window refuses (its close button only hides it), so quit() would never end.
            [] { QCoreApplication::exit(0); });

        // The pauses before radio and music hold every timer of the window, as a program
        // blocked in the pause would.
        QList<QTimer*> timers;
        for (const QString& name : form.timerNames()) timers << form.timer(name);
        waiter = std::make_unique<EventLoopWaiter>(timers);
        trayIcon.setWarningIcon(warningIcon());
        core = std::make_unique<BellCore>(BellCore::Adapters{
            form,      *animator,   clock,       store,     &journal, library, dialogs,
            audio,     serial,      processes,   radio,     power,    *waiter, audioProbe,
            clockSync, folderProbe, alarmPlayer, &trayIcon, &alarm,   &contact});
        // The network page keeps its certificate beside the settings file.
        web = std::make_unique<WebPage>(*core, library,
                                        QFileInfo(IniSettingsBackend::defaultFilePath()).path());
        alertSender = std::make_unique<AlertSender>(AlertSender::kTimeout, &clock);
        alerter = std::make_unique<Alerter>(*core, *alertSender);
        bus = std::make_unique<BellsBus>(*core, web.get(), alerter.get());

        BellScheduler& scheduler = core->scheduler();
        scheduler.setWindowShown(window->onScreen());
        QObject::connect(window.get(), &Form1::onScreenChanged, window.get(), [this](bool shown) {
            core->scheduler().setWindowShown(shown);
            if (shown) core->dayStatus().refresh();
        });
        animator->setResumeWatching([this] { core->scheduler().resumeWatching(); });
        tray = std::make_unique<TrayWindow>(trayIcon, form, *animator);
        tray->setBellInProgress([this] { return core->scheduler().bellInProgress(); });
        editor = std::make_unique<ScheduleEditor>(form, store, core->arming(), core->relay(),
                                                  dialogs, library, clock);
        editor->setOpenSettingsPanel([this] { animator->openSettingsPanel(); });
        editor->setCloseSettingsPanel([this] { animator->closeSettingsPanel(); });
        core->relay().setClosePanel([this] { animator->closeDevicePanel(); });

        todayView = std::make_unique<TodayView>(journal, clock);
        core->onJournalChanged([this] { todayView->journalChanged(); });
        core->selfTest().setFolders(
            {{SelfTest::kItemStore, QFileInfo(IniSettingsBackend::defaultFilePath()).path(), true},
             {SelfTest::kItemJournal, QFileInfo(SqliteJournal::defaultFilePath()).path(), true},
             {SelfTest::kItemLibrary, library.root(), false}});
        form.onClick(QStringLiteral("cmd_bell_record"), [this] { todayView->open(); });
        form.onClick(ctl::cmd_network, [this] {
            NetworkDialog dialog(*web, alerter.get(), window.get());
            dialog.exec();
        });
        // Told, never asked: nobody may have to click for the bells to go on.
        QObject::connect(web.get(), &WebPage::loginsBlocked, window.get(),
                         [this](const QString& text) { dialogs.notice(QStringLiteral("หน้าเว็บ"), text); });
        QObject::connect(core.get(), &BellCore::programsSaved, window.get(), [this](int day) {
            if (!form.visible(QStringLiteral("Frame2"))) return;
            dialogs.notice(QStringLiteral("ตารางออด"),
                           QStringLiteral("ตารางออด%1 ถูกแก้จากหน้าเว็บ ตัวแก้ไขแสดงตารางที่บันทึกไว้แล้ว")
                               .arg(weekdayRow(day) ? weekdayRow(day)->chooserEntry : QString()));
        });

        // Every arming rebuilds the tray's menu, which lists the changes in force.
        core->arming().onPlanned([this](const DayPlan&) { tray->refreshMenu(); });
        tray->setTodayEntries([this] { return todayEntries(true); });
        tray->setEmergencyEntries(
            [this] { return emergencyMenu(*core, dialogs, journal::kFromTray); });
        // During a bell the emergency button alone takes clicks.
        inputGate = std::make_unique<InputGate>(window->control(ctl::cmd_emergency),
                                                QStringLiteral("เหตุฉุกเฉิน"));
        form.onClick(ctl::cmd_emergency, [this] {
            popUpMenu(*window->control(ctl::cmd_emergency),
                      emergencyMenu(*core, dialogs, journal::kFromWindow));
        });
        // The tray's menu follows the emergency (its all clear entry).
        QObject::connect(&core->emergency(), &Emergency::changed, window.get(),
                         [this] { tray->refreshMenu(); });
        form.onClick(QStringLiteral("cmd_today"), [this] {
            popUpMenu(*window->control(QStringLiteral("cmd_today")), todayEntries(false));
        });

        animator->connectControls();
        // While an emergency is in force the window stays on the screen.
        form.onClick(QStringLiteral("Command1"), [this] {
            if (core->emergency().inForce()) {
                qCInfo(lcUi) << "the window stays while the emergency is in force";
                return;
            }
            animator->hideMainWindow();
        });
        core->connectControls();
        editor->connectControls();
        form.onClick(QStringLiteral("Command10"), [this] { core->relay().savePort(); });
        form.onClick(QStringLiteral("Command11"), [this] { core->relay().testPort(); });
        form.onClick(QStringLiteral("Command8"),
                     [this] { confirmExit(dialogs, *animator, *tray); });
        // The window manager's close button hides the window like the hide button; while an
        // emergency is in force the window stays.
        form.onClick(QStringLiteral("Form_Close"), [this] {
            if (core->emergency().inForce()) return;
            animator->hideMainWindow();
        });
    }
    ~Parts() {
        // What talks to the core goes first.
        inputGate.reset();
        bus.reset();
        core.reset();
    }
};

TavirinApp::TavirinApp() : d_(std::make_unique<Parts>()) {}
TavirinApp::~TavirinApp() = default;

Form1& TavirinApp::window() {
    return *d_->window;
}

bool TavirinApp::start() {
    Parts& p = *d_;
    if (!checkSingleInstance(p.lock, p.dialogs)) return false;
    p.backend.load();
    p.journal.open();
    p.tray->createTrayIcon();

    if (ensureSoundLibrary() == SoundLibraryState::Missing) {
        showMissingSoundLibrary(p.dialogs, p.library);
        return false;
    }

    loadMainWindow(p.form, p.store, p.library, p.core->arming(), p.core->relay());
    p.core->scheduler().accountForStartUp();
    p.window->setBackgroundPicture(loadBackground(p.library));

    // Centred across the screen; the slides move it up and down only.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        p.window->move(qMax(0, (screen->availableGeometry().width() - p.window->width()) / 2), 0);
    p.animator->showMainWindow();
    p.core->dayStatus().start();
    p.core->selfTest().start();
    p.core->emergency().tellUnended();
    p.core->watchContact();
    // Scripts reach the same core on the session bus; the bells ring without it.
    p.bus->start();
    // The page, when the school turned it on.
    p.web->startAsSaved();
    // The school's phones are told of what went wrong (the start-up's missed bells too), and
    // the outbox left from before is sent.
    p.alerter->start();
    qCInfo(lcUi) << "Tavirin started; today's program is" << p.core->arming().activeApplication();
    return true;
}

}  // namespace tavirin
