#include "platform/gui/widgetdialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>
#include <functional>

using namespace tavirin;

namespace {

// Runs `look` on the box or dialog the next modal call shows, once it is up.
void whenShown(std::function<void(QWidget*)> look) {
    QTimer::singleShot(0, [look = std::move(look)] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w) (void)QTest::qWaitFor([&] { return (w = QApplication::activeModalWidget()); });
        look(w);
    });
}

QStringList buttonTexts(QMessageBox* box) {
    QStringList out;
    for (QAbstractButton* b : box->buttons()) out << b->text();
    out.sort();
    return out;
}

// Presses the box's button that reads `text`.
void press(QMessageBox* box, const QString& text) {
    for (QAbstractButton* b : box->buttons())
        if (b->text() == text) return b->click();
    box->reject();
}

}  // namespace

class TestWidgetDialogs : public QObject {
    Q_OBJECT

private slots:
    // Thai buttons whatever the desktop's language, the title as given, and each button's
    // answer.
    void boxes_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("answer");  // Dialogs::Answer; askYesNo: Yes or No
        const QStringList yesNo{"ใช่", "ไม่ใช่"};
        const QStringList three{"ใช่", "ไม่ใช่", "ยกเลิก"};
        QTest::newRow("message") << "message" << QStringList{"ตกลง"} << "ตกลง" << 0;
        QTest::newRow("yes/no: yes") << "yesno" << yesNo << "ใช่" << int(Dialogs::Answer::Yes);
        QTest::newRow("yes/no: no") << "yesno" << yesNo << "ไม่ใช่" << int(Dialogs::Answer::No);
        QTest::newRow("three: yes") << "three" << three << "ใช่" << int(Dialogs::Answer::Yes);
        QTest::newRow("three: no") << "three" << three << "ไม่ใช่" << int(Dialogs::Answer::No);
        QTest::newRow("three: cancel")
            << "three" << three << "ยกเลิก" << int(Dialogs::Answer::Cancel);
        QTest::newRow("three: closed") << "three" << three << "" << int(Dialogs::Answer::Cancel);
    }
    void boxes() {
        QFETCH(QString, kind);
        QFETCH(QStringList, buttons);
        QFETCH(QString, press);
        QFETCH(int, answer);
        buttons.sort();
        WidgetDialogs dialogs;
        const QString title = QStringLiteral("ยืนยันการออกจากโปรแกรม");
        QString seenTitle;
        QStringList seenButtons;
        int width = 0;
        QFont font;
        whenShown([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box) {
                w->close();
                return;
            }
            seenTitle = box->windowTitle();
            seenButtons = buttonTexts(box);
            width = box->width();
            font = box->font();
            ::press(box, press);
        });
        int got = 0;
        if (kind == u"message") {
            dialogs.message(Dialogs::Icon::Critical, title, QStringLiteral("ข้อความ"));
        } else if (kind == u"yesno") {
            got = int(dialogs.askYesNo(title, QStringLiteral("ข้อความ")) ? Dialogs::Answer::Yes
                                                                        : Dialogs::Answer::No);
        } else {
            got = int(dialogs.askYesNoCancel(title, QStringLiteral("ข้อความ")));
        }
        QCOMPARE(seenTitle, title);
        QCOMPARE(seenButtons, buttons);
        QCOMPARE(got, answer);
        // Wide enough for a title bar to show the whole title (in bold, besides its icon and
        // buttons).
        font.setBold(true);
        QVERIFY(width >= QFontMetrics(font).horizontalAdvance(title) + 100);
    }

    void noticeIsThaiAndDoesNotWait() {
        QWidget parent;
        WidgetDialogs dialogs(&parent);
        dialogs.notice(QStringLiteral("เล่นเสียงไม่ได้"), QStringLiteral("ข้อความ"));
        auto* box = parent.findChild<QMessageBox*>();
        QVERIFY(box);
        QCOMPARE(buttonTexts(box), QStringList{"ตกลง"});
        box->close();
    }

    // Qt's own chooser in Thai: labels, buttons, column headings; the chosen path, or "" when
    // cancelled.
    void fileChooser_data() {
        QTest::addColumn<bool>("choose");
        QTest::newRow("chosen") << true;
        QTest::newRow("cancelled") << false;
    }
    void fileChooser() {
        QFETCH(bool, choose);
        QTemporaryDir dir;
        const QString sound = dir.filePath(QStringLiteral("ติ๊งหน่องหน้า.wav"));
        QFile f(sound);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        WidgetDialogs dialogs;
        QStringList labels, buttons, headings;
        QString title;
        whenShown([&](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            if (!d) {
                w->close();
                return;
            }
            title = d->windowTitle();
            for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
                if (auto* l = d->findChild<QLabel*>(QLatin1String(name))) labels << l->text();
            for (QAbstractButton* b : d->findChildren<QAbstractButton*>())
                if (b->parent()->inherits("QDialogButtonBox")) buttons << b->text();
            buttons.sort();
            if (auto* tree = d->findChild<QTreeView*>()) {
                const QAbstractItemModel* m = tree->header()->model();
                for (int c = 0; c < m->columnCount(); ++c)
                    headings << m->headerData(c, Qt::Horizontal).toString();
            }
            if (!choose) return d->reject();
            d->selectFile(sound);
            QMetaObject::invokeMethod(d, "accept");
        });
        const QString got = dialogs.openFile(QStringLiteral("เลือกรูปแบบเสียงออด หน้า"), dir.path(),
                                             QStringLiteral("MP3, WAV| *.mp3; *.wav"));
        QCOMPARE(title, QStringLiteral("เลือกรูปแบบเสียงออด หน้า"));
        QCOMPARE(labels, (QStringList{"ค้นหาใน:", "ชื่อไฟล์:", "ชนิดไฟล์:"}));
        QCOMPARE(buttons, (QStringList{"ยกเลิก", "เปิด"}));
        QCOMPARE(headings, (QStringList{"ชื่อ", "ขนาด", "ชนิด", "วันที่แก้ไข"}));
        QCOMPARE(got, choose ? sound : QString());
    }

    void filter() {
        QCOMPARE(WidgetDialogs::toQtFilter(QStringLiteral("MP3, WAV| *.mp3; *.wav")),
                 QStringLiteral("MP3, WAV (*.mp3 *.wav)"));
    }
};

QTEST_MAIN(TestWidgetDialogs)
#include "test_widgetdialogs.moc"
