#pragma once

#include <OIS/OIS.h>

#include <string>

class EngineProject;
class FramePacing;
class ViewLayout;
class X11Desktop;
namespace Ogre {
class Camera;
class RaySceneQuery;
class RenderWindow;
class SceneManager;
} // namespace Ogre

// The keyboard and mouse of the player's machine: Escape, the debug overlay and full-screen keys,
// the camera keys, the interaction modes ("project.mouse.action" sets them too), picking an actor
// in the main view and dragging it. What it changes in the project runs as project work.
//
// Main thread: the input dispatcher calls it inside the input capture of the main loop.
class PointerInput : public OIS::KeyListener, public OIS::MouseListener {
public:
    PointerInput(EngineProject& project, ViewLayout& views, FramePacing& pacing)
        : project_(project), views_(views), pacing_(pacing) {}
    PointerInput(const PointerInput&) = delete;
    PointerInput& operator=(const PointerInput&) = delete;

    // Opens the keyboard and mouse of the window and listens to them; picks in the views scene.
    void setup(Ogre::RenderWindow* window, Ogre::SceneManager* viewsScene, X11Desktop& desktop);
    // Stops listening and gives back the ray query, before the engine goes.
    void release();

    // "project.mouse.action": mouse, hand, move, rotate, scale, x, y or z.
    void setInteractionMode(const std::string& keyword);
    // Whether the marker gesture is on (actors read it).
    bool handMode() const { return handMode_; }
    // Escape was pressed.
    bool quitAsked() const { return quit_; }

    bool keyPressed(const OIS::KeyEvent& event) override;
    bool keyReleased(const OIS::KeyEvent& event) override;
    bool mouseMoved(const OIS::MouseEvent& event) override;
    bool mousePressed(const OIS::MouseEvent& event, OIS::MouseButtonID id) override;
    bool mouseReleased(const OIS::MouseEvent& event, OIS::MouseButtonID id) override;

private:
    // Moves or turns the camera the number keys steer.
    void steerCamera(OIS::KeyCode key);

    EngineProject& project_;
    ViewLayout& views_;
    FramePacing& pacing_;
    X11Desktop* desktop_ = nullptr;            // pointer position and warping; owned by the Scene
    Ogre::RenderWindow* window_ = nullptr;     // owned by the root
    Ogre::SceneManager* viewsScene_ = nullptr; // "VIEWPORTS"
    Ogre::RaySceneQuery* rayQuery_ = nullptr;  // picking in VIEWPORTS; owned by it
    bool mouseMode_ = false;                   // picking and dragging enabled
    int transformMode_ = 0;                    // 0 none, 1 move, 2 rotate, 3 scale
    int axis_ = 1;                             // 1 x, 2 y, 3 z
    int lastPointerX_ = -1;                    // previous drag position on the screen; -1 none yet
    int lastPointerY_ = -1;
    Ogre::Camera* steeredCamera_ = nullptr; // the camera the number keys move
    bool handMode_ = false;                 // marker gesture enabled
    bool quit_ = false;                     // set by Escape only
};
