#pragma once

#include "actors/Actor.h"

namespace Ogre {
class AnimationState;
}

// The actors whose content can play an animation: mesh, light and scene actors. Adds the
// current animation and the playing flag, the action keywords that drive them, the per-frame
// advance and the marker gesture that starts and stops playback. Threads and locks as Actor.
class AnimatedActor : public Actor {
public:
    using Actor::Actor;

    // play, pause, animation, animation_loop, and the move, rotate and scale keywords; any
    // other keyword is ignored.
    void action(const std::string& keyword, const std::string& argument) override;

    // Empty while no animation was chosen.
    const std::string& getCurrentAnimation() const { return currentAnimation_; }
    bool isPlaying() const { return playing_; }

protected:
    // The animation state of that name of the kind's animation source; null when there is none.
    virtual Ogre::AnimationState* findAnimationState(const std::string& name) = 0;

    void advanceAnimation(float seconds) override;
    void gesture() override;
    // Resets the previous animation, enables the new one with its loop flag; nothing when the
    // name is the current one or the source has no such animation.
    void switchAnimation(const std::string& name, bool loop);

private:
    std::string currentAnimation_; // what advanceAnimation moves on
    bool playing_ = false;         // whether it moves on
};
