#pragma once

namespace VelOS {

// The player's lock order, the one place it is written down.
//
// Every lock of the player has a rank. A thread that holds locks may take only a lock of a
// higher rank than every lock it holds: connection, capture, staging, server list, model. Builds
// with lock checks (debug and sanitizer builds, VELQUIN_LOCK_CHECKS) stop the program with both
// locks named when a thread takes a lock of lower or equal rank than one it holds, whether or not
// another thread is there to deadlock with it.
//
// The engine's objects need no lock: only the main thread touches them (connection threads hand
// their engine work over as whole tasks, app/MainThreadQueue.h; the capture thread hands over its
// pictures and tracking results, app/CameraBackground.h).
//
// The order, and why:
// - connection: a connection's own handler lock, held while its commands run, so it comes
//   before everything its commands take.
// - capture: the camera's device and run (video/VelVideoCapture.h); camera commands and the
//   capture thread between frames. Never held while a frame is handed to a sink.
// - staging: the camera picture and the tracking results the capture thread hands to the main
//   thread (app/CameraBackground.h).
// - server list: one server's connection list, taken when net init or net done replace the
//   server and when a connection ends.
// - model: the project model and its listeners (project/ProjectModel.h), the last of all: project
//   work publishes to it, connection threads read and change it holding nothing else, and
//   nothing is taken while it is held.
// Two locks of the same rank (two servers) are never held together.
// Outside the ranks, each held alone or last: a connection's report to its server (OwnerLink's
// mutex) is held while the report takes the server's list lock, so it comes before the list lock;
// the main-thread queue's mutex is never held while anything else is taken; the tracking
// manager's own mutex (tracking/Manager.h) is taken alone, with no listener called under it.
//
// What stays in per-thread storage, and why (none of it carries a command's state: that is the
// command's context, platform/CommandContext.h):
// - the locks this thread holds (platform/Semaphore.cpp), for these checks: by nature per thread;
// - a reused string stream for reading numbers (net/Sentence.cpp) and the detector's work areas
//   (tracking/detection.cpp): memory kept between calls, never read before it is written;
// - the ZIP writer's last result (zip/ZipWriter.cpp), the C-style interface of the ZIP writer,
//   read right after the call on the same thread.
enum class LockRank : int {
    Unranked = 0, // a lock outside the player (tests, tools): not checked
    Connection = 1,
    Capture = 2,
    Staging = 3,
    ServerList = 4,
    Model = 5,
};

// "the staging lock" and so on, for messages.
const char* lockName(LockRank rank);

} // namespace VelOS
