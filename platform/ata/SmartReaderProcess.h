#pragma once

#include <chrono>
#include <string>
#include <vector>

// One run of the SMART reader: started with the given arguments, an empty
// environment, no input and no error stream, and waited for at most the
// given time; a reader still running then is killed. At most maxOutput
// bytes of its standard output are kept.
class SmartReaderProcess {
public:
    enum class Outcome {
        finished,   // exited; exitStatus holds its status
        notStarted, // the program could not be started; startError holds errno
        timedOut,   // killed after the time ran out
        killed,     // ended by a signal, or too much output
    };

    static SmartReaderProcess run(const std::string& program,
                                  const std::vector<std::string>& arguments,
                                  std::chrono::milliseconds limit, size_t maxOutput);

    Outcome outcome = Outcome::notStarted;
    int exitStatus = -1;
    int startError = 0;
    std::string output;
};
