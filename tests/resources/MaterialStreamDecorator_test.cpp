// Material scripts of a package are rewritten line by line with the package's prefix.
#include "resources/OgreMaterialStreamDecorator.h"

#include <OGRE/OgreLogManager.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

Ogre::DataStreamPtr streamOf(const std::string& text) {
    auto stream = std::make_shared<Ogre::MemoryDataStream>(text.size());
    std::memcpy(stream->getPtr(), text.data(), text.size());
    return stream;
}

// Every line of the script, rewritten, read as the engine's line reader reads it.
std::vector<std::string> rewrite(OgreMaterialStreamDecorator& decorator, bool trim = false) {
    std::vector<std::string> lines;
    while (!decorator.eof()) {
        lines.push_back(decorator.getLine(trim));
    }
    return lines;
}

std::string rewriteOne(const std::string& line) {
    OgreMaterialStreamDecorator decorator(streamOf(line), "pkg_");
    return decorator.getLine(false);
}

class CapturedLog : public Ogre::LogListener {
public:
    CapturedLog() { manager_.createLog("decorator.log", true, false, true)->addListener(this); }
    void messageLogged(const Ogre::String& message, Ogre::LogMessageLevel level, bool, const Ogre::String&,
                       bool&) override {
        lines.push_back(message);
        levels.push_back(level);
    }
    std::vector<std::string> lines;
    std::vector<Ogre::LogMessageLevel> levels;

private:
    Ogre::LogManager manager_;
};

} // namespace

TEST(MaterialStreamDecorator, RewritesTheNamedLinesAndLeavesTheOthers) {
    const std::vector<std::pair<std::string, std::string>> table = {
        {"material Wood", "material pkg_Wood"},
        {"texture wood.png", "texture pkg_wood.png "},
        {"texture wood.png 2d", "texture pkg_wood.png 2d"},
        {"source shader.cg", "source pkg_shader.cg"},
        {"  material Wood", "material pkg_Wood"},
        {"texture noextension", "texture noextension"},
        {"vertex_program_ref Glow", "vertex_program_ref pkg_Glow"},
        {"fragment_program_ref Glow", "fragment_program_ref pkg_Glow"},
        {"material Wood Grain", "material pkg_Wood_Grain"},
        {"material", "material"},
        {"{", "{"},
        {"   ", "   "},
        {"", ""},
        {"    diffuse 1 0.5 0", "diffuse 1 0.5 0"},
        {"Material Wood", "Material Wood"},
        {"texture_unit wood.png", "texture_unit wood.png"},
    };
    for (const auto& [line, expected] : table) {
        EXPECT_EQ(rewriteOne(line), expected) << "line: '" << line << "'";
    }
}

TEST(MaterialStreamDecorator, ProgramDeclarationsKeepTheirLanguageAndMatchTheirReferences) {
    OgreMaterialStreamDecorator decorator(streamOf("vertex_program Glow glsl\n"
                                                   "{\n"
                                                   "    source glow.vert\n"
                                                   "}\n"
                                                   "fragment_program Shine cg\n"
                                                   "material Eye\n"
                                                   "vertex_program_ref Glow\n"
                                                   "fragment_program_ref Shine\n"),
                                          "pkg_");
    const std::vector<std::string> lines = rewrite(decorator);
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[0], "vertex_program pkg_Glow glsl");
    EXPECT_EQ(lines[2], "source pkg_glow.vert");
    EXPECT_EQ(lines[4], "fragment_program pkg_Shine cg");
    EXPECT_EQ(lines[6], "vertex_program_ref pkg_Glow");
    EXPECT_EQ(lines[7], "fragment_program_ref pkg_Shine");
    const OgreMaterialStreamDecorator::NameMap files = {
        {"Glow", "pkg_Glow"}, {"Shine", "pkg_Shine"}, {"glow.vert", "pkg_glow.vert"}};
    EXPECT_EQ(decorator.referencedFiles(), files);
    EXPECT_EQ(decorator.materialNames(), (OgreMaterialStreamDecorator::NameMap{{"Eye", "pkg_Eye"}}));
}

TEST(MaterialStreamDecorator, SameTextureOnceAndClashingNamesApart) {
    OgreMaterialStreamDecorator decorator(streamOf("material A\n"
                                                   "texture wood.png\n"
                                                   "texture wood.png 2d\n"
                                                   "texture my_tex.png\n"
                                                   "texture my tex.png\n"
                                                   "material my tex.png\n"
                                                   "source shader.cg\n"),
                                          "pkg_");
    const std::vector<std::string> lines = rewrite(decorator);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[1], "texture pkg_wood.png ");
    EXPECT_EQ(lines[2], "texture pkg_wood.png 2d");
    EXPECT_EQ(lines[3], "texture pkg_my_tex.png ");
    EXPECT_EQ(lines[4], "texture pkg_1_my_tex.png ");
    // Material names are numbered against the referenced files' new names too.
    EXPECT_EQ(lines[5], "material pkg_2_my_tex.png");
    const OgreMaterialStreamDecorator::NameMap files = {{"wood.png", "pkg_wood.png"},
                                                        {"my_tex.png", "pkg_my_tex.png"},
                                                        {"my tex.png", "pkg_1_my_tex.png"},
                                                        {"shader.cg", "pkg_shader.cg"}};
    EXPECT_EQ(decorator.referencedFiles(), files);
    const OgreMaterialStreamDecorator::NameMap materials = {{"A", "pkg_A"},
                                                            {"my tex.png", "pkg_2_my_tex.png"}};
    EXPECT_EQ(decorator.materialNames(), materials);
}

TEST(MaterialStreamDecorator, TabsAreNoSeparatorsAndStayInFront) {
    EXPECT_EQ(rewriteOne("\tmaterial Wood"), "\tmaterial Wood");
    EXPECT_EQ(rewriteOne("material\tWood"), "material\tWood");
    EXPECT_EQ(rewriteOne("  \ttexture a.png"), "\ttexture a.png");
    // After the dot a tab ends the texture name like a space does.
    EXPECT_EQ(rewriteOne("texture a.png\tcubic"), "texture pkg_a.png cubic");
    // The engine's own trimming (trim after) removes tabs at both ends before the rewrite.
    OgreMaterialStreamDecorator trimmed(streamOf("\t\tmaterial Wood\t\n"), "pkg_");
    EXPECT_EQ(trimmed.getLine(true), "material pkg_Wood");
}

TEST(MaterialStreamDecorator, TextureWithoutDotIsLoggedAndKept) {
    CapturedLog log;
    OgreMaterialStreamDecorator decorator(streamOf("    texture plain\ntexture wood.png\n"), "pkg_");
    EXPECT_EQ(decorator.getLine(false), "texture plain");
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], "OgreMaterialStreamDecorator: texture without valid name");
    EXPECT_EQ(log.levels[0], Ogre::LML_NORMAL);
    EXPECT_EQ(decorator.getLine(false), "texture pkg_wood.png ");
    EXPECT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(decorator.referencedFiles().size(), 1u);
}

TEST(MaterialStreamDecorator, EveryOtherReadIsTheWrappedStreams) {
    const std::string script = "material Wood\r\ntexture wood.png\n";
    OgreMaterialStreamDecorator decorator(streamOf(script), "pkg_");
    EXPECT_EQ(decorator.size(), script.size());
    EXPECT_EQ(decorator.getAsString(), script);
    decorator.seek(0);
    char bytes[8] = {};
    EXPECT_EQ(decorator.read(bytes, 8), 8u);
    EXPECT_EQ(std::string(bytes, 8), "material");
    EXPECT_EQ(decorator.tell(), 8u);
    decorator.skip(1);
    EXPECT_EQ(decorator.getLine(true), "Wood"); // no keyword and space left: unchanged
    EXPECT_EQ(decorator.skipLine(), std::string("texture wood.png\n").size());
    EXPECT_TRUE(decorator.eof());
    EXPECT_TRUE(decorator.materialNames().empty());
    EXPECT_TRUE(decorator.referencedFiles().empty());
    decorator.close();
}
