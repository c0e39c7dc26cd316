#include "app/PointerInput.h"

#include "actors/Actor.h"
#include "app/EngineProject.h"
#include "app/FramePacing.h"
#include "app/InputDispatcher.h"
#include "app/ViewLayout.h"
#include "app/X11Desktop.h"

#include <OGRE/Ogre.h>

#include <cstdio>

namespace {

constexpr const char* ListenerName = "Scene";
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

void PointerInput::setup(Ogre::RenderWindow* window, Ogre::SceneManager* viewsScene, X11Desktop& desktop) {
    window_ = window;
    desktop_ = &desktop;
    viewsScene_ = viewsScene;
    InputDispatcher& input = InputDispatcher::instance();
    input.initialise(window);
    input.addKeyboardListener(this, ListenerName);
    input.addMouseListener(this, ListenerName);
    rayQuery_ = viewsScene->createRayQuery(Ogre::Ray(Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_Z), 0xFFFFFFFF);
}

void PointerInput::release() {
    InputDispatcher::instance().removeListener(ListenerName);
    if (viewsScene_ != nullptr && rayQuery_ != nullptr) {
        viewsScene_->destroyQuery(rayQuery_);
        rayQuery_ = nullptr;
    }
}

void PointerInput::setInteractionMode(const std::string& keyword) {
    if (keyword == "mouse") {
        mouseMode_ = !mouseMode_;
        handMode_ = false;
        transformMode_ = 0;
        views_.setDebugText(mouseMode_ ? MouseActivated : "");
    } else if (keyword == "hand") {
        handMode_ = !handMode_;
        mouseMode_ = false;
        transformMode_ = 0;
        views_.setDebugText(handMode_ ? HandActivated : "");
    } else if (keyword == "move" || keyword == "rotate" || keyword == "scale") {
        transformMode_ = keyword == "move" ? 1 : keyword == "rotate" ? 2 : 3;
        views_.setDebugText(TransformTexts[transformMode_]);
    } else if (keyword == "x" || keyword == "y" || keyword == "z") {
        axis_ = keyword == "x" ? 1 : keyword == "y" ? 2 : 3;
    }
}

bool PointerInput::keyPressed(const OIS::KeyEvent& event) {
    pacing_.requestRedraw();
    switch (event.key) {
    case OIS::KC_ESCAPE:
        quit_ = true;
        break;
    case OIS::KC_F11:
        views_.toggleFullScreen();
        break;
    case OIS::KC_D:
        project_.inProject(nullptr, [&] { views_.setDebugVisible(!views_.debugVisible()); });
        break;
    case OIS::KC_P:
        steeredCamera_ = views_.mainCamera();
        break;
    case OIS::KC_T:
        steeredCamera_ = views_.topCamera();
        break;
    case OIS::KC_F:
        steeredCamera_ = views_.frontCamera();
        break;
    case OIS::KC_L:
        steeredCamera_ = views_.leftCamera();
        break;
    case OIS::KC_NUMPAD0:
        mouseMode_ = !mouseMode_;
        transformMode_ = 0;
        views_.setDebugText(mouseMode_ ? MouseActivated : "");
        break;
    case OIS::KC_NUMPAD1:
    case OIS::KC_NUMPAD2:
    case OIS::KC_NUMPAD3:
        transformMode_ = event.key == OIS::KC_NUMPAD1 ? 1 : event.key == OIS::KC_NUMPAD2 ? 2 : 3;
        views_.setDebugText(TransformTexts[transformMode_]);
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
            project_.inProject(nullptr, [&] { steerCamera(event.key); });
        }
        break;
    }
    return true;
}

// The camera keys move the engine camera's own transform, relative to whatever it hangs on.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
void PointerInput::steerCamera(OIS::KeyCode key) {
    Ogre::Camera* camera = steeredCamera_;
    switch (key) {
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
}
#pragma GCC diagnostic pop

bool PointerInput::keyReleased(const OIS::KeyEvent& /*event*/) {
    pacing_.requestRedraw();
    return true;
}

bool PointerInput::mousePressed(const OIS::MouseEvent& event, OIS::MouseButtonID id) {
    pacing_.requestRedraw();
    if (!mouseMode_) {
        return true;
    }
    project_.inProject(nullptr, [&] {
        ProjectActors& actors = project_.actors();
        bool wasSelected = false;
        if (actors.selected() != nullptr) {
            wasSelected = actors.selected()->isSelected();
            actors.selected()->unselect();
        }
        float nx = static_cast<float>(event.state.X.abs) / static_cast<float>(window_->getWidth());
        float ny = static_cast<float>(event.state.Y.abs) / static_cast<float>(window_->getHeight());
        if (views_.fourViews()) {
            if (nx > 0.5f && ny > 0.5f) {
                nx = (nx - 0.5f) * 2.0f;
                ny = (ny - 0.5f) * 2.0f;
            } else {
                nx = 0.0f;
                ny = 0.0f;
            }
        }
        rayQuery_->setRay(views_.mainCamera()->getCameraToViewportRay(nx, ny));
        rayQuery_->setSortByDistance(true);
        Ogre::RaySceneQueryResult& results = rayQuery_->execute();
        bool first = true;
        for (const Ogre::RaySceneQueryResultEntry& hit : results) {
            if (first) { // the grid rectangle, whose huge box holds every camera
                first = false;
                continue;
            }
            Ogre::SceneNode* node = hit.movable != nullptr ? hit.movable->getParentSceneNode() : nullptr;
            Actor* actor = node != nullptr ? actors.manager().findByNode(node) : nullptr;
            if (actor == nullptr) {
                continue;
            }
            if (id == OIS::MB_Left) {
                actors.setSelected(actor);
                actor->select();
            } else if (id == OIS::MB_Right) {
                if (actor == actors.selected() && wasSelected) {
                    actor->unselect();
                    mouseMode_ = false;
                    views_.setDebugText("");
                    actor->action("", "");
                    return;
                }
            }
        }
    });
    return true;
}

bool PointerInput::mouseMoved(const OIS::MouseEvent& event) {
    pacing_.requestRedraw();
    if (!mouseMode_ || transformMode_ == 0 || project_.actors().selected() == nullptr ||
        !event.state.buttonDown(OIS::MB_Left)) {
        return true;
    }
    int x = 0, y = 0;
    if (!desktop_->pointerPosition(x, y)) {
        return true;
    }
    const int screenWidth = desktop_->displayWidth();
    const int screenHeight = desktop_->displayHeight();
    // Wrap at the screen edges, so that a drag can go on without limit; the jump moves nothing.
    if (x == screenWidth - 1) {
        x = 0;
    } else if (y == screenHeight - 1) {
        y = 0;
    } else if (x == 0) {
        x = screenWidth;
    } else if (y == 0) {
        y = screenHeight;
    } else {
        if (lastPointerX_ != -1 && lastPointerY_ != -1) {
            const std::string dx = threeDecimals((x - lastPointerX_) * 0.01);
            const std::string dy = threeDecimals((y - lastPointerY_) * 0.01);
            const char* keyword = DragActions[transformMode_ - 1][axis_ - 1];
            const std::string& argument = axis_ == 1 ? dx : dy;
            project_.inProject(nullptr, [&] {
                if (Actor* selected = project_.actors().selected()) {
                    selected->action(keyword, argument);
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

bool PointerInput::mouseReleased(const OIS::MouseEvent& /*event*/, OIS::MouseButtonID /*id*/) {
    pacing_.requestRedraw();
    return true;
}
