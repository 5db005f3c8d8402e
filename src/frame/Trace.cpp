#include "frame/Trace.h"

#include "AgentNames.h"

namespace KaCtrl {

KaTekTrc::TraceWrapper_t traceArea(KaAgent::kTraceArea, 2);

} // namespace KaCtrl
