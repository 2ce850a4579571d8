#include "platform/wayland/ToplevelSearch.h"

#include <algorithm>

namespace qmpvx::wayland {

std::vector<TitledWindow> searchOrder(const std::list<Toplevel>& oldestFirst, std::string_view ownAppId)
{
    std::vector<const Toplevel*> open;
    for (auto it = oldestFirst.rbegin(); it != oldestFirst.rend(); ++it) {
        if (!it->closed && it->appId != ownAppId)
            open.push_back(&*it);
    }
    std::stable_partition(open.begin(), open.end(), [](const Toplevel* t) { return t->activated; });
    std::vector<TitledWindow> windows;
    for (const Toplevel* toplevel : open)
        windows.push_back({toplevel->id, toplevel->title});
    return windows;
}

} // namespace qmpvx::wayland
