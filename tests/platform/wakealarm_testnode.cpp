// The wake alarm helper's logic with its node taken from TAVIRIN_TEST_WAKEALARM_NODE: what the
// stand-in for pkexec runs in the adapter's tests. A test program only; never installed (the
// installed helper takes its node from nowhere).
#include "wakehelper/wakealarmcommand.h"

#include <cstdlib>
#include <ctime>
#include <iostream>

int main(int argc, char** argv) {
    const char* path = std::getenv("TAVIRIN_TEST_WAKEALARM_NODE");
    if (!path) {
        std::cerr << "wakealarm_testnode: TAVIRIN_TEST_WAKEALARM_NODE not set\n";
        return 99;
    }
    const std::vector<std::string> args(argv + 1, argv + argc);
    tavirin::wakehelper::FileAlarmNode node(path);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return tavirin::wakehelper::run(args, node, now.tv_sec, std::cout, std::cerr);
}
