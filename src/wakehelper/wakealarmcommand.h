#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

// The logic of tavirin-wakealarm, the one program of Tavirin that runs as root (through
// pkexec). It sets or clears the RTC's wake alarm and nothing else. Plain C++, no Qt: the
// less a root program loads, the better. docs/POWER.md describes the arguments and answers.
namespace tavirin::wakehelper {

// The furthest ahead an alarm may be set: the next school day after a holiday week.
inline constexpr std::int64_t kMaxAheadSeconds = 8 * 24 * 60 * 60;

// The exit status, which pkexec passes on (it keeps 126 and 127 for itself).
enum Exit : int {
    Done = 0,      // the RTC holds what was asked; stdout has the alarm line
    Refused = 2,   // the arguments were refused; nothing was written
    NoRtc = 3,     // no wake alarm node on this machine; nothing was written
    NotTaken = 4,  // written, but the RTC holds something else; stdout has what it holds
    Failed = 5,    // the node could not be read back; what it holds is unknown
};

// The wake alarm's sysfs attribute, or a file standing in for it in tests.
class AlarmNode {
public:
    virtual ~AlarmNode() = default;
    virtual bool exists() const = 0;
    // Replaces the node's content with `text` in one write; an empty answer means done,
    // anything else is why not.
    virtual std::string write(std::string_view text) = 0;
    // The node's whole content; an empty answer means done.
    virtual std::string read(std::string& content) = 0;
};

// A node at a path. Never creates the file: a missing node stays missing.
class FileAlarmNode final : public AlarmNode {
public:
    explicit FileAlarmNode(std::string path) : path_(std::move(path)) {}
    bool exists() const override;
    std::string write(std::string_view text) override;
    std::string read(std::string& content) override;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Runs one command: `args` are the program's arguments (without its name), `now` the wall
// clock in Unix seconds. Writes the one answer line to `out`, reasons to `err`, and returns
// the exit status.
int run(const std::vector<std::string>& args, AlarmNode& node, std::int64_t now, std::ostream& out,
        std::ostream& err);

}  // namespace tavirin::wakehelper
