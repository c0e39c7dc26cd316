#pragma once

#include "platform/RotatingLog.h"

#include <OGRE/OgreLog.h>

#include <string>

// Takes the engine log's messages (the engine's own and every line the player writes there)
// into log.txt through a RotatingLog, which counts floods of like lines and rotates the file at
// its size, instead of the engine's own file, which grows without bound.
//
// Called by the engine's log on whichever thread logs; the RotatingLog serialises the writes.
class LogFileListener : public Ogre::LogListener {
public:
    explicit LogFileListener(const std::string& path) : file_(path) {}

    void messageLogged(const Ogre::String& message, Ogre::LogMessageLevel, bool, const Ogre::String&,
                       bool&) override {
        file_.write(message);
    }
    // Writes the counts of floods that have ended; the main loop calls it once a second.
    void flush() { file_.flush(); }

private:
    VelOS::RotatingLog file_;
};
