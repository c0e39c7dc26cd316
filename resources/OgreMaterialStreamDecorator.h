#pragma once

#include <OGRE/OgreDataStream.h>

#include <map>
#include <set>
#include <string>

// A read-only view of a material script in which every material, texture and shader program
// or source name carries a package's prefix, so that packages using the same names can be
// loaded side by side. Only getLine rewrites; every other read is the wrapped stream's own.
// The two maps record each replacement: the package loader extracts the referenced files under
// their new names and renames the materials of its meshes with them.
//
// One decorator per script and per thread; it has no lock.
class OgreMaterialStreamDecorator : public Ogre::DataStream {
public:
    using NameMap = std::map<std::string, std::string>; // source name -> new name

    OgreMaterialStreamDecorator(Ogre::DataStreamPtr wrapped, std::string prefix);

    // The next line of the wrapped stream, rewritten.
    Ogre::String getLine(bool trimAfter = true) override;

    size_t read(void* buffer, size_t count) override;
    size_t readLine(char* buffer, size_t maxCount, const Ogre::String& delimiter = "\n") override;
    Ogre::String getAsString() override;
    size_t skipLine(const Ogre::String& delimiter = "\n") override;
    void skip(long count) override;
    void seek(size_t position) override;
    size_t tell() const override;
    bool eof() const override;
    void close() override;

    // Names that followed "material".
    const NameMap& materialNames() const { return materialNames_; }
    // Texture, program and source names.
    const NameMap& referencedFiles() const { return referencedFiles_; }

private:
    std::string rewrite(const std::string& line);
    // prefix + text, or prefix + k + "_" + text for the first k that is not yet a new name of
    // a referenced file; spaces become underscores.
    std::string freshName(const std::string& text) const;
    // The new name already given to that source name, or a fresh one, recorded.
    std::string referencedFileName(const std::string& source);

    Ogre::DataStreamPtr wrapped_;
    std::string prefix_;
    NameMap materialNames_;
    NameMap referencedFiles_;
    std::set<std::string> usedFileNames_; // the new names in referencedFiles_
};
