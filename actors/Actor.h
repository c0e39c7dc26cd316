#pragma once

#include "project/ActorTransform.h"
#include "project/TrackerListener.h"

#include <OGRE/OgreQuaternion.h>
#include <OGRE/OgreVector.h>

#include <atomic>
#include <set>
#include <string>

class ActorServices;
namespace Ogre {
class Entity;
class SceneManager;
class SceneNode;
} // namespace Ogre

// A piece of content placed on a marker. Scene graph of every actor:
//
//   MainNode
//   └── root node (prefix + "::Node")        follows the marker pose
//       └── actor node (prefix + "::ActorNode")  user transform; carries the content and the
//                                                 selection entity (prefix + "::SelectedEntity")
//
// The prefix is the class's prefix followed by a per-class number taken by every init, so
// engine names never collide, not even for an actor made again under an old project name.
//
// Threads and locks: the actor has no lock and takes none; everything runs on the main thread.
// - Project operations call it in project work, between two frames.
// - The TrackerListener operations come at the start of a frame, when the tracking results the
//   capture thread found in the picture about to be drawn are handed on.
// - addTime comes from the frame.
// - Pointer interaction calls select, unselect, isSelected, ownsNode and action inside the
//   input capture of the main loop.
class Actor : public TrackerListener {
public:
    // What tells the kinds apart in the common steps.
    struct Kind {
        const char* prefix;             // e.g. "Velquin::MeshActor::"
        const char* activatedLine;      // standard output, every activated call
        const char* deactivatedLine;    // standard output, every deactivated call
        const char* initFailedLine;     // engine log when the content cannot be made
        std::atomic<unsigned>* counter; // the class's init counter, from 0 at program start
    };

    // Makes no engine object. Neither pointer is owned.
    Actor(Ogre::SceneManager* sceneManager, ActorServices* services, const Kind& kind);
    // Concrete kinds call removeFromScene in their own destructors, while their content is
    // still theirs to destroy.
    ~Actor() override = default;
    Actor(const Actor&) = delete;
    Actor& operator=(const Actor&) = delete;

    // Builds the engine objects, hidden. False (logged) when the content cannot be made, and
    // failure() says what the engine said; what was made stays until removeFromScene. Takes a
    // prefix number whatever the outcome.
    virtual bool init();
    const std::string& failure() const { return failure_; }
    // Destroys every engine object of the actor; a second call does nothing.
    virtual void removeFromScene();
    // Shows the selection mark; only while the marker is in view.
    virtual void select();
    virtual void unselect();
    virtual bool isSelected();
    // The root node, null before init.
    virtual Ogre::SceneNode* getNode();
    // True for the actor's root node and actor node.
    virtual bool ownsNode(Ogre::SceneNode* node);
    // Per frame: advances the animation and watches for the marker gesture.
    virtual void addTime(float seconds);
    // Replaces the contents of names with the actor's animation names and returns it.
    virtual std::set<std::string>& getAnimationNames(std::set<std::string>& names) = 0;
    // An action keyword with its argument (see AnimatedActor and FileActor).
    virtual void action(const std::string& keyword, const std::string& argument) = 0;
    // The file the content comes from (the light's name for lights).
    virtual std::string getSourceName() = 0;

    // TrackerListener
    void activated() override;
    void deactivated() override;
    void setPosePosition(float x, float y, float z) override;
    void setPoseOrientation(float w, float x, float y, float z) override;

    // The tracker the actor is connected to; empty when unconnected.
    const std::string& getTrackerName() const { return trackerName_; }
    void setTrackerName(const std::string& name) { trackerName_ = name; }

    // User transform of the actor node. False, with nothing changed, for a value the engine's
    // single-precision transforms cannot take (see ActorTransform); a scale of 0 is kept.
    bool setPosition(double x, double y, double z);
    bool setOrientation(double w, double x, double y, double z); // kept as given; false near length 0
    bool pitch(double degrees);                                  // turns about the actor's own X axis
    bool yaw(double degrees);                                    // own Y axis
    bool roll(double degrees);                                   // own Z axis
    bool setScale(double x, double y, double z);
    // The whole transform at once, as the project model holds it.
    void setTransform(const ActorTransform& transform);
    const ActorTransform& getTransform() const { return transform_; }
    const Ogre::Vector3& getPosition() const { return transform_.position(); }
    const Ogre::Quaternion& getOrientation() const { return transform_.orientation(); }
    const Ogre::Vector3& getScale() const { return transform_.scale(); }
    // Angles of the stored orientation, degrees.
    double getPitch() const { return transform_.pitchDegrees(); }
    double getYaw() const { return transform_.yawDegrees(); }
    double getRoll() const { return transform_.rollDegrees(); }

    bool isActivated() const { return activated_; }
    // Prefix of the engine names; empty before init.
    const std::string& getPrefix() const { return prefix_; }
    Ogre::SceneNode* getActorNode() const { return actorNode_; }

protected:
    // init step 5 and 6: makes the content and attaches it, then the selection entity, to the
    // actor node. False when the content cannot be made (init logs the kind's line).
    virtual bool createContent() = 0;
    // Destroys the content objects (entities, lights) through the scene manager. The nodes are
    // already gone; engine exceptions are the caller's to catch.
    virtual void destroyContent() = 0;
    // activated step 3: shows what the marker shows.
    virtual void showContent();
    // deactivated: hides it again.
    virtual void hideContent();
    // What covering and showing the marker in hand mode does.
    virtual void gesture() = 0;
    // addTime step 1; nothing for kinds without animation.
    virtual void advanceAnimation(float /*seconds*/) {}

    // init step 1.
    void takePrefix();
    // init steps 2 to 4: root node, hidden selection entity, actor node. False when there is
    // no main node to hang on.
    bool buildFrame();
    // init steps 7 to 10.
    void finishInit();
    // Removes and destroys the root node with every node below it, then the selection entity.
    void destroyFrame();
    // The move, rotate and scale keywords; false for any other keyword.
    bool transformAction(const std::string& keyword, const std::string& argument);
    // Name of an engine object of this actor: prefix + suffix.
    std::string engineName(const std::string& suffix) const { return prefix_ + suffix; }
    // An entity of a mesh named by a client or a file, named engineName(suffix). The engine's
    // exception when the mesh cannot be loaded; a mesh it did not know before is then forgotten
    // again, as the engine would otherwise keep an empty mesh of that name that hides the one a
    // package loaded later brings.
    Ogre::Entity* createEntityOfMesh(const std::string& suffix, const std::string& meshName);
    void logLine(const std::string& line) const;

    Ogre::SceneManager* sceneManager_;        // the views scene manager; not owned
    ActorServices* services_;                 // main node, hand mode, work directory; not owned
    Ogre::SceneNode* rootNode_ = nullptr;     // follows the marker; made by init
    Ogre::Entity* selectionEntity_ = nullptr; // the selection mark; made by init
    Ogre::SceneNode* actorNode_ = nullptr;    // child of the root node; made by init
    std::string prefix_;                      // class prefix + number; set by init

private:
    // Gives the actor node the transform; nothing before init.
    void applyToNode();
    // Applies the transform when a change went through; passes the outcome on.
    bool transformApplied(bool changed);

    Kind kind_;
    bool activated_ = false;  // the marker is in view
    bool selected_ = false;   // the selection mark is shown
    float hiddenTime_ = 0.0f; // seconds the marker was out of view while hand mode was on
    std::string trackerName_; // empty when unconnected
    ActorTransform transform_;
    std::string failure_; // why init failed, as the engine said it
};
