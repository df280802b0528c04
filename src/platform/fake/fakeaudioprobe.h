#pragma once

#include "platform/audioprobe.h"

#include <QSet>

#include <mutex>

namespace tavirin {

// An output that is there unless told otherwise, and files that decode unless named bad.
class FakeAudioProbe final : public AudioProbe {
public:
    Result probeOutput() override { return output; }
    FileInfo probeFile(const QString& path) override {
        std::lock_guard lock(mutex_);
        probed << path;
        if (bad.contains(path))
            return {Result::failure(QStringLiteral("does not decode: ") + path)};
        return {Result::success(), 1000};
    }

    Result output;
    QSet<QString> bad;
    QStringList probed;

private:
    std::mutex mutex_;
};

}  // namespace tavirin
