#include "web/requestscanner.h"

#include <QList>

namespace tavirin {

namespace {

bool isTokenChar(char c) {
    // RFC 9110 tchar
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '!':
        case '#':
        case '$':
        case '%':
        case '&':
        case '\'':
        case '*':
        case '+':
        case '-':
        case '.':
        case '^':
        case '_':
        case '`':
        case '|':
        case '~':
            return true;
        default:
            return false;
    }
}

bool isToken(const QByteArray& s) {
    if (s.isEmpty()) return false;
    for (char c : s)
        if (!isTokenChar(c)) return false;
    return true;
}

// Visible ASCII and the bytes of UTF-8 text; no control character but the tab.
bool isFieldValue(const QByteArray& s) {
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\t') continue;
        if (c < 0x20 || c == 0x7f) return false;
    }
    return true;
}

}  // namespace

RequestScanner::Verdict RequestScanner::fail(int status, const char* code, const char* why) {
    state_ = State::Failed;
    verdict_ = {status, code, why};
    return verdict_;
}

RequestScanner::Verdict RequestScanner::feed(const char* data, qsizetype size) {
    qsizetype i = 0;
    while (i < size) {
        if (state_ == State::Failed) return verdict_;
        if (state_ == State::Body) {
            const qsizetype take = qMin<qint64>(bodyLeft_, size - i);
            bodyLeft_ -= take;
            i += take;
            if (bodyLeft_ == 0) state_ = State::Head;
            continue;
        }
        // Empty lines before a request are allowed (RFC 9112 2.2) and not counted.
        const char c = data[i++];
        if (headBytes_ == 0 && (c == '\r' || c == '\n')) continue;
        head_.append(c);
        ++headBytes_;
        if (headBytes_ > kMaxHead)
            return fail(431, "headers-too-large", "request line and headers over 8 KiB");
        if (c == '\n' && (head_.endsWith("\r\n\r\n") || head_.endsWith("\n\n"))) {
            const Verdict v = headDone();
            if (v.status) return v;
        }
    }
    return state_ == State::Failed ? verdict_ : Verdict{};
}

RequestScanner::Verdict RequestScanner::headDone() {
    ++requests_;
    QList<QByteArray> lines = head_.split('\n');
    head_.clear();
    headBytes_ = 0;
    for (QByteArray& l : lines)
        if (l.endsWith('\r')) l.chop(1);
    while (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    if (lines.isEmpty()) return fail(400, "bad-request", "empty request");

    // method SP target SP HTTP/1.x
    const QList<QByteArray> parts = lines.first().split(' ');
    if (parts.size() != 3) return fail(400, "bad-request", "request line is not three words");
    if (!isToken(parts[0])) return fail(400, "bad-request", "method is not a token");
    const QByteArray& target = parts[1];
    if (target.isEmpty() || (target[0] != '/' && target != "*"))
        return fail(400, "bad-request", "target is not an absolute path");
    for (char ch : target) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7f) return fail(400, "bad-request", "target has a raw byte");
    }
    if (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0")
        return fail(505, "bad-request", "not HTTP/1.0 or 1.1");

    qint64 length = 0;
    bool sawLength = false;
    for (qsizetype n = 1; n < lines.size(); ++n) {
        const QByteArray& line = lines[n];
        if (line.startsWith(' ') || line.startsWith('\t'))
            return fail(400, "bad-request", "folded header line");
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) return fail(400, "bad-request", "header line without a name");
        const QByteArray name = line.left(colon);
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (!isToken(name)) return fail(400, "bad-request", "header name is not a token");
        if (!isFieldValue(value)) return fail(400, "bad-request", "control byte in a header");
        const QByteArray lower = name.toLower();
        if (lower == "transfer-encoding")
            // Only bodies of a stated length: a chunked body's size is not known in advance.
            return fail(411, "bad-request", "transfer-encoding is not taken");
        if (lower == "content-length") {
            bool ok = false;
            const qint64 v = value.toLongLong(&ok);
            for (char d : value)
                if (d < '0' || d > '9') ok = false;
            if (!ok || v < 0) return fail(400, "bad-request", "content-length is not a number");
            if (sawLength && v != length)
                return fail(400, "bad-request", "two different content-lengths");
            sawLength = true;
            length = v;
        }
    }
    if (length > kMaxBody) return fail(413, "too-large", "body over 64 KiB");
    if (length > 0) {
        bodyLeft_ = length;
        state_ = State::Body;
    }
    return {};
}

}  // namespace tavirin
