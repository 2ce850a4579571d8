// Prints the named keys of the notation, one a line: the key, then every
// spelling the braces accept ("Escape: ESC ESCAPE"). The manual page and the
// README are checked against this, so their lists cannot drift from the table.
#include "platform/keys/KeyNames.h"

#include <cstdio>
#include <string>

int main()
{
    using namespace qmpvx::keys;
    for (std::size_t k = 0; k < kNamedKeyCount; ++k) {
        const auto key = static_cast<NamedKey>(k);
        std::string line(keyName(key));
        line += ':';
        for (const auto& [name, named] : notationNames()) {
            if (named == key)
                line += ' ' + std::string(name);
        }
        std::puts(line.c_str());
    }
}
