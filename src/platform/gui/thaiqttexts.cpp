#include "platform/gui/thaiqttexts.h"

#include <cstring>

namespace tavirin {

namespace {

struct Text {
    const char* context;
    const char* source;
    const char* thai;
};

// The sources exactly as Qt 6 asks for them. The file chooser's labels and its two buttons are
// set through its own API.
constexpr Text kTexts[] = {
    {"QFileDialog", "Back", "ย้อนกลับ"},
    {"QFileDialog", "Forward", "เดินหน้า"},
    {"QFileDialog", "Parent Directory", "ขึ้นไปหนึ่งระดับ"},
    {"QFileDialog", "Create New Folder", "สร้างโฟลเดอร์ใหม่"},
    {"QFileDialog", "&New Folder", "สร้างโฟลเดอร์ใหม่"},
    {"QFileDialog", "List View", "แสดงเป็นรายการ"},
    {"QFileDialog", "Detail View", "แสดงรายละเอียด"},
    {"QFileDialog", "Show ", "แสดง "},
    {"QFileDialog", "Show &hidden files", "แสดงไฟล์ที่ซ่อนไว้"},
    {"QFileDialog", "&Rename", "เปลี่ยนชื่อ"},
    {"QFileDialog", "&Delete", "ลบ"},
    {"QFileDialog", "%1 already exists.\nDo you want to replace it?",
     "%1 มีอยู่แล้ว\nต้องการเขียนทับหรือไม่ ?"},
    {"QFileSystemModel", "Name", "ชื่อ"},
    {"QFileSystemModel", "Size", "ขนาด"},
    {"QFileSystemModel", "Type", "ชนิด"},
    {"QFileSystemModel", "Date Modified", "วันที่แก้ไข"},
    {"QFileSystemModel", "Computer", "คอมพิวเตอร์"},
    {"QAbstractFileIconProvider", "Folder", "โฟลเดอร์"},
    {"QAbstractFileIconProvider", "Drive", "ไดรฟ์"},
    {"QAbstractFileIconProvider", "Unknown", "ไม่ทราบ"},
    {"QPlatformTheme", "OK", "ตกลง"},
    {"QPlatformTheme", "Open", "เปิด"},
    {"QPlatformTheme", "Cancel", "ยกเลิก"},
    {"QPlatformTheme", "&Yes", "ใช่"},
    {"QPlatformTheme", "&No", "ไม่ใช่"},
    // GNOME's platform theme names two buttons its own way.
    {"QGnomeTheme", "&OK", "ตกลง"},
    {"QGnomeTheme", "&Cancel", "ยกเลิก"},
};

}  // namespace

QString ThaiQtTexts::translate(const char* context, const char* sourceText, const char*,
                               int) const {
    if (!context || !sourceText) return {};
    for (const Text& t : kTexts)
        if (std::strcmp(t.context, context) == 0 && std::strcmp(t.source, sourceText) == 0)
            return QString::fromUtf8(t.thai);
    return {};
}

}  // namespace tavirin
