// The four-view layout, seen in the window's own picture: three coloured blocks placed on the
// axes show up differently from the top, the front, the left and the main camera.
#include "app/Scene.h"

#include "platform/fileutil.h"

#include <OGRE/Overlay/OgreOverlay.h>
#include <OGRE/Overlay/OgreOverlayManager.h>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

struct Colour {
    unsigned char r, g, b;
};
const Colour Red{255, 0, 0}, Green{0, 255, 0}, Blue{0, 0, 255};

void addBlock(Ogre::SceneManager* manager, Ogre::SceneNode* parent, const std::string& name,
              const Ogre::Vector3& at, const Colour& colour) {
    Ogre::ManualObject* block = manager->createManualObject(name);
    const Ogre::ColourValue value(colour.r / 255.0f, colour.g / 255.0f, colour.b / 255.0f);
    block->begin("BaseWhiteNoLighting", Ogre::RenderOperation::OT_TRIANGLE_LIST);
    const float h = 15;
    for (int corner = 0; corner < 8; ++corner) {
        block->position(at + Ogre::Vector3(corner & 1 ? h : -h, corner & 2 ? h : -h, corner & 4 ? h : -h));
        block->colour(value);
    }
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                             {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& f : faces) {
        block->quad(f[0], f[1], f[2], f[3]);
        block->quad(f[3], f[2], f[1], f[0]); // both sides: the views look from every direction
    }
    block->end();
    parent->createChildSceneNode()->attachObject(block);
}

struct Quarter {
    int red = 0, green = 0, blue = 0;
    bool centreIs(const Ogre::Image& image, size_t left, size_t top, size_t width, size_t height,
                  const Colour& colour) const {
        const Ogre::ColourValue c = image.getColourAt(left + width / 2, top + height / 2, 0);
        return std::abs(c.r * 255 - colour.r) < 60 && std::abs(c.g * 255 - colour.g) < 60 &&
               std::abs(c.b * 255 - colour.b) < 60;
    }
};

Quarter count(const Ogre::Image& image, size_t left, size_t top, size_t width, size_t height) {
    Quarter quarter;
    for (size_t y = top; y < top + height; ++y) {
        for (size_t x = left; x < left + width; ++x) {
            const Ogre::ColourValue c = image.getColourAt(x, y, 0);
            quarter.red += c.r > 0.8f && c.g < 0.2f && c.b < 0.2f;
            quarter.green += c.g > 0.8f && c.r < 0.2f && c.b < 0.2f;
            quarter.blue += c.b > 0.8f && c.r < 0.2f && c.g < 0.2f;
        }
    }
    return quarter;
}

Ogre::Image snapshot(Scene& scene) {
    for (int turn = 0; turn < 3; ++turn) {
        scene.runOneTurn();
    }
    Ogre::RenderWindow* window = scene.getWindow();
    Ogre::Image image(Ogre::PF_BYTE_RGB, window->getWidth(), window->getHeight());
    window->copyContentsToMemory(image.getPixelBox(), image.getPixelBox());
    return image;
}

} // namespace

TEST(SceneViews, FourViewLayoutShowsTopFrontLeftAndMainAndTogglesBack) {
    const char* player = std::getenv("VELQUIN_PLAYER_DIR");
    ASSERT_NE(player, nullptr);
    ASSERT_EQ(chdir(player), 0);
    setenv("VELQUIN_NO_CONFIG_DIALOG", "1", 1);
    setenv("LP_NUM_THREADS", "0", 1);

    Scene scene;
    ASSERT_TRUE(scene.setup());
    Ogre::SceneManager* views = scene.getViewsSceneManager();
    addBlock(views, scene.getMainNode(), "red", Ogre::Vector3(60, 0, 0), Red);
    addBlock(views, scene.getMainNode(), "green", Ogre::Vector3(0, 60, 0), Green);
    addBlock(views, scene.getMainNode(), "blue", Ogre::Vector3(0, 0, 60), Blue);

    Ogre::Overlay* debug = Ogre::OverlayManager::getSingleton().getByName("Core/DebugOverlay");
    ASSERT_NE(debug, nullptr);
    EXPECT_FALSE(debug->isVisible());

    scene.views().toggleLayout();
    Ogre::Image four = snapshot(scene);
    const size_t w = four.getWidth() / 2, h = four.getHeight() / 2;
    const Quarter top = count(four, 0, 0, w, h);
    const Quarter front = count(four, w, 0, w, h);
    const Quarter left = count(four, 0, h, w, h);
    const Quarter main = count(four, w, h, w, h);

    // Top camera, above the marker plane: the blue block (on +Z) is nearest, in the middle.
    EXPECT_TRUE(top.centreIs(four, 0, 0, w, h, Blue));
    EXPECT_GT(top.red, 50);
    EXPECT_GT(top.green, 50);
    // Front camera, on +Y: the green block in the middle.
    EXPECT_TRUE(front.centreIs(four, w, 0, w, h, Green));
    EXPECT_GT(front.red, 50);
    EXPECT_GT(front.blue, 50);
    // Left camera, on +X: the red block in the middle.
    EXPECT_TRUE(left.centreIs(four, 0, h, w, h, Red));
    EXPECT_GT(left.green, 50);
    EXPECT_GT(left.blue, 50);
    // The main camera looks along +Z from the origin: neither the red nor the green block.
    EXPECT_EQ(main.red, 0);
    EXPECT_EQ(main.green, 0);
    EXPECT_FALSE(debug->isVisible());

    scene.views().toggleLayout();
    Ogre::Image single = snapshot(scene);
    const Quarter upperLeft = count(single, 0, 0, w, h);
    EXPECT_EQ(upperLeft.red + upperLeft.green + upperLeft.blue, 0); // the top view is covered again
    EXPECT_EQ(scene.getWindow()->getViewportByZOrder(3)->getActualWidth(),
              static_cast<int>(single.getWidth()));
    EXPECT_TRUE(debug->isVisible()); // shown on leaving the four views, though hidden before
}
