#include "actors/AnimatedActor.h"

#include "actors/ActorTexts.h"

#include <OGRE/OgreAnimationState.h>

void AnimatedActor::action(const std::string& keyword, const std::string& argument) {
    if (keyword == ActorTexts::Play) {
        playing_ = true;
    } else if (keyword == ActorTexts::Pause) {
        playing_ = false;
    } else if (keyword == ActorTexts::Animation) {
        switchAnimation(argument, false);
    } else if (keyword == ActorTexts::AnimationLoop) {
        switchAnimation(argument, true);
    } else {
        transformAction(keyword, argument);
    }
}

void AnimatedActor::switchAnimation(const std::string& name, bool loop) {
    if (name == currentAnimation_) {
        return;
    }
    Ogre::AnimationState* next = findAnimationState(name);
    if (next == nullptr) {
        return;
    }
    if (!currentAnimation_.empty()) {
        if (Ogre::AnimationState* previous = findAnimationState(currentAnimation_)) {
            previous->setTimePosition(0.0f);
            previous->setEnabled(false);
        }
    }
    currentAnimation_ = name;
    next->setEnabled(true);
    next->setLoop(loop);
}

void AnimatedActor::advanceAnimation(float seconds) {
    if (currentAnimation_.empty() || !playing_) {
        return;
    }
    Ogre::AnimationState* state = findAnimationState(currentAnimation_);
    // A looping state of length 0 would wrap its time to NaN.
    if (state != nullptr && state->getLength() > 0.0f) {
        state->addTime(seconds);
    }
}

void AnimatedActor::gesture() {
    playing_ = !playing_;
}
