#pragma once

// Runs the built velquin-ctl as a child process, as a user or a script would: arguments, an
// optional standard input, extra environment entries, a working directory; collects standard
// output, standard error and the exit status.

#include <string>
#include <sys/types.h>
#include <vector>

class CtlProcess {
public:
    CtlProcess() = default;
    ~CtlProcess();
    CtlProcess(const CtlProcess&) = delete;
    CtlProcess& operator=(const CtlProcess&) = delete;

    // The velquin-ctl built beside the player (VELQUIN_PLAYER_DIR from CTest).
    static std::string program();

    // Starts velquin-ctl; input becomes its standard input. False if it could not be started.
    bool start(const std::vector<std::string>& arguments, const std::string& input = "",
               const std::vector<std::string>& environment = {}, const std::string& directory = "");
    // Reads output until standard output holds text; false when it did not come in time.
    bool waitForOutput(const std::string& text, int timeoutMilliseconds);
    // Waits for the end and returns the exit status; 128 + n after signal n; -1 when it was
    // still running after the timeout (it is killed then).
    int finish(int timeoutMilliseconds);
    void signal(int number);

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    // Reads what is there, waiting up to the timeout for something; false when nothing came.
    bool pump(int timeoutMilliseconds);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
};

struct CtlResult {
    int status;
    std::string out;
    std::string err;
};

// Runs velquin-ctl to its end (at most 60 s).
CtlResult runCtl(const std::vector<std::string>& arguments, const std::string& input = "",
                 const std::vector<std::string>& environment = {}, const std::string& directory = "");
