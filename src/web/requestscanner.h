#pragma once

#include <QByteArray>

namespace tavirin {

// Watches the bytes a client sends, request after request on one connection, before the
// HTTP parser sees them, and says when a request breaks the page's limits or is not HTTP
// at all. The parser takes any length and, on a malformed request, drops the connection
// without an answer; this answers with a 4xx first and keeps every request small.
class RequestScanner {
public:
    static constexpr int kMaxHead = 8 * 1024;   // request line and headers
    static constexpr int kMaxBody = 64 * 1024;  // the body

    struct Verdict {
        int status = 0;         // 0: fine so far; else the 4xx/5xx to answer before closing
        const char* code = "";  // the API's error code
        const char* why = "";   // for the log
    };

    // The next bytes of the connection, in order. Once a verdict is not fine, the scanner
    // stays on it.
    Verdict feed(const char* data, qsizetype size);
    Verdict feed(const QByteArray& bytes) { return feed(bytes.constData(), bytes.size()); }

    // In the middle of a request (its head begun, or its body not all here).
    bool midRequest() const { return state_ == State::Body || headBytes_ > 0; }
    // Requests whose head was complete so far.
    int requests() const { return requests_; }

private:
    enum class State { Head, Body, Failed };
    Verdict fail(int status, const char* code, const char* why);
    Verdict headDone();

    State state_ = State::Head;
    Verdict verdict_;
    QByteArray head_;
    qsizetype headBytes_ = 0;
    qint64 bodyLeft_ = 0;
    int requests_ = 0;
};

}  // namespace tavirin
