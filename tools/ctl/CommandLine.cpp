#include "tools/ctl/CommandLine.h"

#include "tools/ctl/ctlprotocol.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace VelCtl {

namespace {

// Short lines, one indentation per entry and "$ " before each example: help2man makes the
// manual page from this text.
const char* const Usage =
    R"(Usage: velquin-ctl [OPTION]... COMMAND [ARGUMENT]...
Drives a running Velquin player over TCP. A player listens once the sentence
"project.net.init(PORT);" has run, for example from the command file it was
started with.

Commands:
  send [SENTENCE]...     open a command connection, send each sentence and
                         print each reply on a line of its own
  send [-f FILE]         the same with one sentence per line of FILE, or of
                         standard input when no sentence and no FILE (or
                         "-") is given; empty lines and lines starting with
                         "#" are skipped
  listen [-n COUNT]      open a listener connection and print every event
                         sentence until interrupted, until the player closes
                         the connection or, with -n, until COUNT events have
                         arrived
  upload FILE [NAME]     send FILE ("-": standard input) into the player's
                         work directory as NAME (default: the file name of
                         FILE) and wait until the player has stored it
  download NAME [OUTPUT]
                         fetch NAME from the player's work directory into
                         OUTPUT (default: the file name of NAME in the
                         current directory; a directory: the file name
                         inside it; "-": standard output). The player sends
                         nothing for a missing file, so a download of no
                         bytes fails

Options:
  -H, --host HOST        the player's host (default: $VELQUIN_HOST, else
                         127.0.0.1)
  -p, --port PORT        the player's port (default: $VELQUIN_PORT, else
                         4000)
  -t, --timeout SECONDS  give up when the player does not answer within
                         SECONDS: when connecting, and for each reply, event
                         or piece of a transfer (default: 10 s to connect,
                         no limit afterwards)
  -h, --help             show this help and exit
  -V, --version          show the version and exit

Sentences are sent as written: quote texts ("...") and write numbers bare.
Exit status: 0 on success; 1 when a command replied "fail...", a transfer
failed or the player could not be reached; 2 on usage errors.

Examples:
  $ velquin-ctl send 'project.new();' 'project.title.get();'
  $ velquin-ctl -p 4001 send -f show.cmd
  $ velquin-ctl listen -n 1
  $ velquin-ctl upload robot.zip
  $ velquin-ctl send 'project.resources.create("r", "robot.zip");'
  $ velquin-ctl send 'project.save("show");'
  $ velquin-ctl download show.zip
)";

bool parsePort(const std::string& text, int& port) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 5) {
        return false;
    }
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < 1 || value > 65535) {
        return false;
    }
    port = static_cast<int>(value);
    return true;
}

bool parseSeconds(const std::string& text, int& milliseconds) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(seconds) || seconds < 0 || seconds > 2000000) {
        return false;
    }
    milliseconds = static_cast<int>(std::lround(seconds * 1000));
    if (seconds > 0 && milliseconds == 0) {
        milliseconds = 1;
    }
    return true;
}

bool parseCount(const std::string& text, long& count) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9) {
        return false;
    }
    count = std::strtol(text.c_str(), nullptr, 10);
    return count > 0;
}

// Splits "-pVALUE", "--port=VALUE" and "--port" (value in the next argument) alike.
struct OptionReader {
    const std::vector<std::string>& arguments;
    size_t& index;
    std::string& error;

    // True when arguments[index] is the option in its short or long form; value then holds its
    // value (empty with error set when it is missing).
    bool take(const char* shortForm, const char* longForm, std::string& value, bool& missing) {
        const std::string& argument = arguments[index];
        const std::string shortText = shortForm;
        const std::string longText = longForm;
        missing = false;
        if (argument == shortText || argument == longText) {
            if (index + 1 >= arguments.size()) {
                missing = true;
                error = "option " + argument + " needs a value";
                return true;
            }
            value = arguments[++index];
            return true;
        }
        std::string::size_type valueStart = 0;
        if (argument.size() > 2 && argument.compare(0, 2, shortText) == 0 && argument[1] != '-') {
            valueStart = 2;
        } else if (argument.compare(0, longText.size() + 1, longText + "=") == 0) {
            valueStart = longText.size() + 1;
        } else {
            return false;
        }
        value = argument.substr(valueStart);
        return true;
    }
};

} // namespace

const char* usageText() {
    return Usage;
}

bool parseCommandLine(const std::vector<std::string>& arguments, const char* hostVariable,
                      const char* portVariable, CommandLine& parsed, std::string& error) {
    parsed = CommandLine();
    if (hostVariable != nullptr && *hostVariable != '\0') {
        parsed.host = hostVariable;
    }
    if (portVariable != nullptr && *portVariable != '\0' && !parsePort(portVariable, parsed.port)) {
        error = std::string("VELQUIN_PORT is not a port number: ") + portVariable;
        return false;
    }

    std::vector<std::string> operands;
    bool help = false;
    bool version = false;
    bool fileGiven = false;
    bool countGiven = false;
    bool optionsEnded = false;
    for (size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "-h" || argument == "--help") {
            help = true;
            continue;
        }
        if (argument == "-V" || argument == "--version") {
            version = true;
            continue;
        }
        OptionReader reader{arguments, index, error};
        std::string value;
        bool missing = false;
        if (reader.take("-H", "--host", value, missing)) {
            if (missing) {
                return false;
            }
            if (value.empty()) {
                error = "the host must not be empty";
                return false;
            }
            parsed.host = value;
        } else if (reader.take("-p", "--port", value, missing)) {
            if (missing) {
                return false;
            }
            if (!parsePort(value, parsed.port)) {
                error = "not a port number (1 to 65535): " + value;
                return false;
            }
        } else if (reader.take("-t", "--timeout", value, missing)) {
            if (missing) {
                return false;
            }
            if (!parseSeconds(value, parsed.timeoutMilliseconds)) {
                error = "not a number of seconds: " + value;
                return false;
            }
        } else if (reader.take("-f", "--file", value, missing)) {
            if (missing) {
                return false;
            }
            parsed.sentenceFile = value;
            fileGiven = true;
        } else if (reader.take("-n", "--count", value, missing)) {
            if (missing) {
                return false;
            }
            if (!parseCount(value, parsed.eventCount)) {
                error = "not a positive count: " + value;
                return false;
            }
            countGiven = true;
        } else {
            error = "unknown option " + argument;
            return false;
        }
    }

    if (help) {
        parsed.action = CommandLine::Action::Help;
        return true;
    }
    if (version) {
        parsed.action = CommandLine::Action::Version;
        return true;
    }
    if (operands.empty()) {
        error = "no command given";
        return false;
    }
    const std::string command = operands.front();
    operands.erase(operands.begin());
    if (fileGiven && command != "send") {
        error = "-f belongs to send";
        return false;
    }
    if (countGiven && command != "listen") {
        error = "-n belongs to listen";
        return false;
    }

    if (command == "send") {
        parsed.action = CommandLine::Action::Send;
        if (fileGiven && !operands.empty()) {
            error = "send takes sentences or -f FILE, not both";
            return false;
        }
        parsed.sentences = operands;
        return true;
    }
    if (command == "listen") {
        parsed.action = CommandLine::Action::Listen;
        if (!operands.empty()) {
            error = "listen takes no arguments";
            return false;
        }
        return true;
    }
    if (command == "upload") {
        parsed.action = CommandLine::Action::Upload;
        if (operands.empty() || operands.size() > 2) {
            error = "upload needs FILE and, optionally, NAME";
            return false;
        }
        parsed.localFile = operands[0];
        if (operands.size() == 2) {
            parsed.remoteName = operands[1];
        } else if (parsed.localFile == "-") {
            error = "upload from standard input needs a NAME";
            return false;
        } else {
            parsed.remoteName = storedName(parsed.localFile);
        }
        if (!isStorableName(parsed.remoteName)) {
            error = "the player cannot store a file named '" + parsed.remoteName +
                    "' (it needs a file name without backslash or line break)";
            return false;
        }
        return true;
    }
    if (command == "download") {
        parsed.action = CommandLine::Action::Download;
        if (operands.empty() || operands.size() > 2) {
            error = "download needs NAME and, optionally, OUTPUT";
            return false;
        }
        parsed.remoteName = operands[0];
        std::string quoted;
        if (parsed.remoteName.empty() || !quoteArgument(parsed.remoteName, quoted)) {
            error = "cannot ask the player for a file named '" + parsed.remoteName +
                    "' (it needs a name without backslash or line break)";
            return false;
        }
        if (operands.size() == 2) {
            parsed.localFile = operands[1];
        } else if (!isStorableName(parsed.remoteName)) {
            error = "give an OUTPUT file for '" + parsed.remoteName + "'";
            return false;
        }
        if (operands.size() == 2 && parsed.localFile.empty()) {
            error = "the OUTPUT file must not be empty";
            return false;
        }
        return true;
    }
    error = "unknown command '" + command + "'";
    return false;
}

} // namespace VelCtl
