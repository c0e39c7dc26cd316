// The project document loader on arbitrary text.
#include "project/SceneSerializer.h"
#include "support/RecordingInventory.h"
#include "support/RecordingOperations.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RecordingOperations operations;
    RecordingInventory inventory;
    operations.result = size > 0 && (data[0] & 1) != 0;
    VelOS::CommandContext context;
    SceneSerializer::buildFromText(context, std::string(reinterpret_cast<const char*>(data), size),
                                   operations, inventory, "/nonexistent-work/");
    return 0;
}
