// Signal numbers by name. Windows has no named signals to send to the agent's processes,
// so the table is empty and every name answers 0, the answer for an unknown name; the
// function stays so that callers shared with other platforms need no special case.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"

#include <map>

namespace KaCtrl {

int GetUXSignalFromName(const String_t& name) {
    const std::map<String_t, int> signalNumbers;
    auto found = signalNumbers.find(name);
    return found == signalNumbers.end() ? 0 : found->second;
}

} // namespace KaCtrl
