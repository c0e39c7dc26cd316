// Keyboard and mouse of the player's machine: the camera keys, the debug overlay key, the
// interaction modes, picking an actor in the main view and dragging it. Main thread, inside the
// input capture of the main loop, outside the frame lock; actor work takes the project lock.
#include "actors/Actor.h"
#include "app/InputDispatcher.h"
#include "app/Scene.h"
#include "app/X11Desktop.h"

#include <OGRE/Overlay/OgreOverlay.h>

#include <cstdio>

namespace {

constexpr const char* MouseActivated = "MOUSE ACTIVATED";
constexpr const char* HandActivated = "HAND ACTIVATED";
const char* const TransformTexts[] = {"", "MOVE", "ROTATE", "SCALE"};

// The action of a drag, by transform mode (1..3) and axis (1..3).
const char* const DragActions[3][3] = {
    {"moveX", "moveY", "moveZ"}, {"rotateX", "rotateY", "rotateZ"}, {"scaleX", "scaleY", "scaleZ"}};

std::string threeDecimals(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

} // namespace

void Scene::setupInput() {
    InputDispatcher& input = InputDispatcher::instance();
    input.initialise(window_);
    input.addKeyboardListener(this, "Scene");
    input.addMouseListener(this, "Scene");
}

bool Scene::mouseAction(const std::string& keyword) {
    // The modes are the main thread's: the command hands its change over like any project work.
    tasks_.run([&] { setInteractionMode(keyword); });
    return true;
}

void Scene::setInteractionMode(const std::string& keyword) {
    if (keyword == "mouse") {
        mouseMode_ = !mouseMode_;
        handMode_ = false;
        transformMode_ = 0;
        debugText_ = mouseMode_ ? MouseActivated : "";
    } else if (keyword == "hand") {
        handMode_ = !handMode_;
        mouseMode_ = false;
        transformMode_ = 0;
        debugText_ = handMode_ ? HandActivated : "";
    } else if (keyword == "move" || keyword == "rotate" || keyword == "scale") {
        transformMode_ = keyword == "move" ? 1 : keyword == "rotate" ? 2 : 3;
        debugText_ = TransformTexts[transformMode_];
    } else if (keyword == "x" || keyword == "y" || keyword == "z") {
        axis_ = keyword == "x" ? 1 : keyword == "y" ? 2 : 3;
    }
}

// The camera keys move the engine camera's own transform, relative to whatever it hangs on.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
bool Scene::keyPressed(const OIS::KeyEvent& event) {
    requestRedraw();
    switch (event.key) {
    case OIS::KC_ESCAPE:
        quit_ = true;
        break;
    case OIS::KC_F11:
        toggleFullScreen();
        break;
    case OIS::KC_D:
        inProject([&] { debugOverlay_->isVisible() ? debugOverlay_->hide() : debugOverlay_->show(); });
        break;
    case OIS::KC_P:
        steeredCamera_ = mainCamera_;
        break;
    case OIS::KC_T:
        steeredCamera_ = topCamera_;
        break;
    case OIS::KC_F:
        steeredCamera_ = frontCamera_;
        break;
    case OIS::KC_L:
        steeredCamera_ = leftCamera_;
        break;
    case OIS::KC_NUMPAD0:
        mouseMode_ = !mouseMode_;
        transformMode_ = 0;
        debugText_ = mouseMode_ ? MouseActivated : "";
        break;
    case OIS::KC_NUMPAD1:
    case OIS::KC_NUMPAD2:
    case OIS::KC_NUMPAD3:
        transformMode_ = event.key == OIS::KC_NUMPAD1 ? 1 : event.key == OIS::KC_NUMPAD2 ? 2 : 3;
        debugText_ = TransformTexts[transformMode_];
        break;
    case OIS::KC_NUMPAD4:
        axis_ = 1;
        break;
    case OIS::KC_NUMPAD5:
        axis_ = 2;
        break;
    case OIS::KC_NUMPAD6:
        axis_ = 3;
        break;
    default:
        if (steeredCamera_ != nullptr && event.key >= OIS::KC_1 && event.key <= OIS::KC_0) {
            Ogre::Camera* camera = steeredCamera_;
            inProject([&] {
                switch (event.key) {
                case OIS::KC_1:
                    camera->move(Ogre::Vector3(10, 0, 0));
                    break;
                case OIS::KC_2:
                    camera->move(Ogre::Vector3(-10, 0, 0));
                    break;
                case OIS::KC_3:
                    camera->move(Ogre::Vector3(0, 10, 0));
                    break;
                case OIS::KC_4:
                    camera->move(Ogre::Vector3(0, -10, 0));
                    break;
                case OIS::KC_5:
                    camera->move(Ogre::Vector3(0, 0, 10));
                    break;
                case OIS::KC_6:
                    camera->move(Ogre::Vector3(0, 0, -10));
                    break;
                case OIS::KC_7:
                    camera->pitch(Ogre::Degree(10));
                    break;
                case OIS::KC_8:
                    camera->pitch(Ogre::Degree(-10));
                    break;
                case OIS::KC_9:
                    camera->yaw(Ogre::Degree(10));
                    break;
                default:
                    camera->yaw(Ogre::Degree(-10));
                    break;
                }
            });
        }
        break;
    }
    return true;
}
#pragma GCC diagnostic pop

bool Scene::keyReleased(const OIS::KeyEvent& /*event*/) {
    requestRedraw();
    return true;
}

bool Scene::mousePressed(const OIS::MouseEvent& event, OIS::MouseButtonID id) {
    requestRedraw();
    if (!mouseMode_) {
        return true;
    }
    inProject([&] {
        bool wasSelected = false;
        if (selectedActor_ != nullptr) {
            wasSelected = selectedActor_->isSelected();
            selectedActor_->unselect();
        }
        float nx = static_cast<float>(event.state.X.abs) / static_cast<float>(window_->getWidth());
        float ny = static_cast<float>(event.state.Y.abs) / static_cast<float>(window_->getHeight());
        if (fourViews_) {
            if (nx > 0.5f && ny > 0.5f) {
                nx = (nx - 0.5f) * 2.0f;
                ny = (ny - 0.5f) * 2.0f;
            } else {
                nx = 0.0f;
                ny = 0.0f;
            }
        }
        rayQuery_->setRay(mainCamera_->getCameraToViewportRay(nx, ny));
        rayQuery_->setSortByDistance(true);
        Ogre::RaySceneQueryResult& results = rayQuery_->execute();
        bool first = true;
        for (const Ogre::RaySceneQueryResultEntry& hit : results) {
            if (first) { // the grid rectangle, whose huge box holds every camera
                first = false;
                continue;
            }
            Ogre::SceneNode* node = hit.movable != nullptr ? hit.movable->getParentSceneNode() : nullptr;
            Actor* actor = node != nullptr ? actors_.findByNode(node) : nullptr;
            if (actor == nullptr) {
                continue;
            }
            if (id == OIS::MB_Left) {
                selectedActor_ = actor;
                actor->select();
            } else if (id == OIS::MB_Right) {
                if (actor == selectedActor_ && wasSelected) {
                    actor->unselect();
                    mouseMode_ = false;
                    debugText_.clear();
                    actor->action("", "");
                    return;
                }
            }
        }
    });
    return true;
}

bool Scene::mouseMoved(const OIS::MouseEvent& event) {
    requestRedraw();
    if (!mouseMode_ || transformMode_ == 0 || selectedActor_ == nullptr ||
        !event.state.buttonDown(OIS::MB_Left)) {
        return true;
    }
    int x = 0, y = 0;
    if (!desktop_->pointerPosition(x, y)) {
        return true;
    }
    // Wrap at the screen edges, so that a drag can go on without limit; the jump moves nothing.
    if (x == screenWidth_ - 1) {
        x = 0;
    } else if (y == screenHeight_ - 1) {
        y = 0;
    } else if (x == 0) {
        x = screenWidth_;
    } else if (y == 0) {
        y = screenHeight_;
    } else {
        if (lastPointerX_ != -1 && lastPointerY_ != -1) {
            const std::string dx = threeDecimals((x - lastPointerX_) * 0.01);
            const std::string dy = threeDecimals((y - lastPointerY_) * 0.01);
            const char* keyword = DragActions[transformMode_ - 1][axis_ - 1];
            const std::string& argument = axis_ == 1 ? dx : dy;
            inProject([&] {
                if (selectedActor_ != nullptr) {
                    selectedActor_->action(keyword, argument);
                }
            });
        }
        lastPointerX_ = x;
        lastPointerY_ = y;
        return true;
    }
    desktop_->warpPointer(x, y);
    lastPointerX_ = x;
    lastPointerY_ = y;
    return true;
}

bool Scene::mouseReleased(const OIS::MouseEvent& /*event*/, OIS::MouseButtonID /*id*/) {
    requestRedraw();
    return true;
}
