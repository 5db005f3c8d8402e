#include "frame/Trace.h"

namespace KaCtrl {

KaTekTrc::TraceWrapper_t traceArea("ctrl.utils", 2);

} // namespace KaCtrl
