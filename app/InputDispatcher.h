#pragma once

#include <OIS/OIS.h>

#include <map>
#include <string>
#include <vector>

namespace Ogre {
class RenderWindow;
}

// The keyboard, mouse and joysticks of the player's machine, bound to the render window, and
// the listeners their events go to (each kind in name order). One per process, made on first
// use. Main thread only: capture() runs in the main loop, and the listeners are called from it.
class InputDispatcher : public OIS::KeyListener, public OIS::MouseListener, public OIS::JoyStickListener {
public:
    static InputDispatcher& instance();

    // Opens the devices of the window; nothing if already done. The devices neither grab nor
    // hide the pointer and the keyboard, so the desktop stays usable around the window.
    void initialise(Ogre::RenderWindow* window);
    // Polls the keyboard, the mouse and every joystick; their events are forwarded now.
    void capture();
    // Ignored when the device does not exist or the name is taken.
    void addKeyboardListener(OIS::KeyListener* listener, const std::string& name);
    void addMouseListener(OIS::MouseListener* listener, const std::string& name);
    // Forgets the listener of that name on both devices.
    void removeListener(const std::string& name);
    // Keeps the mouse area at the window's size.
    void setWindowSize(int width, int height);
    // Closes the devices (before the window goes); initialise may open them again.
    void shutdown();

    bool hasKeyboard() const { return keyboard_ != nullptr; }
    bool hasMouse() const { return mouse_ != nullptr; }

    bool keyPressed(const OIS::KeyEvent& event) override;
    bool keyReleased(const OIS::KeyEvent& event) override;
    bool mouseMoved(const OIS::MouseEvent& event) override;
    bool mousePressed(const OIS::MouseEvent& event, OIS::MouseButtonID id) override;
    bool mouseReleased(const OIS::MouseEvent& event, OIS::MouseButtonID id) override;
    bool buttonPressed(const OIS::JoyStickEvent& event, int button) override;
    bool buttonReleased(const OIS::JoyStickEvent& event, int button) override;
    bool axisMoved(const OIS::JoyStickEvent& event, int axis) override;

private:
    InputDispatcher() = default;
    ~InputDispatcher() override;

    OIS::InputManager* system_ = nullptr;                        // owned through OIS's own factory
    OIS::Mouse* mouse_ = nullptr;                                // made by system_
    OIS::Keyboard* keyboard_ = nullptr;                          // made by system_
    std::vector<OIS::JoyStick*> joysticks_;                      // made by system_
    std::map<std::string, OIS::KeyListener*> keyListeners_;      // not owned
    std::map<std::string, OIS::MouseListener*> mouseListeners_;  // not owned
    std::map<std::string, OIS::JoyStickListener*> joyListeners_; // not owned
};
