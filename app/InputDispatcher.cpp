#include "app/InputDispatcher.h"

#include <OGRE/OgreRenderWindow.h>

InputDispatcher& InputDispatcher::instance() {
    static InputDispatcher dispatcher;
    return dispatcher;
}

InputDispatcher::~InputDispatcher() {
    shutdown();
}

void InputDispatcher::initialise(Ogre::RenderWindow* window) {
    if (system_ != nullptr) {
        return;
    }
    unsigned long handle = 0;
    window->getCustomAttribute("WINDOW", &handle);
    OIS::ParamList parameters;
    parameters.insert({"WINDOW", std::to_string(handle)});
    parameters.insert({"x11_mouse_grab", "false"});
    parameters.insert({"x11_mouse_hide", "false"});
    parameters.insert({"x11_keyboard_grab", "false"});
    parameters.insert({"XAutoRepeatOn", "true"}); // OIS would turn key repeat off for the whole desktop
    system_ = OIS::InputManager::createInputSystem(parameters);
    if (system_->getNumberOfDevices(OIS::OISKeyboard) > 0) {
        keyboard_ = static_cast<OIS::Keyboard*>(system_->createInputObject(OIS::OISKeyboard, true));
        keyboard_->setEventCallback(this);
    }
    if (system_->getNumberOfDevices(OIS::OISMouse) > 0) {
        mouse_ = static_cast<OIS::Mouse*>(system_->createInputObject(OIS::OISMouse, true));
        mouse_->setEventCallback(this);
        setWindowSize(static_cast<int>(window->getWidth()), static_cast<int>(window->getHeight()));
    }
    for (int i = 0; i < system_->getNumberOfDevices(OIS::OISJoyStick); ++i) {
        auto* joystick = static_cast<OIS::JoyStick*>(system_->createInputObject(OIS::OISJoyStick, true));
        joystick->setEventCallback(this);
        joysticks_.push_back(joystick);
    }
}

void InputDispatcher::setWindowSize(int width, int height) {
    if (mouse_ != nullptr) {
        const OIS::MouseState& state = mouse_->getMouseState();
        state.width = width;
        state.height = height;
    }
}

void InputDispatcher::shutdown() {
    if (system_ == nullptr) {
        return;
    }
    if (keyboard_ != nullptr) {
        system_->destroyInputObject(keyboard_);
    }
    if (mouse_ != nullptr) {
        system_->destroyInputObject(mouse_);
    }
    for (OIS::JoyStick* joystick : joysticks_) {
        system_->destroyInputObject(joystick);
    }
    OIS::InputManager::destroyInputSystem(system_);
    system_ = nullptr;
    keyboard_ = nullptr;
    mouse_ = nullptr;
    joysticks_.clear();
}

void InputDispatcher::capture() {
    if (keyboard_ != nullptr) {
        keyboard_->capture();
    }
    if (mouse_ != nullptr) {
        mouse_->capture();
    }
    for (OIS::JoyStick* joystick : joysticks_) {
        joystick->capture();
    }
}

void InputDispatcher::addKeyboardListener(OIS::KeyListener* listener, const std::string& name) {
    if (keyboard_ != nullptr) {
        keyListeners_.emplace(name, listener);
    }
}

void InputDispatcher::addMouseListener(OIS::MouseListener* listener, const std::string& name) {
    if (mouse_ != nullptr) {
        mouseListeners_.emplace(name, listener);
    }
}

void InputDispatcher::removeListener(const std::string& name) {
    keyListeners_.erase(name);
    mouseListeners_.erase(name);
    joyListeners_.erase(name);
}

bool InputDispatcher::keyPressed(const OIS::KeyEvent& event) {
    for (auto& entry : keyListeners_) {
        entry.second->keyPressed(event);
    }
    return true;
}

bool InputDispatcher::keyReleased(const OIS::KeyEvent& event) {
    for (auto& entry : keyListeners_) {
        entry.second->keyReleased(event);
    }
    return true;
}

bool InputDispatcher::mouseMoved(const OIS::MouseEvent& event) {
    for (auto& entry : mouseListeners_) {
        entry.second->mouseMoved(event);
    }
    return true;
}

bool InputDispatcher::mousePressed(const OIS::MouseEvent& event, OIS::MouseButtonID id) {
    for (auto& entry : mouseListeners_) {
        entry.second->mousePressed(event, id);
    }
    return true;
}

bool InputDispatcher::mouseReleased(const OIS::MouseEvent& event, OIS::MouseButtonID id) {
    for (auto& entry : mouseListeners_) {
        entry.second->mouseReleased(event, id);
    }
    return true;
}

bool InputDispatcher::buttonPressed(const OIS::JoyStickEvent& event, int button) {
    for (auto& entry : joyListeners_) {
        entry.second->buttonPressed(event, button);
    }
    return true;
}

bool InputDispatcher::buttonReleased(const OIS::JoyStickEvent& event, int button) {
    for (auto& entry : joyListeners_) {
        entry.second->buttonReleased(event, button);
    }
    return true;
}

bool InputDispatcher::axisMoved(const OIS::JoyStickEvent& event, int axis) {
    for (auto& entry : joyListeners_) {
        entry.second->axisMoved(event, axis);
    }
    return true;
}
