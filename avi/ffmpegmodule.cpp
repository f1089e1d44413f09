#include "avi/ffmpegmodule.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace kelbo {

namespace {

const FFmpegModule *load()
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    fs::path candidates[2];
    if (!error) {
        candidates[0] = program.parent_path() / KELBO_FFMPEG_MODULE_INSTALLED;
        // The build's own module only for a program run from the build folder: an installed
        // program never loads code from where it was built.
        const fs::path build = fs::weakly_canonical(KELBO_BUILD_DIR, error);
        if (!error && program.native().starts_with(build.native() + '/'))
            candidates[1] = KELBO_FFMPEG_MODULE_BUILT;
    }
    QByteArray why;
    for (const fs::path &candidate : candidates) {
        if (candidate.empty() || !fs::exists(candidate, error))
            continue;
        // Its own symbols stay its own (RTLD_LOCAL); it is never unloaded.
        void *handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            why = dlerror();
            continue;
        }
        const auto entry =
            reinterpret_cast<FFmpegModuleEntry>(dlsym(handle, kFFmpegModuleEntry));
        const FFmpegModule *module = entry ? entry() : nullptr;
        if (module && module->version == kFFmpegModuleVersion)
            return module;
        why = QByteArray(candidate.c_str()) + " : une autre version";
        dlclose(handle);
    }
    if (why.isEmpty())
        why = "introuvables";
    qCritical("Les compresseurs de FFmpeg ne peuvent pas être chargés (%s) : seuls « Images "
              "complètes » et « Motion JPEG » sont proposés.", why.constData());
    return nullptr;
}

} // namespace

const FFmpegModule *ffmpegModule()
{
    static const FFmpegModule *const module = load();
    return module;
}

} // namespace kelbo
