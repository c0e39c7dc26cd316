#include "tools/console/ProjectSnapshot.h"

#include "tools/console/ConsoleProtocol.h"
#include "tools/ctl/ctlprotocol.h"

namespace VelConsole {

namespace {

// How a reply reads.
enum Shape { Text, List, Numbers, Integer, Truth, Selected };

nlohmann::json read(const std::string& reply, int shape) {
    switch (shape) {
    case Text: {
        std::string text;
        return parseQuoted(reply, text) ? text : std::string();
    }
    case List: {
        std::vector<std::string> entries;
        parseList(reply, entries);
        return entries;
    }
    case Numbers: {
        std::vector<double> numbers;
        parseNumbers(reply, numbers);
        return numbers;
    }
    case Integer:
        try {
            return std::stol(reply);
        } catch (...) {
            return 0;
        }
    case Truth:
        return reply == "true";
    case Selected:
        return reply == "ok";
    }
    return nullptr;
}

struct Single {
    const char* sentence;
    const char* path; // where the value goes: "title", "camera/device", ...
    Shape shape;
};

// The first round after the five lists.
const Single singles[] = {
    {"project.title.get", "title", Text},
    {"project.debug.isVisible", "debug", Truth},
    {"project.videocapture.isCapturing", "camera/capturing", Truth},
    {"project.videocapture.getDeviceName", "camera/device", Text},
    {"project.videocapture.getConfiguration", "camera/configuration", Text},
    {"project.videocapture.flipX.get", "camera/flipX", Truth},
    {"project.videocapture.flipY.get", "camera/flipY", Truth},
    {"project.videocapture.threshold.isAuto", "camera/thresholdAuto", Truth},
    {"project.videocapture.threshold.getValue", "camera/threshold", Integer},
};

const char* const actorKinds[] = {"mesh", "scene", "file", "light"};

struct Detail {
    const char* kinds;   // the actor kinds that have it, blank-separated ("" for every kind)
    const char* command; // appended to "project.actors.KIND." (or "project.actors." when general)
    bool general;        // a command of project.actors itself
    const char* field;
    Shape shape;
};

const Detail actorDetails[] = {
    {"", "getTrackerName", false, "tracker", Text},
    {"", "getTranslation", false, "position", Numbers},
    {"", "getAnimationsList", true, "animations", List},
    {"", "isSelected", true, "selected", Selected},
    {"mesh scene file", "getResourceName", false, "resource", Text},
    {"mesh", "getMeshName", false, "file", Text},
    {"scene", "getSceneName", false, "file", Text},
    {"file", "getFileName", false, "file", Text},
    {"file", "getType", false, "type", Text},
    {"mesh scene", "getAngles", false, "angles", Numbers},
    {"mesh scene", "getScale", false, "scale", Numbers},
};

bool hasKind(const char* kinds, const std::string& kind) {
    const std::string list = std::string(" ") + kinds + " ";
    return kinds[0] == '\0' || list.find(" " + kind + " ") != std::string::npos;
}

std::string ask(const std::string& command, const std::string& name) {
    std::string quoted;
    VelCtl::quoteArgument(name, quoted);
    return command + "(" + quoted + ");" + VelCtl::LineEnd;
}

} // namespace

std::vector<std::string> ProjectSnapshot::firstQuestions() const {
    std::vector<std::string> sentences = {
        std::string("project.resources.getList();") + VelCtl::LineEnd,
        std::string("project.trackers.AR.getList();") + VelCtl::LineEnd,
    };
    for (const char* kind : actorKinds) {
        sentences.push_back(std::string("project.actors.") + kind + ".getList();" + VelCtl::LineEnd);
    }
    for (const Single& single : singles) {
        sentences.push_back(std::string(single.sentence) + "();" + VelCtl::LineEnd);
    }
    return sentences;
}

std::vector<std::string> ProjectSnapshot::secondQuestions(const std::vector<std::string>& firstReplies) {
    auto reply = [&](std::size_t index) {
        return index < firstReplies.size() ? firstReplies[index] : std::string();
    };
    state_ = {{"resources", nlohmann::json::object()},
              {"trackers", nlohmann::json::object()},
              {"actors", nlohmann::json::object()},
              {"camera", nlohmann::json::object()}};
    questions_.clear();
    std::vector<std::string> sentences;
    auto detail = [&](const std::string& group, const std::string& item, const std::string& command,
                      const std::string& field, int shape) {
        questions_.push_back({item, group, field, shape});
        sentences.push_back(ask(command, item));
    };

    std::vector<std::string> names;
    parseList(reply(0), names);
    for (const std::string& name : names) {
        state_["resources"][name] = nlohmann::json::object();
        detail("resources", name, "project.resources.getFilename", "filename", Text);
        detail("resources", name, "project.resources.getFilesInside", "files", List);
    }
    parseList(reply(1), names);
    for (const std::string& name : names) {
        state_["trackers"][name] = nlohmann::json::object();
        detail("trackers", name, "project.trackers.AR.getPatternFilename", "pattern", Text);
        detail("trackers", name, "project.trackers.AR.getWidth", "width", Integer);
    }
    std::size_t index = 2;
    for (const char* kind : actorKinds) {
        parseList(reply(index++), names);
        for (const std::string& name : names) {
            state_["actors"][name] = {{"kind", kind}};
            for (const Detail& wanted : actorDetails) {
                if (hasKind(wanted.kinds, kind)) {
                    const std::string command =
                        wanted.general ? std::string("project.actors.") + wanted.command
                                       : std::string("project.actors.") + kind + "." + wanted.command;
                    detail("actors", name, command, wanted.field, wanted.shape);
                }
            }
        }
    }
    for (const Single& single : singles) {
        const std::string path = single.path;
        const std::string::size_type slash = path.find('/');
        nlohmann::json value = read(reply(index++), single.shape);
        if (slash == std::string::npos) {
            state_[path] = std::move(value);
        } else {
            state_[path.substr(0, slash)][path.substr(slash + 1)] = std::move(value);
        }
    }
    return sentences;
}

nlohmann::json ProjectSnapshot::assemble(const std::vector<std::string>& secondReplies) const {
    nlohmann::json state = state_;
    for (std::size_t index = 0; index < questions_.size(); ++index) {
        const Question& question = questions_[index];
        const std::string reply = index < secondReplies.size() ? secondReplies[index] : std::string();
        state[question.group][question.item][question.field] = read(reply, question.shape);
    }
    return state;
}

} // namespace VelConsole
