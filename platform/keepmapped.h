#pragma once

#include <string>
#include <vector>

// Keeping the render engine's shared libraries loaded until the process ends. The engine unloads
// its plug-ins at shutdown and the GL loader unloads the driver it picked; LeakSanitizer, which
// looks at the heap only at exit, then finds allocations whose stacks point into unmapped code
// and can neither name nor suppress them. Loaded once more with RTLD_NODELETE, a library stays
// mapped after its last dlclose, so every leak report names the library it came from.
// Called from the main thread before the engine starts; no state of its own.
namespace VelOS {

// The libraries the engine will load for the plug-in file (Ogre's plugins.cfg): one path per
// "Plugin=" line, in PluginFolder (relative to the file's folder when not absolute), with ".so"
// added where the name lacks it. Empty when the file cannot be read.
std::vector<std::string> enginePluginLibraries(const std::string& pluginsFile);

// Where Mesa looks for the driver it loads on an X display without hardware rendering (xvfb):
// swrast_dri.so in each folder of LIBGL_DRIVERS_PATH, or else in the dri folder beside its GLX
// vendor library (vendorFolder; none when that is empty).
std::vector<std::string> glDriverLibraries(const std::string& vendorFolder);

// Loads each library (a path, or a bare name the dynamic linker looks up) so that it is never
// unloaded. Libraries that are missing or fail to load are skipped. How many are kept.
int keepLibrariesMapped(const std::vector<std::string>& libraries);

// The engine's plug-ins and the GL driver kept mapped, in builds made for the sanitizers
// (VELQUIN_KEEP_LIBRARIES_MAPPED); nothing elsewhere, where the engine may unload what it likes.
void keepEngineLibrariesMapped(const std::string& pluginsFile);

} // namespace VelOS
