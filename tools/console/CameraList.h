#pragma once

// The cameras of the player's machine, as `velquin --list-cameras` reports them, for the page's
// camera set-up. Only asked when the console runs on the player's machine.

#include <nlohmann/json.hpp>

#include <string>

namespace VelConsole {

// Reads the player's listing into the page's choices: every line of a size that selects a
// format the player reads becomes {"device", "card", "label", "configuration"}; sizes that
// another format takes, and formats the player cannot read, are left out.
nlohmann::json parseCameraList(const std::string& listing);

// Runs "PROGRAM --list-cameras" (no shell) and returns its standard output, at most 256 KiB,
// waiting at most timeoutMilliseconds. False with reason set when it cannot be started, fails
// or takes too long (it is then killed). Blocks: call it off the network thread.
bool runCameraListing(const std::string& program, int timeoutMilliseconds, std::string& listing,
                      std::string& reason);

} // namespace VelConsole
