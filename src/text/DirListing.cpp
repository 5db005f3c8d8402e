// Directory listing by name suffix. A directory that cannot be listed is not the caller's
// failure: it is logged, and the caller goes on with what was found.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"
#include "frame/Messages.h"

namespace KaCtrl {

std::list<String_t> GetFilesInDir(const String_t& dir, const char* suffix) {
    std::list<String_t> paths;
    // Outside the guard: a filter that cannot be built is the caller's fault, not the
    // directory's, and reaches the caller.
    DirLister_t::Filter_t filter;
    filter.Suffix(String_t(suffix));
    try {
        File_t directory(dir);
        DirLister_t lister(directory, filter);
        for (; !lister.IsAtEnd(); lister.Next()) {
            // The directory is kept exactly as given, separators included.
            paths.push_back(dir + "/" + lister.GetCurrentName());
        }
    } catch (const Exception_t& caught) {
        LogCaughtThenOwn(caught, kErrorListingDirectory, {dir});
    }
    return paths;
}

} // namespace KaCtrl
