// Internal: the library's one trace area, "ctrl.utils", and its trace points.
#pragma once

#include "KaCtrlUtils.h"
#include "outside/Outside.h"

#include <cstdint>

namespace KaCtrl {

// Constant-initialised: no code runs at load time to make it.
extern KaTekTrc::TraceWrapper_t traceArea;

// TracePoint writes one record at level when the area is traced at that level. The text
// is built by buildText only then. A traced area's point costs a mask test; an untraced
// area's point asks the runtime again (InitObject), which queries the settings file's
// attributes and reads the file only once it has changed (bench/trace_bench measures it).
template <typename BuildText>
void TracePoint(uint32_t level, BuildText buildText, const char* sourceFile, int line) {
    if (!traceArea.HasObject()) {
        traceArea.InitObject();
    }
    if (!traceArea.HasObject()) {
        return;
    }
    const KaTekTrc::TraceObj_t& trace = traceArea;
    if ((trace.GetLevelMask() & level) != level) {
        return;
    }
    trace.DoTrace(level, buildText(), sourceFile, line);
}

} // namespace KaCtrl
