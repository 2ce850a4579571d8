#pragma once

#include "platform/TitleMatch.h"
#include "platform/wayland/WaylandDisplay.h"

#include <list>
#include <string_view>
#include <vector>

namespace qmpvx::wayland {

// The windows a title may name, in the order the title rules look at them:
// the activated one first, then the newest first. Closed windows and this
// program's own (they carry its app id) are never among them.
std::vector<TitledWindow> searchOrder(const std::list<Toplevel>& oldestFirst, std::string_view ownAppId);

} // namespace qmpvx::wayland
