#pragma once

namespace VelOS {

// The player's lock order, the one place it is written down.
//
// Every lock of the player has a rank. A thread that holds locks may take only a lock of a
// higher rank than every lock it holds: frame, image, scene, tracker listener; the capture lock
// and a server's list lock after the scene lock; the model lock last. Builds with lock checks (debug and sanitizer
// builds, VELQUIN_LOCK_CHECKS) stop the program with both locks named when a thread takes a
// lock of lower or equal rank than one it holds, whether or not another thread is there to
// deadlock with it.
//
// The order, and why:
// - connection: a connection's own handler lock, held while its commands run, so it comes
//   before everything its commands take.
// - frame: one frame on the main thread; project work and the capture thread's frame sink take
//   it first so that nothing changes the engine's scene while a frame is drawn.
// - image: the staging image of the video background, filled under the frame lock.
// - scene: the project and the listener registry; the frame sink takes it after the image lock
//   to run marker tracking.
// - tracker listener: one tracker's set of actors, fanned out to under the scene lock.
// - capture: the camera's device and run; net init, net done and camera commands take it under
//   the scene lock.
// - server list: one server's connection list, taken under the scene lock when net init or net
//   done replace the server.
// - model: the project model and its listeners (project/ProjectModel.h), the last of all: project
//   work publishes to it under the frame and scene locks, connection threads read and change it
//   holding nothing else, and nothing is taken while it is held.
// Two locks of the same rank (two trackers, two servers) are never held together.
// Outside the ranks: a connection's report to its server (OwnerLink's mutex) is held while the
// report takes the server's list lock, so it comes before the list lock; the main-thread queue's
// mutex is never held while anything else is taken.
enum class LockRank : int {
    Unranked = 0, // a lock outside the player (tests, tools): not checked
    Connection = 1,
    Frame = 2,
    Image = 3,
    Scene = 4,
    TrackerListener = 5,
    Capture = 6,
    ServerList = 7,
    Model = 8,
};

// "the scene lock" and so on, for messages.
const char* lockName(LockRank rank);

} // namespace VelOS
