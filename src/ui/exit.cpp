#include "ui/exit.h"

#include "platform/dialogs.h"
#include "platform/instancelock.h"
#include "platform/logging.h"
#include "store/soundlibrary.h"
#include "ui/panelanimator.h"
#include "ui/traywindow.h"

namespace tavirin {

bool checkSingleInstance(InstanceLock& lock, Dialogs& dialogs) {
    if (lock.tryAcquire()) return true;
    const QString text = QStringLiteral(
        "โปรแกรม ได้ถูกเปิดใช้งานอยู่แล้ว\r\n\r\n"
        "ท่านไม่สามารถเปิดโปรแกรมซ้ำได้อีก...");
    // One line in the journal: the line breaks are written as \r\n.
    qCWarning(lcUi).noquote() << "Tavirin is already running; this copy ends after the message"
                              << QString(text).replace(QStringLiteral("\r\n"),
                                                       QStringLiteral("\\r\\n"));
    dialogs.message(Dialogs::Icon::Critical, QStringLiteral("Tavirin"), text);
    return false;
}

void showMissingSoundLibrary(Dialogs& dialogs, const SoundLibrary& library) {
    qCCritical(lcUi) << "no sound library at" << library.root() << "and no default to copy";
    dialogs.message(
        Dialogs::Icon::Critical, QStringLiteral("Tavirin"),
        QStringLiteral("โปรแกรมไม่พบข้อมูลเสียง rivedezode \r\n\r\nซึ่งจะต้องอยู่ที่ ") + library.root());
}

void confirmExit(Dialogs& dialogs, PanelAnimator& animator, TrayWindow& tray) {
    if (!dialogs.askYesNo(QStringLiteral("ยืนยันการออกจากโปรแกรม"),
                          QStringLiteral("คุณแน่ใจว่าต้องการออกจากโปรแกรม")))
        return;
    qCInfo(lcUi) << "exit confirmed";
    animator.hideMainWindow();
    animator.exitAfterHide();
    tray.removeTrayIcon();
}

}  // namespace tavirin
