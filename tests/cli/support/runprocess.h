// Runs a program (with the test's environment), capturing standard output,
// standard error and the exit status, and optionally sending it a signal.
#pragma once

#include <chrono>
#include <string>
#include <vector>

struct ProcessResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out, err;
    // With a signal to send: whether it was sent, and how long after it the
    // program's output ended and it exited.
    bool signalled = false;
    double msFromSignalToExit = 0;
};

// A signal to send once standard error holds `after`, `delay` later.
struct SignalPlan {
    int signal = 0;
    std::string after;
    std::chrono::milliseconds delay{0};
};

// Where the program runs and what it reads: the test's folder and /dev/null
// unless given.
struct RunPlace {
    std::string cwd;
    std::string stdinFile;
};

// argv[0] is the program's path.
ProcessResult RunProcess(const std::vector<std::string>& argv, const SignalPlan& plan = {}, const RunPlace& place = {});

// The lines of captured output, without their line ends.
std::vector<std::string> Lines(const std::string& text);
