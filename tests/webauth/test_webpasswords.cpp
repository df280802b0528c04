#include "webauth/passwords.h"
#include "webauth/webrole.h"

#include <QtTest>

using namespace tavirin;

Q_DECLARE_METATYPE(tavirin::WebRole)

class TestWebPasswords : public QObject {
    Q_OBJECT

private slots:
    void roleIds_data() {
        QTest::addColumn<WebRole>("role");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::newRow("admin") << WebRole::Admin << "admin" << QStringLiteral("ผู้ดูแล");
        QTest::newRow("teacher") << WebRole::Teacher << "teacher" << QStringLiteral("ครู");
    }
    void roleIds() {
        QFETCH(WebRole, role);
        QFETCH(QString, id);
        QFETCH(QString, name);
        QCOMPARE(roleId(role), id);
        QCOMPARE(roleName(role), name);
        QCOMPARE(roleFromId(id), std::optional<WebRole>(role));
    }

    void unknownRoleIds_data() {
        QTest::addColumn<QString>("id");
        QTest::newRow("empty") << "";
        QTest::newRow("upper case") << "Admin";
        QTest::newRow("spaces") << " teacher";
        QTest::newRow("thai name") << QStringLiteral("ครู");
        QTest::newRow("other role") << "page";
    }
    void unknownRoleIds() {
        QFETCH(QString, id);
        QVERIFY(!roleFromId(id).has_value());
    }

    void hashAndVerify_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("wrong");
        QTest::newRow("ascii") << "correct horse"
                               << "correct hors";
        QTest::newRow("thai") << QStringLiteral("รหัสผ่านครู") << QStringLiteral("รหัสผ่านครุ");
        // The same letters as NFC and NFD are different bytes, so different passwords.
        QTest::newRow("composed vs decomposed")
            << QStringLiteral("caf\u00e9-bell") << QStringLiteral("cafe\u0301-bell");
        QTest::newRow("case") << "Secret123"
                              << "secret123";
    }
    void hashAndVerify() {
        QFETCH(QString, password);
        QFETCH(QString, wrong);
        const std::optional<QString> hash = hashPassword(password);
        QVERIFY(hash.has_value());
        QVERIFY(hash->startsWith(QLatin1String("$argon2id$")));
        QVERIFY(!hash->contains(password));
        QVERIFY(isUsableHash(*hash));
        QVERIFY(verifyPassword(*hash, password));
        QVERIFY(!verifyPassword(*hash, wrong));
        QVERIFY(!verifyPassword(*hash, QString()));
    }

    void hashesAreSalted() {
        const QString password = QStringLiteral("same password");
        const std::optional<QString> a = hashPassword(password);
        const std::optional<QString> b = hashPassword(password);
        QVERIFY(a && b);
        QVERIFY(*a != *b);
        QVERIFY(verifyPassword(*b, password));
    }

    void unusableHashes_data() {
        QTest::addColumn<QString>("hash");
        const QString good = QStringLiteral(
            "$argon2id$v=19$m=65536,t=2,p=1$l6WBNfLpiLxhfxyYioYEAQ$"
            "73uIzTqJXxTLqPwCTLn5709AcIf9z+lcV9+y1xs/8XQ");
        QVERIFY(isUsableHash(good));
        QTest::newRow("empty") << "";
        QTest::newRow("plain text") << "hunter2hunter2";
        QTest::newRow("argon2i") << QString(good).replace("$argon2id$", "$argon2i$");
        QTest::newRow("bcrypt") << "$2b$12$abcdefghijklmnopqrstuuQk6XJm2i5f1Z1Z1Z1Z1Z1Z1Z1Z1Z1Z1";
        QTest::newRow("truncated") << good.left(good.size() - 20);
        QTest::newRow("trailing text") << good + " ";
        QTest::newRow("4 GiB of memory") << QString(good).replace("m=65536", "m=4194304");
        QTest::newRow("a million passes") << QString(good).replace("t=2", "t=1000000");
        QTest::newRow("zero passes") << QString(good).replace("t=2", "t=0");
        QTest::newRow("two lanes") << QString(good).replace("p=1", "p=2");
        QTest::newRow("bad base64") << QString(good).replace("l6WB", "l6W!");
    }
    void unusableHashes() {
        QFETCH(QString, hash);
        QVERIFY(!isUsableHash(hash));
        QVERIFY(!verifyPassword(hash, QStringLiteral("anything")));
    }

    void rules_data() {
        QTest::addColumn<WebRole>("role");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("allowed");
        const QString emoji = QStringLiteral("\U0001F514");  // a bell: two UTF-16 units
        QTest::newRow("admin 7") << WebRole::Admin << "abcdefg" << false;
        QTest::newRow("admin 8") << WebRole::Admin << "abcdefgh" << true;
        QTest::newRow("teacher 5") << WebRole::Teacher << "abcde" << false;
        QTest::newRow("teacher 6") << WebRole::Teacher << "abcdef" << true;
        QTest::newRow("empty") << WebRole::Teacher << "" << false;
        // Thai vowel and tone marks are code points of their own.
        QTest::newRow("thai 6 code points") << WebRole::Teacher << QStringLiteral("ครูใหญ") << true;
        QTest::newRow("thai 5 code points") << WebRole::Teacher << QStringLiteral("ครูให") << false;
        QTest::newRow("thai with marks, 8")
            << WebRole::Admin << QStringLiteral("น้ำท่วม") + "1" << true;
        // Four emoji are eight UTF-16 units but four characters.
        QTest::newRow("4 emoji + 1 for admin")
            << WebRole::Admin << emoji.repeated(4) + "abc" << false;
        QTest::newRow("4 emoji + 4 for admin")
            << WebRole::Admin << emoji.repeated(4) + "abcd" << true;
        QTest::newRow("3 emoji + 2 for teacher")
            << WebRole::Teacher << emoji.repeated(3) + "ab" << false;
        QTest::newRow("3 emoji + 3 for teacher")
            << WebRole::Teacher << emoji.repeated(3) + "abc" << true;
        QTest::newRow("128") << WebRole::Admin << QString(128, u'x') << true;
        QTest::newRow("129") << WebRole::Admin << QString(129, u'x') << false;
        QTest::newRow("128 emoji") << WebRole::Admin << emoji.repeated(128) << true;
        QTest::newRow("129 emoji") << WebRole::Admin << emoji.repeated(129) << false;
        QTest::newRow("tab") << WebRole::Admin << "abcd\tefgh" << false;
        QTest::newRow("newline at the end") << WebRole::Teacher << "abcdefgh\n" << false;
        QTest::newRow("nul") << WebRole::Teacher << QString("abc") + QChar(0) + "defg" << false;
        QTest::newRow("delete") << WebRole::Teacher << "abcdefg\x7f" << false;
        QTest::newRow("C1 control") << WebRole::Teacher << QStringLiteral("abcdefg\u0085") << false;
        QTest::newRow("spaces are fine") << WebRole::Teacher << "a b c d" << true;
        QTest::newRow("lone high surrogate")
            << WebRole::Teacher << QString("abcdefg") + QChar(0xd83d) << false;
        QTest::newRow("lone low surrogate")
            << WebRole::Teacher << QChar(0xdd14) + QString("abcdefg") << false;
    }
    void rules() {
        QFETCH(WebRole, role);
        QFETCH(QString, password);
        QFETCH(bool, allowed);
        const QString reason = checkPasswordRules(role, password);
        QCOMPARE(reason.isEmpty(), allowed);
        if (!allowed) {
            // The reason is for a Thai reader: it holds Thai letters.
            bool thai = false;
            for (const QChar c : reason)
                thai = thai || (c.unicode() >= 0x0e00 && c.unicode() <= 0x0e7f);
            QVERIFY2(thai, qPrintable(reason));
        }
    }

    void shortReasonNamesTheMinimum_data() {
        QTest::addColumn<WebRole>("role");
        QTest::newRow("admin") << WebRole::Admin;
        QTest::newRow("teacher") << WebRole::Teacher;
    }
    void shortReasonNamesTheMinimum() {
        QFETCH(WebRole, role);
        const QString reason = checkPasswordRules(role, QStringLiteral("abc"));
        QVERIFY2(reason.contains(QString::number(minimumPasswordLength(role))), qPrintable(reason));
    }
};

QTEST_GUILESS_MAIN(TestWebPasswords)
#include "test_webpasswords.moc"
