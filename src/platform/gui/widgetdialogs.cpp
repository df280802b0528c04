#include "platform/gui/widgetdialogs.h"

#include "platform/logging.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QTimer>

namespace tavirin {

namespace {

const QString kOk = QStringLiteral("ตกลง");
const QString kCancel = QStringLiteral("ยกเลิก");

QMessageBox::Icon toQt(Dialogs::Icon icon) {
    switch (icon) {
        case Dialogs::Icon::Information:
            return QMessageBox::Information;
        case Dialogs::Icon::Critical:
            return QMessageBox::Critical;
        case Dialogs::Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// Named here, not by the desktop's theme, which may name them in its own way.
void nameButtons(QMessageBox& box) {
    const std::pair<QMessageBox::StandardButton, QString> names[] = {
        {QMessageBox::Ok, kOk},
        {QMessageBox::Yes, QStringLiteral("ใช่")},
        {QMessageBox::No, QStringLiteral("ไม่ใช่")},
        {QMessageBox::Cancel, kCancel},
    };
    for (const auto& [button, text] : names)
        if (QAbstractButton* b = box.button(button)) b->setText(text);
}

// A box sizes itself to its text; a title wider than that is cut short by the window manager
// ("ยืนยันการอ... จากโปรแกรม"). Wide enough for the title in a bold face, plus room for the
// title bar's icon and buttons.
void fitTitle(QMessageBox& box) {
    QFont bold = box.font();
    bold.setBold(true);
    const int width = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + 120;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
}

void prepare(QMessageBox& box) {
    nameButtons(box);
    fitTitle(box);
}

}  // namespace

WidgetDialogs::WidgetDialogs(QWidget* parent) : parent_(parent) {
    QCoreApplication::installTranslator(&texts_);
}

WidgetDialogs::~WidgetDialogs() {
    QCoreApplication::removeTranslator(&texts_);
}

void WidgetDialogs::message(Icon icon, const QString& title, const QString& text) {
    QMessageBox box(toQt(icon), title, text, QMessageBox::Ok, parent_);
    prepare(box);
    box.exec();
}

bool WidgetDialogs::askYesNo(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, parent_);
    prepare(box);
    return box.exec() == QMessageBox::Yes;
}

bool WidgetDialogs::askYesNoDefaultNo(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Yes | QMessageBox::No, parent_);
    prepare(box);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

Dialogs::Answer WidgetDialogs::askYesNoCancel(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent_);
    prepare(box);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;
    }
}

namespace {

// Qt's own chooser with Thai labels.
void labelInThai(QFileDialog& dialog, const QString& accept) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("ค้นหาใน:"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("ชื่อไฟล์:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("ชนิดไฟล์:"));
    dialog.setLabelText(QFileDialog::Accept, accept);
    dialog.setLabelText(QFileDialog::Reject, kCancel);
}

QString chosenFile(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

}  // namespace

QString WidgetDialogs::openFile(const QString& title, const QString& initialFolder,
                                const QString& filter) {
    QFileDialog dialog(parent_, title, initialFolder, toQtFilter(filter));
    // A file is chosen here; nothing is renamed, deleted or created.
    dialog.setOption(QFileDialog::ReadOnly);
    dialog.setFileMode(QFileDialog::ExistingFile);
    labelInThai(dialog, QStringLiteral("เปิด"));
    return chosenFile(dialog);
}

QString WidgetDialogs::saveFile(const QString& title, const QString& initialPath,
                                const QString& filter) {
    QFileDialog dialog(parent_, title, initialPath, toQtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    labelInThai(dialog, QStringLiteral("บันทึก"));
    return chosenFile(dialog);
}

void WidgetDialogs::notice(const QString& title, const QString& text) {
    qCInfo(lcUi) << "notice:" << text;
    auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent_);
    prepare(*box);
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
