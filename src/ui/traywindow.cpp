#include "ui/traywindow.h"

#include "model/formmodel.h"
#include "model/windowmotion.h"
#include "platform/logging.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace tavirin {

TrayWindow::TrayWindow(TrayIcon& icon, FormModel& form, WindowMotion& motion)
    : icon_(icon), form_(form), motion_(motion) {}

void TrayWindow::createTrayIcon() {
    icon_.setGestureHandler([this](TrayIcon::Gesture g) { onTrayNotification(g); });
    refreshMenu();
    addTrayIcon();
    if (!icon_.isAvailable())
        qCWarning(lcUi) << "this desktop has no tray; hiding the window minimises it instead";
}

namespace {

// Greyed out while a bell is on its way, and refused if a host delivers it anyway (a box must
// not come up in the middle of a bell); every entry of a submenu too.
void waitForBells(QList<TrayMenuEntry>& entries, const std::function<bool()>& idle) {
    for (TrayMenuEntry& e : entries) {
        if (e.caption.isEmpty()) continue;
        e.available = [idle, own = e.available] { return idle() && (!own || own()); };
        if (e.run)
            e.run = [idle, run = e.run, caption = e.caption] {
                if (idle())
                    run();
                else
                    qCInfo(lcUi).noquote()
                        << "tray menu:" << caption << "ignored, a bell is in progress";
            };
        waitForBells(e.children, idle);
    }
}

}  // namespace

void TrayWindow::refreshMenu() {
    const auto whenIdle = [this] { return this->whenIdle(); };
    // One line per entry; later entries go here.
    QList<TrayMenuEntry> menu{
        {QStringLiteral("แสดงหน้าต่าง"),
         [this] { onTrayNotification(TrayIcon::Gesture::DoubleClick); },
         {},
         {}},
        {QStringLiteral("บอกเวลาขณะนี้"), [this] { announceNow(); }, whenIdle, {}},
        {QStringLiteral("บันทึกออด"),
         [this] { form_.click(QStringLiteral("cmd_bell_record")); },
         {},
         {}},
    };
    // Second, under the window: quickly found, and never greyed out, also during a bell.
    if (emergencyEntries_) menu.insert(1, {QStringLiteral("ฉุกเฉิน"), {}, {}, emergencyEntries_()});
    if (todayEntries_) {
        QList<TrayMenuEntry> today = todayEntries_();
        waitForBells(today, whenIdle);
        menu.append(TrayMenuEntry{});
        menu += today;
        menu.append(TrayMenuEntry{});
    }
    menu.append({QStringLiteral("ออกจากโปรแกรม"), [this] { exitProgram(); }, whenIdle, {}});
    icon_.setMenu(menu);
}

void TrayWindow::addTrayIcon() {
    if (!icon_.add() && icon_.isAvailable()) qCWarning(lcUi) << "the tray icon could not be added";
}

void TrayWindow::removeTrayIcon() {
    icon_.remove();
}

void TrayWindow::onTrayNotification(TrayIcon::Gesture) {
    // Both gestures the icon reports (double click, right button) bring the window back.
    if (trayBusy_) return;
    trayBusy_ = true;
    motion_.showMainWindow();
    form_.setEnabled(QStringLiteral("Command3555"), true);
    trayBusy_ = false;
}

// A host may deliver a menu entry in the middle of a bell (over D-Bus nothing holds it back);
// a box or a second run must not start there.
bool TrayWindow::idle(const char* entry) const {
    if (!bellInProgress_ || !bellInProgress_()) return true;
    qCInfo(lcUi) << "tray menu:" << entry << "ignored, a bell is in progress";
    return false;
}

void TrayWindow::announceNow() {
    if (!idle("announce now")) return;
    onTrayNotification(TrayIcon::Gesture::DoubleClick);
    form_.click(QStringLiteral("Command3555"));
}

void TrayWindow::exitProgram() {
    if (!idle("exit")) return;
    form_.click(QStringLiteral("Command8"));
}

namespace {

// See placeOrMinimise. Lives as a child of the window, whose state changes it watches.
class MinimiseWithoutTray final : public QObject {
public:
    MinimiseWithoutTray(QWidget& window, const TrayIcon& icon, WindowPlacer place,
                        std::function<void()> restored)
        : QObject(&window),
          window_(window),
          icon_(icon),
          place_(std::move(place)),
          restored_(std::move(restored)) {
        window.installEventFilter(this);
    }

    void place(int top, int height, bool visible) {
        // Only a hide shrinks the window or moves it down; only a show grows it or moves it up.
        const bool hiding = !visible || height < height_ || top > top_;
        const bool showing = visible && (height > height_ || top < top_);
        top_ = top;
        height_ = height;
        const bool hideBegins = hiding && !hiding_;
        hiding_ = hiding || (hiding_ && !showing);
        if (minimised_) {
            // The rest of the hide happens out of sight.
            if (!showing) return;
            minimised_ = false;
            window_.showNormal();
        } else if (hideBegins && window_.isVisible() && !icon_.isAvailable()) {
            // Whole, so that the desktop brings back the whole window. (The tray host is
            // looked up once per hide, not on every step.)
            place_(PanelAnimator::kShownTop, PanelAnimator::kShownHeight, true);
            minimised_ = true;
            window_.showMinimized();
            qCInfo(lcUi) << "no tray: the window is minimised at its full size";
            return;
        }
        place_(top, height, visible);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::WindowStateChange && minimised_ &&
            !window_.isMinimized()) {
            minimised_ = false;
            qCInfo(lcUi) << "the desktop brought the minimised window back";
            if (restored_) restored_();
        }
        return false;
    }

private:
    QWidget& window_;
    const TrayIcon& icon_;
    WindowPlacer place_;
    std::function<void()> restored_;
    int top_ = PanelAnimator::kHiddenTop;
    int height_ = 0;
    bool hiding_ = false;
    bool minimised_ = false;
};

}  // namespace

WindowPlacer placeOrMinimise(QWidget& window, const TrayIcon& icon, WindowPlacer place,
                             std::function<void()> restored) {
    auto* m = new MinimiseWithoutTray(window, icon, std::move(place), std::move(restored));
    return [m = QPointer<MinimiseWithoutTray>(m)](int top, int height, bool visible) {
        if (m) m->place(top, height, visible);
    };
}

}  // namespace tavirin
