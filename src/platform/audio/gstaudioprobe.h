#pragma once

#include "platform/audioprobe.h"

namespace tavirin {

// AudioProbe on GStreamer. The output is the bells' own sink description opened to READY
// (the device is opened, nothing is played) and looked at the way the bell's stream looks at
// it; a file is run through the discoverer, which decodes its start and reads its length.
//
// Opening a device can hang on a frozen sound server: it runs on a thread of its own, and
// after kOutputLimitMs the probe answers "no answer" and leaves that thread to end by itself.
class GstAudioProbe final : public AudioProbe {
public:
    static constexpr int kOutputLimitMs = 5000;
    static constexpr int kFileLimitMs = 5000;

    explicit GstAudioProbe(QString sinkDescription = QStringLiteral("autoaudiosink"));

    Result probeOutput() override;
    FileInfo probeFile(const QString& path) override;

private:
    QString sinkDescription_;
};

}  // namespace tavirin
