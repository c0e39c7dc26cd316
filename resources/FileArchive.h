#pragma once

#include <string>
#include <vector>

// Writes a ZIP archive holding each listed file under its bare file name, in list order.
// Always true: a file that cannot be read is left out. Keeps no state; any thread.
bool archiveFiles(const std::string& archive, const std::vector<std::string>& files);
