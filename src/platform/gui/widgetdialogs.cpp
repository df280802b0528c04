#include "platform/gui/widgetdialogs.h"

#include "platform/logging.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

namespace tavirin {

namespace {

QMessageBox::Icon toQt(Dialogs::Icon icon) {
    switch (icon) {
        case Dialogs::Icon::Information: return QMessageBox::Information;
        case Dialogs::Icon::Critical: return QMessageBox::Critical;
        case Dialogs::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void WidgetDialogs::message(Icon icon, const QString& title, const QString& text) {
    QMessageBox box(toQt(icon), title, text, QMessageBox::Ok, parent_);
    box.exec();
}

bool WidgetDialogs::askYesNo(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, parent_);
    return box.exec() == QMessageBox::Yes;
}

QString WidgetDialogs::openFile(const QString& title, const QString& initialFolder,
                                const QString& filter) {
    return QFileDialog::getOpenFileName(parent_, title, initialFolder, toQtFilter(filter));
}

void WidgetDialogs::notice(const QString& title, const QString& text) {
    qCInfo(lcUi) << "notice:" << text;
    auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->setWindowModality(Qt::NonModal);
    box->show();
    QTimer::singleShot(30000, box, &QWidget::close);
}

QString WidgetDialogs::toQtFilter(const QString& filter) {
    const int bar = filter.indexOf(u'|');
    if (bar < 0) return filter;
    QString patterns = filter.mid(bar + 1);
    patterns.replace(u';', u' ');
    return filter.left(bar).trimmed() + QStringLiteral(" (") + patterns.simplified() +
           QStringLiteral(")");
}

}  // namespace tavirin
