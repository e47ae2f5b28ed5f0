// Runs a program with arguments and an environment addition, capturing
// standard output, standard error and the exit status.
#pragma once

#include <chrono>
#include <string>
#include <vector>

struct ProcessResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
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

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& extraEnv, const SignalPlan& plan = {});
