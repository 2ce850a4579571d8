#include "platform/Executable.h"

namespace qmpvx {

std::string executableNameFromPath(std::string_view invokedPath, bool stripExeExtension)
{
    const std::string_view separators = stripExeExtension ? "/\\" : "/";
    const auto slash = invokedPath.find_last_of(separators);
    std::string name(slash == std::string_view::npos ? invokedPath : invokedPath.substr(slash + 1));

    constexpr std::string_view kExe = ".exe";
    if (stripExeExtension && name.size() > kExe.size()) {
        const std::string_view tail = std::string_view(name).substr(name.size() - kExe.size());
        bool isExe = true;
        for (std::size_t i = 0; i < kExe.size(); ++i)
            isExe = isExe && (tail[i] | 0x20) == kExe[i];
        if (isExe)
            name.resize(name.size() - kExe.size());
    }
    return name;
}

} // namespace qmpvx
