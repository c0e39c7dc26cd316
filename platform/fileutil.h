#pragma once

#include <string>

// File and process utilities shared by every subsystem. They keep no state and may be called
// from any thread. Except where said, they report success whatever the system did: callers
// that need to know whether a file exists afterwards look for themselves.
namespace VelOS {

// Creates one directory (the parent must exist). Always true.
bool createDirectory(const std::string& path);

// Deletes one file. Always true.
bool deleteFile(const std::string& path);

// True when the path names a regular file (links followed).
bool isFile(const std::string& path);

// Copies a file, overwriting an existing target. Copying a file onto itself leaves it alone.
// Always true.
bool copyFile(const std::string& source, const std::string& target);

// Removes a directory with everything in it. Stops at the first entry that cannot be removed
// and returns false, leaving the rest in place; true if the directory is gone. Symbolic links
// inside the tree are removed, never followed, and a path that is itself a link is refused.
bool removeDirectoryTree(const std::string& directory);

// The part of a path after the last "/"; if there is none, after the last "\"; if there is
// neither, the whole text.
std::string fileNameOf(const std::string& path);

// Hands a file or a link to the desktop (xdg-open, started without a shell). The verb is
// what the caller wants done ("Open"); the desktop only knows how to open. Always true.
bool shellOpen(const std::string& verb, const std::string& file);

// How many openers may run at once in the whole player. An opener usually lives as long as the
// viewer it started, so this also bounds the viewers a client can pile onto the desktop.
constexpr int MaximumOpeners = 4;

// Like shellOpen, but refused (false, nothing started) while an opener started for the same
// owner still runs, or while MaximumOpeners run. Every opener is reaped when it ends.
bool shellOpenBounded(const std::string& owner, const std::string& verb, const std::string& file);

// Openers started by shellOpenBounded that are still running.
int runningOpeners();

// Ends (SIGTERM) every opener started by shellOpen or shellOpenBounded and the viewers they
// started, which live in the opener's process group: the player's viewers end with the player.
void endOpenedViewers();

// Sleeps that many milliseconds; nothing for 0 or less.
void sleep(int milliseconds);

} // namespace VelOS
