#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qmpvx {

// What is kept for a section is not settings at all (say, a file overwritten
// by something else). Nothing in it is used and nothing is written over it:
// it may be worth something to whoever put it there. The message names it.
class UnusableSettingsStore : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The per-user settings service: text values under an application name, a
// section and a key. Failures (an unreadable or unwritable store) are thrown;
// a store that is not settings at all throws UnusableSettingsStore, from
// lookups and saves alike, and is left as it is.
class SettingsService {
public:
    virtual ~SettingsService() = default;

    // The stored text, or nothing when the key is absent. A stored text that
    // cannot be read as Unicode comes back as bytes that are not valid UTF-8,
    // as close to what is stored as the service can make them.
    virtual std::optional<std::string> lookup(std::string_view app, std::string_view section,
                                              std::string_view key) = 0;

    // Stores the value (UTF-8) at once; later lookups, also in later runs,
    // return it. Other keys' stored values stay exactly as they are.
    virtual void save(std::string_view app, std::string_view section, std::string_view key,
                      std::string_view value) = 0;

    // Where the values of this section are kept, for messages a user can act on.
    virtual std::string location(std::string_view app, std::string_view section) const = 0;
};

} // namespace qmpvx
