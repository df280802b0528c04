// tavirin-wakealarm: sets or clears the PC's RTC wake alarm. Installed to
// /usr/libexec/tavirin/ and run as root through pkexec (org.tavirin.wakealarm.policy), so
// it takes its node and its clock from nowhere but here: not from the environment, not from
// an argument.
#include "wakehelper/wakealarmcommand.h"

#include <ctime>
#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    tavirin::wakehelper::FileAlarmNode node("/sys/class/rtc/rtc0/wakealarm");
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const int status = tavirin::wakehelper::run(args, node, now.tv_sec, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
