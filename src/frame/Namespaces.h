// Internal: the namespaces of named kernel objects.
#pragma once

namespace KaCtrl {

// A service's named objects live in the global namespace, which a process in a user's session
// reaches by this prefix only: there a plain name names an object of the session's own.
inline constexpr char kGlobalNamespace[] = "Global\\";

} // namespace KaCtrl
