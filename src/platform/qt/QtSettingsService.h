#pragma once

#include "platform/SettingsService.h"

#include <QString>

namespace qmpvx {

// Per-user settings in INI files under the user's configuration folder
// (XDG_CONFIG_HOME, else ~/.config): <folder>/<app>/<section>.conf.
// The text to send may be a password, so files are readable by their owner
// only, from the moment they exist. A save replaces the file atomically,
// changing one line, and merges with what another copy of the program wrote.
// A file QSettings cannot read as INI, one holding NUL bytes and one over a
// megabyte are not settings files: UnusableSettingsStore, and never written.
class QtSettingsService final : public SettingsService {
public:
    QtSettingsService();
    explicit QtSettingsService(QString configFolder);

    std::optional<std::string> lookup(std::string_view app, std::string_view section,
                                      std::string_view key) override;
    void save(std::string_view app, std::string_view section, std::string_view key,
              std::string_view value) override;
    std::string location(std::string_view app, std::string_view section) const override;

    QString filePath(std::string_view app, std::string_view section) const;

private:
    QString configFolder_;
};

} // namespace qmpvx
