// A token's group list, walked without a token: the list is tested on its own, since a
// token without Administrators cannot be made on every system.
#include "process/TokenGroups.h"

namespace KaCtrl {

bool ListsGroup(const TOKEN_GROUPS& groups, PSID group) {
    for (DWORD i = 0; i < groups.GroupCount; ++i) {
        if (::EqualSid(groups.Groups[i].Sid, group)) {
            return true;
        }
    }
    return false;
}

} // namespace KaCtrl
