#pragma once

#include "platform/SettingsService.h"

#include <string>

namespace qmpvx::win32 {

// Per-user settings where the classic per-user settings service kept them:
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>, one
// REG_SZ value per key, so values an earlier program stored there carry over.
// A value of another type counts as missing.
class RegistrySettingsService final : public SettingsService {
public:
    std::optional<std::string> lookup(std::string_view app, std::string_view section,
                                      std::string_view key) override;
    void save(std::string_view app, std::string_view section, std::string_view key,
              std::string_view value) override;
    std::string location(std::string_view app, std::string_view section) const override;

    static std::wstring keyPath(std::string_view app, std::string_view section);
};

} // namespace qmpvx::win32
