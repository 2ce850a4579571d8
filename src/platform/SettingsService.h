#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qmpvx {

// The per-user settings service: text values under an application name, a
// section and a key. Failures (an unreadable or unwritable store) are thrown.
class SettingsService {
public:
    virtual ~SettingsService() = default;

    // The stored text, or nothing when the key is absent.
    virtual std::optional<std::string> lookup(std::string_view app, std::string_view section,
                                              std::string_view key) = 0;

    // Stores the value at once; later lookups, also in later runs, return it.
    virtual void save(std::string_view app, std::string_view section, std::string_view key,
                      std::string_view value) = 0;

    // Where the values of this section are kept, for messages a user can act on.
    virtual std::string location(std::string_view app, std::string_view section) const = 0;

    // The stored text; when absent, the default as text.
    std::string get(std::string_view app, std::string_view section, std::string_view key,
                    std::int16_t defaultValue)
    {
        return lookup(app, section, key).value_or(std::to_string(defaultValue));
    }

    // The stored text; when absent, the empty text.
    std::string get(std::string_view app, std::string_view section, std::string_view key)
    {
        return lookup(app, section, key).value_or(std::string());
    }
};

} // namespace qmpvx
