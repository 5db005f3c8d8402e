// Internal: looking a group up in a token's group list.
#pragma once

#include <windows.h>

namespace KaCtrl {

// ListsGroup answers whether groups holds group, whatever its attributes: a deny-only or
// disabled Administrators group still marks an administrator's process, as callers expect.
bool ListsGroup(const TOKEN_GROUPS& groups, PSID group);

} // namespace KaCtrl
