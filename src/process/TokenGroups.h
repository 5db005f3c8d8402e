// Internal: looking a group up in a token's group list.
#pragma once

#include <windows.h>

namespace KaCtrl {

// HoldsGroupEnabled answers whether groups holds group enabled, as access checks and
// CheckTokenMembership count it: a group held for deny only (Administrators in the token of a
// user whom UAC filtered) or not enabled grants nothing, so it does not count.
bool HoldsGroupEnabled(const TOKEN_GROUPS& groups, PSID group);

} // namespace KaCtrl
