#include "platform/keepmapped.h"
#include "support/ScratchDirectory.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace VelOS;

TEST(EnginePluginLibraries, NamesEachPluginInTheFolderWhereverTheFolderLineStands) {
    ScratchDirectory scratch;
    const std::string file = scratch.write("plugins.cfg", "# Render engine plug-ins\n"
                                                          "Plugin=RenderSystem_GL\n"
                                                          "  Plugin = Codec_STBI \r\n"
                                                          "Plugin\tPlugin_Extra.so\n"
                                                          "#Plugin=Commented\n"
                                                          "PluginFolder=/opt/engine/plugins\n");
    EXPECT_EQ(enginePluginLibraries(file), (std::vector<std::string>{"/opt/engine/plugins/RenderSystem_GL.so",
                                                                     "/opt/engine/plugins/Codec_STBI.so",
                                                                     "/opt/engine/plugins/Plugin_Extra.so"}));
}

TEST(EnginePluginLibraries, ReadsARelativeOrMissingFolderFromTheFilesOwnFolder) {
    ScratchDirectory scratch;
    const std::string relative = scratch.write("relative.cfg", "PluginFolder=engine/\nPlugin=Codec_STBI\n");
    EXPECT_EQ(enginePluginLibraries(relative),
              std::vector<std::string>{scratch.path() + "engine/Codec_STBI.so"});
    const std::string none = scratch.write("none.cfg", "Plugin=Codec_STBI\n");
    EXPECT_EQ(enginePluginLibraries(none), std::vector<std::string>{scratch.path() + "Codec_STBI.so"});
    EXPECT_TRUE(enginePluginLibraries(scratch.path() + "absent.cfg").empty());
}

TEST(GlDriverLibraries, TheDriverPathWinsOverTheFolderBesideTheVendorLibrary) {
    const char* before = std::getenv("LIBGL_DRIVERS_PATH");
    const std::string saved = before != nullptr ? before : "";
    unsetenv("LIBGL_DRIVERS_PATH");
    const std::vector<std::string> beside = glDriverLibraries("/usr/lib/gl");
    const std::vector<std::string> unknown = glDriverLibraries("");
    setenv("LIBGL_DRIVERS_PATH", "/first/dri:/second/dri/", 1);
    const std::vector<std::string> path = glDriverLibraries("/usr/lib/gl/");
    if (before != nullptr) {
        setenv("LIBGL_DRIVERS_PATH", saved.c_str(), 1);
    } else {
        unsetenv("LIBGL_DRIVERS_PATH");
    }
    EXPECT_EQ(beside, std::vector<std::string>{"/usr/lib/gl/dri/swrast_dri.so"});
    EXPECT_TRUE(unknown.empty());
    EXPECT_EQ(path, (std::vector<std::string>{"/first/dri/swrast_dri.so", "/second/dri/swrast_dri.so"}));
}

namespace {
bool isMapped(const std::string& library) {
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}
} // namespace

TEST(KeepLibrariesMapped, AKeptLibraryOutlivesItsLastCloseAndMissingOnesAreSkipped) {
    const std::string probe = KEEPMAPPED_PROBE;
    void* handle = dlopen(probe.c_str(), RTLD_NOW);
    ASSERT_NE(handle, nullptr) << dlerror();
    dlclose(handle);
    ASSERT_FALSE(isMapped(probe)); // otherwise the test below proves nothing

    EXPECT_EQ(keepLibrariesMapped({probe, "/nonexistent/RenderSystem_None.so", "libNoSuchLibrary.so.9"}), 1);
    handle = dlopen(probe.c_str(), RTLD_NOW);
    ASSERT_NE(handle, nullptr);
    dlclose(handle);
    EXPECT_TRUE(isMapped(probe));
}
