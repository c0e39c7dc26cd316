#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Runs the built player (build/player/velquin, or the copy in another folder) as a child
// process with the configuration dialog skipped, and reads its standard output.
class PlayerProcess {
public:
    PlayerProcess() = default;
    ~PlayerProcess();
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    // Folder of the player built with these tests (VELQUIN_PLAYER_DIR from CTest).
    static std::string builtPlayerDirectory();

    // Starts directory/velquin from inside directory with the given arguments and extra
    // environment entries ("NAME=value"). False if it could not be started.
    bool start(const std::string& directory, const std::vector<std::string>& arguments = {},
               const std::vector<std::string>& environment = {});
    // Runs the player through a launcher command ({"prlimit", "--nofile=160:160", "--"}) on the
    // next start.
    void setLauncher(std::vector<std::string> launcher) { launcher_ = std::move(launcher); }
    // Sends standard error into the same pipe as standard output on the next start.
    void captureStandardError() { captureStandardError_ = true; }

    // Reads standard output until a line starting with prefix arrives; that line, or "" after
    // the timeout or the end of the output.
    std::string waitForLine(const std::string& prefix, int timeoutMilliseconds);
    // Everything read from standard output so far.
    const std::string& output() const { return output_; }
    // The exit status (0..255), -1 on timeout or a signal, after waiting up to the timeout. In
    // the ASan build a sanitizer's report at the player's end, leaks included, makes it 1, so a
    // test that expects the status it should have fails on the report.
    int waitForExit(int timeoutMilliseconds);
    bool running();
    void kill();
    pid_t pid() const { return pid_; }

private:
    bool readSome(int timeoutMilliseconds);

    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    std::string output_;
    size_t scanned_ = 0;
    int status_ = -1;
    std::vector<std::string> launcher_;
    bool captureStandardError_ = false;
};
