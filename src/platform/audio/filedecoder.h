#pragma once

#include <QString>

typedef struct _GstElement GstElement;
typedef struct _GstBuffer GstBuffer;

namespace tavirin {

// The one raw format of a bell's output stream: every file is decoded to it, so the files
// follow each other in one stream whatever their own rate and channels.
struct StreamFormat {
    static constexpr int kRate = 44100;
    static constexpr int kChannels = 2;
    static constexpr int kFrameBytes = 2 * kChannels;  // S16LE
    static const char* caps();
};

// Decodes one sound file to StreamFormat PCM:
// uridecodebin ! audioconvert ! audioresample ! capsfilter ! appsink, running ahead of real
// time. Every call is non-blocking and belongs to one thread (the stream's worker); nothing
// here touches a sound device.
class FileDecoder {
public:
    enum class Pull { Buffer, Later, End, Failed };

    FileDecoder() = default;
    ~FileDecoder();
    FileDecoder(const FileDecoder&) = delete;
    FileDecoder& operator=(const FileDecoder&) = delete;

    // Starts decoding the file at `uri`; false with error() when it cannot even start.
    bool open(const QByteArray& uri);
    // The next decoded buffer (owned by the caller) in *out, or why there is none now.
    Pull pull(GstBuffer** out);
    QString error() const { return error_; }

    struct Links;  // what GStreamer's threads read while linking the decoded pad

private:
    bool fail(const QString& why);

    GstElement* pipeline_ = nullptr;
    GstElement* sink_ = nullptr;
    Links* links_ = nullptr;
    QString error_;
};

}  // namespace tavirin
