#pragma once

#include <string>

class ByteChannel;
class LineChannel;
class ProjectOperations;
class RemoteServices;

// The command interpreter: the command loop over a line channel, and the two file transfers.
// Runs on the thread of the connection that asked for it (or the main thread for the start-up
// command file); holds no lock itself, every project operation takes its own.
class SceneParser {
public:
    // Reads sentences until the channel ends or "quit" arrives, runs the matching command of
    // the command table for each and writes one reply line per sentence.
    static void dispatch(ProjectOperations& operations, LineChannel& channel);

    // Stores the announced bytes in the work directory under the part of name after its last
    // "/". A name that would lead out of the work directory stores nothing; its bytes are read
    // and dropped as for a file that cannot be created.
    static void uploadFile(RemoteServices& services, ByteChannel& channel, const std::string& name,
                           long size);

    // Sends a file of the work directory, raw, in chunks of 1024 bytes. A missing file, or a name
    // that would lead out of the work directory, sends nothing.
    static void downloadFile(RemoteServices& services, ByteChannel& channel, const std::string& name);
};
