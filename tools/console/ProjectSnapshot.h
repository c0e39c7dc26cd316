#pragma once

// The project's state for a page that opens, read with the list and get commands in two rounds:
// first the lists and the single values, then the details of every resource, tracker and actor
// found. Each round is sent as one batch (the replies come in order), so the whole state costs
// two round trips whatever the project's size. Pure text in, JSON out: the caller runs the
// sentences on a command connection.
//
// The JSON, as the page reads it:
//   { "title": TEXT, "debug": BOOL,
//     "camera": { "capturing", "device", "configuration", "flipX", "flipY", "thresholdAuto", "threshold" },
//     "resources": { NAME: { "filename", "files": [..] } },
//     "trackers": { NAME: { "pattern", "width" } },
//     "actors": { NAME: { "kind": "mesh"|"scene"|"file"|"light", "tracker", "position": [x, y, z],
//                         "animations": [..], "selected", and by kind "resource", "file", "type",
//                         "angles": [pitch, yaw, roll], "scale": [x, y, z] } } }

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace VelConsole {

class ProjectSnapshot {
public:
    // The first round's sentences, each with its CR LF.
    std::vector<std::string> firstQuestions() const;
    // Reads the first round's replies (one per question, in order) and returns the second
    // round's sentences. Replies that do not parse count as empty lists and values.
    std::vector<std::string> secondQuestions(const std::vector<std::string>& firstReplies);
    // The whole state from the second round's replies.
    nlohmann::json assemble(const std::vector<std::string>& secondReplies) const;

private:
    // One detail asked of one item: the JSON field it fills, and how its reply reads.
    struct Question {
        std::string item;  // resource, tracker or actor name
        std::string group; // "resources", "trackers" or "actors"
        std::string field;
        int shape;
    };

    nlohmann::json state_;            // what the first round told
    std::vector<Question> questions_; // the second round, in the order it was asked
};

} // namespace VelConsole
