// A token's group list, walked without a token: the list is tested on its own, since a
// token without Administrators cannot be made on every system.
#include "process/TokenGroups.h"

namespace KaCtrl {

bool HoldsGroupEnabled(const TOKEN_GROUPS& groups, PSID group) {
    for (DWORD i = 0; i < groups.GroupCount; ++i) {
        const DWORD attributes = groups.Groups[i].Attributes;
        const bool grants =
            (attributes & SE_GROUP_ENABLED) != 0 && (attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0;
        if (grants && ::EqualSid(groups.Groups[i].Sid, group)) {
            return true;
        }
    }
    return false;
}

} // namespace KaCtrl
