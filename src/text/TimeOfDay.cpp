// The time of day for callers written against the POSIX call of that name.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"
#include "text/TimeOfDay.h"

#include <sys/timeb.h>

namespace KaCtrl {

int gettimeofday(timeval* tv, void* /* tz: time zones are not reported */) {
    if (tv == nullptr) {
        return -1;
    }
    __timeb64 now;
    _ftime64(&now);
    tv->tv_sec = ToTimevalSeconds(now.time);
    // The platform's clock here counts whole milliseconds.
    tv->tv_usec = static_cast<long>(now.millitm) * 1000;
    return 0;
}

} // namespace KaCtrl
