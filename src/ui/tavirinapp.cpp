#include "ui/tavirinapp.h"

#include "calendar/dayrules.h"
#include "journal/sqlitejournal.h"
#include "model/form1layout.h"
#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "outputs/autoshutdown.h"
#include "outputs/mediasources.h"
#include "outputs/soundlibraryinstall.h"
#include "outputs/soundplayer.h"
#include "outputs/waiter.h"
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
#include "store/programstore.h"
#include "store/soundlibrary.h"
#include "ui/calendar/calendarpanel.h"
#include "ui/calendar/todaymenu.h"
#include "ui/editor/scheduleeditor.h"
#include "ui/exit.h"
#include "ui/form1.h"
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
    SystemctlPower power;
    QtTrayIcon trayIcon{programIcon(), QStringLiteral("Tavirin")};
    GstAudioProbe audioProbe{kAudioSink};
    TimedatedClockSync clockSync;
    StorageFolderProbe folderProbe;

    // The main window's state and its operations.
    FormModel form;
    std::unique_ptr<Form1> window;
    std::unique_ptr<PanelAnimator> animator;
    std::unique_ptr<EventLoopWaiter> waiter;
    std::unique_ptr<SoundPlayer> player;
    std::unique_ptr<AmplifierRelay> relay;
    std::unique_ptr<MediaSources> media;
    std::unique_ptr<AutoShutdown> shutdown;
    std::unique_ptr<TalkingClock> talkingClock;
    std::unique_ptr<Arming> arming;
    std::unique_ptr<BellSequence> sequence;
    std::unique_ptr<BellScheduler> scheduler;
    std::unique_ptr<ScheduleEditor> editor;
    std::unique_ptr<TrayWindow> tray;
    std::unique_ptr<DayStatus> dayStatus;
    std::unique_ptr<SelfTest> selfTest;
    std::unique_ptr<TodayView> todayView;
    std::unique_ptr<DayRules> rules;

    // The school calendar, over the main window; the boxes it asks come up over it.
    void openCalendar() {
        CalendarPanel panel(*rules, dialogs, window.get());
        dialogs.setParent(&panel);
        panel.exec();
        dialogs.setParent(window.get());
    }
    QList<TrayMenuEntry> todayEntries(bool fromTray) {
        return todayMenu(
            *rules,
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
        player = std::make_unique<SoundPlayer>(audio, dialogs, &clock);
        relay = std::make_unique<AmplifierRelay>(form, store, serial, dialogs);
        media = std::make_unique<MediaSources>(form, *relay, processes, *waiter, radio, dialogs);
        shutdown = std::make_unique<AutoShutdown>(form, *animator, *media, *relay, power, dialogs);
        talkingClock = std::make_unique<TalkingClock>(*player);
        arming = std::make_unique<Arming>(form, store, clock, library);
        tray = std::make_unique<TrayWindow>(trayIcon, form, *animator);
        sequence = std::make_unique<BellSequence>(
            form, store, clock, library,
            BellSequence::Outputs{*player, *talkingClock, *relay, *media, *waiter, *animator,
                                  &trayIcon});
        scheduler = std::make_unique<BellScheduler>(
            BellScheduler::Parts{form, store, clock, *arming, *sequence, *talkingClock, *relay,
                                 *media, *animator, &journal});
        scheduler->setAlarm(&alarm);
        scheduler->setWindowShown(window->onScreen());
        QObject::connect(window.get(), &Form1::onScreenChanged, window.get(), [this](bool shown) {
            scheduler->setWindowShown(shown);
            if (shown && dayStatus) dayStatus->refresh();
        });
        scheduler->setShutdownWatch([this](bool slideIn) { shutdown->checkShutdownTime(slideIn); });
        animator->setResumeWatching([this] { scheduler->resumeWatching(); });
        tray->setBellInProgress([this] { return scheduler->bellInProgress(); });
        editor =
            std::make_unique<ScheduleEditor>(form, store, *arming, *relay, dialogs, library, clock);
        editor->setOpenSettingsPanel([this] { animator->openSettingsPanel(); });
        editor->setCloseSettingsPanel([this] { animator->closeSettingsPanel(); });
        relay->setClosePanel([this] { animator->closeDevicePanel(); });

        trayIcon.setWarningIcon(warningIcon());
        dayStatus = std::make_unique<DayStatus>(form, clock, &trayIcon, &journal);
        todayView = std::make_unique<TodayView>(journal, clock);
        journal.setChangeListener([this] {
            dayStatus->journalChanged();
            todayView->journalChanged();
        });
        selfTest =
            std::make_unique<SelfTest>(SelfTest::Probes{serial, audioProbe, clockSync, folderProbe},
                                       store, library, clock, dialogs);
        selfTest->setFolders(
            {{SelfTest::kItemStore, QFileInfo(IniSettingsBackend::defaultFilePath()).path(), true},
             {SelfTest::kItemJournal, QFileInfo(SqliteJournal::defaultFilePath()).path(), true},
             {SelfTest::kItemLibrary, library.root(), false}});
        selfTest->setBellInProgress([this] { return scheduler->bellInProgress(); });
        selfTest->setTriggers([this] { return DayStatus::triggers(form); });
        scheduler->setTimeSkipped([this] { selfTest->lookAgain(); });
        selfTest->onReport([this](const SelfTestReport& r) {
            journal.recordChecks(r.at, checkRecords(r));
            dayStatus->setSelfTest(r);
        });
        form.onClick(QStringLiteral("cmd_bell_record"), [this] { todayView->open(); });

        // A change of the calendar or of today arms the board again (after a bell on its way);
        // every arming rebuilds the tray's menu, which lists the changes in force.
        rules = std::make_unique<DayRules>(store, clock, dialogs);
        rules->onChanged([this](bool programsChanged) { scheduler->armWhenIdle(programsChanged); });
        arming->onPlanned([this](const DayPlan&) { tray->refreshMenu(); });
        tray->setTodayEntries([this] { return todayEntries(true); });
        form.onClick(QStringLiteral("cmd_today"), [this] {
            popUpMenu(*window->control(QStringLiteral("cmd_today")), todayEntries(false));
        });

        animator->connectControls();
        media->connectControls();
        shutdown->connectControls();
        scheduler->connectControls();
        editor->connectControls();
        form.onClick(QStringLiteral("Command10"), [this] { relay->savePort(); });
        form.onClick(QStringLiteral("Command11"), [this] { relay->testPort(); });
        form.onClick(QStringLiteral("Command8"),
                     [this] { confirmExit(dialogs, *animator, *tray); });
        // The window manager's close button hides the window like the hide button.
        form.onClick(QStringLiteral("Form_Close"), [this] { animator->hideMainWindow(); });
    }
    // The journal outlives what shows it: a last write must not reach them.
    ~Parts() { journal.setChangeListener({}); }
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

    loadMainWindow(p.form, p.store, p.library, *p.arming, *p.relay);
    p.scheduler->accountForStartUp();
    p.window->setBackgroundPicture(loadBackground(p.library));

    // Centred across the screen; the slides move it up and down only.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        p.window->move(qMax(0, (screen->availableGeometry().width() - p.window->width()) / 2), 0);
    p.animator->showMainWindow();
    p.dayStatus->start();
    p.selfTest->start();
    qCInfo(lcUi) << "Tavirin started; today's program is" << p.arming->activeApplication();
    return true;
}

}  // namespace tavirin
