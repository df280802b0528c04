#include "ui/exit.h"

#include "platform/dialogs.h"
#include "platform/instancelock.h"
#include "platform/logging.h"
#include "store/soundlibrary.h"
#include "ui/panelanimator.h"
#include "ui/traywindow.h"

namespace tavirin {

namespace {

// One line in the journal: the line breaks are written as \r\n.
QString oneLine(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n"));
}

}  // namespace

bool checkSingleInstance(InstanceLock& lock, Dialogs& dialogs) {
    QString text;
    switch (lock.tryAcquire()) {
        case InstanceLock::Outcome::Acquired:
            return true;
        case InstanceLock::Outcome::Held:
            text = QStringLiteral(
                "โปรแกรม ได้ถูกเปิดใช้งานอยู่แล้ว\r\n\r\n"
                "ท่านไม่สามารถเปิดโปรแกรมซ้ำได้อีก...");
            qCWarning(lcUi).noquote()
                << "Tavirin is already running; this copy ends after the message" << oneLine(text);
            break;
        case InstanceLock::Outcome::Unavailable:
            text = QStringLiteral(
                "โปรแกรมเริ่มทำงานไม่ได้ เพราะสร้างไฟล์ล็อกป้องกันการเปิดโปรแกรมซ้ำไม่ได้\r\n\r\n"
                "กรุณาให้ผู้ดูแลเครื่องตรวจสอบโฟลเดอร์ ~/.config/tavirin");
            qCCritical(lcUi).noquote()
                << "Tavirin cannot lock; this copy ends after the message" << oneLine(text);
            break;
    }
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
