// The limits a request is held to before the HTTP parser sees it, fed as a client sends it:
// whole, byte by byte, several on one connection.
#include "web/requestscanner.h"

#include <QTest>

using namespace tavirin;

namespace {

RequestScanner::Verdict feedAll(RequestScanner& s, const QByteArray& bytes, int chunk) {
    RequestScanner::Verdict v;
    for (qsizetype i = 0; i < bytes.size(); i += chunk) {
        v = s.feed(bytes.mid(i, chunk));
        if (v.status) return v;
    }
    return v;
}

QByteArray get(const QByteArray& extra = {}) {
    return "GET /api/v1/state HTTP/1.1\r\nHost: 127.0.0.1:8443\r\n" + extra + "\r\n";
}

}  // namespace

class TestRequestScanner : public QObject {
    Q_OBJECT

private slots:
    void verdicts_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status");
        QTest::newRow("a plain GET") << get() << 0;
        QTest::newRow("a POST with its body")
            << QByteArray(
                   "POST /api/v1/ring HTTP/1.1\r\nHost: x\r\nContent-Length: "
                   "13\r\n\r\n{\"period\":3}\n")
            << 0;
        QTest::newRow("bare LF line ends") << QByteArray("GET / HTTP/1.1\nHost: x\n\n") << 0;
        QTest::newRow("empty lines before the request") << "\r\n\r\n" + get() << 0;
        QTest::newRow("HTTP/1.0") << QByteArray("GET / HTTP/1.0\r\n\r\n") << 0;
        QTest::newRow("UTF-8 in a header value") << get("X-Name: ครู\r\n") << 0;
        QTest::newRow("head just at 8 KiB")
            << get("X-Pad: " + QByteArray(RequestScanner::kMaxHead - get().size() - 9, 'a') +
                   "\r\n")
            << 0;
        QTest::newRow("head one byte over 8 KiB")
            << get("X-Pad: " + QByteArray(RequestScanner::kMaxHead - get().size() - 8, 'a') +
                   "\r\n")
            << 431;
        QTest::newRow("a request line over 8 KiB, never ended")
            << "GET /" + QByteArray(9000, 'a') << 431;
        QTest::newRow("body at 64 KiB")
            << "PUT /p HTTP/1.1\r\nContent-Length: 65536\r\n\r\n" + QByteArray(65536, 'x') << 0;
        QTest::newRow("body over 64 KiB")
            << QByteArray("PUT /p HTTP/1.1\r\nContent-Length: 65537\r\n\r\n") << 413;
        QTest::newRow("chunked body") << get("Transfer-Encoding: chunked\r\n") << 411;
        QTest::newRow("two lengths that differ")
            << get("Content-Length: 1\r\nContent-Length: 2\r\n") << 400;
        QTest::newRow("a length that is no number") << get("Content-Length: 1e3\r\n") << 400;
        QTest::newRow("a negative length") << get("Content-Length: -1\r\n") << 400;
        QTest::newRow("TLS bytes on plain HTTP")
            << QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15) << 400;
        QTest::newRow("two words") << QByteArray("GET /\r\n\r\n") << 400;
        QTest::newRow("HTTP/2 preface") << QByteArray("PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n") << 505;
        QTest::newRow("unknown version") << QByteArray("GET / HTTP/9.9\r\n\r\n") << 505;
        QTest::newRow("absolute URL target") << QByteArray("GET http://x/ HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("raw byte in the target") << QByteArray("GET /\x01 HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("method not a token") << QByteArray("G(T / HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("header without a colon") << get("NoColon\r\n") << 400;
        QTest::newRow("header name with a space") << get("Bad Name: x\r\n") << 400;
        QTest::newRow("NUL in a header value") << get(QByteArray("X-A: a\0b\r\n", 10)) << 400;
        QTest::newRow("folded header line") << get("X-A: a\r\n  b\r\n") << 400;
    }
    // The same verdict whether the bytes come at once or one by one.
    void verdicts() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        for (int chunk : {int(bytes.size()), 1, 7}) {
            RequestScanner s;
            QCOMPARE(feedAll(s, bytes, qMax(1, chunk)).status, status);
        }
    }

    // Keep-alive and pipelining: every request on the connection is held to the limits, the
    // body of one is not taken for the head of the next.
    void requestsFollowOneAnother() {
        RequestScanner s;
        const QByteArray post = "POST /a HTTP/1.1\r\nContent-Length: 4\r\n\r\n\r\n\r\n";
        QCOMPARE(feedAll(s, get() + post + get(), 5).status, 0);
        QCOMPARE(s.requests(), 3);
        QVERIFY(!s.midRequest());
        // A small head after many: the count starts again with each request.
        for (int i = 0; i < 20; ++i)
            QCOMPARE(s.feed(get("X-Pad: " + QByteArray(4000, 'p') + "\r\n")).status, 0);
        QCOMPARE(s.feed(QByteArray("GET /")).status, 0);
        QVERIFY(s.midRequest());
    }

    // Once refused, the connection stays refused: its later bytes are not looked at afresh.
    void aRefusalStays() {
        RequestScanner s;
        QCOMPARE(s.feed(QByteArray("GET / HTTP/9.9\r\n\r\n")).status, 505);
        QCOMPARE(s.feed(get()).status, 505);
    }
};

QTEST_GUILESS_MAIN(TestRequestScanner)
#include "test_requestscanner.moc"
