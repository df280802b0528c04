#pragma once

#include "platform/radioplayer.h"

#include <QStringList>

namespace tavirin {

// Records "radio open <url> stream|ask" and "radio stop"; the test answers for the server
// with answer(), later, as the real player reports later.
class FakeRadioPlayer final : public RadioPlayer {
public:
    void open(const QString& url, bool isStream, Listener listener) override {
        record(QStringLiteral("radio open ") + url +
               (isStream ? QStringLiteral(" stream") : QStringLiteral(" ask")));
        listener_ = std::move(listener);
    }
    void stop() override {
        record(QStringLiteral("radio stop"));
        listener_ = nullptr;
    }

    // What the open address turned out to be; nothing after a stop.
    void answer(Event event, const QString& detail = QString()) {
        const Listener listener = listener_;
        if (event != Event::Playing) listener_ = nullptr;
        if (listener) listener(event, detail);
    }

    QStringList calls;
    QStringList* journal = nullptr;

private:
    void record(const QString& line) {
        calls.append(line);
        if (journal) journal->append(line);
    }
    Listener listener_;
};

}  // namespace tavirin
