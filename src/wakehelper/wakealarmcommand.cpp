#include "wakehelper/wakealarmcommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <ostream>

namespace tavirin::wakehelper {

namespace {

constexpr std::string_view kName = "tavirin-wakealarm: ";

// An argument as it may be quoted back in a message: printable ASCII only, bounded.
std::string quoted(std::string_view s) {
    std::string out = "'";
    for (std::size_t i = 0; i < s.size() && i < 40; ++i)
        out += (s[i] >= 0x20 && s[i] < 0x7f) ? s[i] : '?';
    if (s.size() > 40) out += "...";
    return out + "'";
}

// Decimal digits only: no sign, no space, no hexadecimal (the kernel would take "0x..."),
// nothing that does not fit.
std::optional<std::int64_t> seconds(std::string_view s) {
    if (s.empty() || s.size() > 18) return std::nullopt;
    for (char c : s)
        if (c < '0' || c > '9') return std::nullopt;
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

// What the node says is set: the kernel shows nothing (or a stand-in "0") for no alarm and
// the alarm's Unix time otherwise. 0 means none; nullopt, that the content is not a time.
std::optional<std::int64_t> heldAlarm(std::string content) {
    if (!content.empty() && content.back() == '\n') content.pop_back();
    if (content.empty()) return 0;
    return seconds(content);
}

std::string answerLine(std::int64_t alarm) {
    return alarm == 0 ? "alarm none" : "alarm " + std::to_string(alarm);
}

int refuse(std::ostream& err, const std::string& why) {
    err << kName << "refused: " << why << '\n';
    return Refused;
}

}  // namespace

bool FileAlarmNode::exists() const {
    struct stat st {};
    return ::stat(path_.c_str(), &st) == 0;
}

std::string FileAlarmNode::write(std::string_view text) {
    const int fd = ::open(path_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return "cannot open " + path_ + ": " + std::strerror(errno);
    // sysfs takes an attribute in one write and answers the RTC's refusal (EBUSY, EINVAL,
    // ERANGE) from it.
    const ssize_t n = ::write(fd, text.data(), text.size());
    const int writeErrno = errno;
    const int closed = ::close(fd);
    if (n < 0) return "cannot write " + path_ + ": " + std::strerror(writeErrno);
    if (std::size_t(n) != text.size()) return "short write to " + path_;
    if (closed != 0) return "cannot write " + path_ + ": " + std::strerror(errno);
    return {};
}

std::string FileAlarmNode::read(std::string& content) {
    content.clear();
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return "cannot open " + path_ + ": " + std::strerror(errno);
    char buf[64];
    std::string err;
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err = "cannot read " + path_ + ": " + std::strerror(errno);
            break;
        }
        if (n == 0) break;
        content.append(buf, std::size_t(n));
        // a time is a few digits; anything longer is not the wake alarm
        if (content.size() > 256) {
            err = path_ + " holds more than a time";
            break;
        }
    }
    ::close(fd);
    return err;
}

int run(const std::vector<std::string>& args, AlarmNode& node, std::int64_t now, std::ostream& out,
        std::ostream& err) {
    const bool isClear = args.size() == 1 && args[0] == "clear";
    const bool isSet = args.size() == 2 && args[0] == "set";
    if (!isClear && !isSet) return refuse(err, "usage: tavirin-wakealarm set EPOCH | clear");

    std::int64_t wanted = 0;  // 0: no alarm
    if (isSet) {
        const auto epoch = seconds(args[1]);
        if (!epoch) return refuse(err, quoted(args[1]) + " is not a Unix time in whole seconds");
        if (*epoch <= now)
            return refuse(err, std::to_string(*epoch) + " is not in the future (now " +
                                   std::to_string(now) + ")");
        if (*epoch - now > kMaxAheadSeconds)
            return refuse(err, std::to_string(*epoch) + " is more than 8 days ahead (now " +
                                   std::to_string(now) + ")");
        wanted = *epoch;
    }
    if (!node.exists()) {
        err << kName << "refused: no RTC wake alarm on this machine\n";
        return NoRtc;
    }

    // The kernel refuses a new alarm while one is set (EBUSY): clear it first.
    std::string problem = node.write("0");
    if (problem.empty() && wanted != 0) problem = node.write(std::to_string(wanted));
    if (!problem.empty()) err << kName << problem << '\n';

    std::string content;
    if (const std::string readErr = node.read(content); !readErr.empty()) {
        err << kName << readErr << '\n';
        return Failed;
    }
    const auto held = heldAlarm(content);
    if (!held) {
        err << kName << "the wake alarm reads back " << quoted(content) << ", not a time\n";
        return Failed;
    }
    out << answerLine(*held) << '\n';
    if (*held != wanted) {
        if (problem.empty())
            err << kName << "the RTC did not take " << answerLine(wanted) << " and holds "
                << answerLine(*held) << '\n';
        return NotTaken;
    }
    return Done;
}

}  // namespace tavirin::wakehelper
