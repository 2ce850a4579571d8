#include "platform/win32/RegistrySettingsService.h"

#include "platform/keys/Utf8.h"
#include "platform/win32/Utf16.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

namespace qmpvx::win32 {

namespace {

// An open registry key, closed when it goes.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey()
    {
        if (key_)
            RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool isHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// A text with an unpaired surrogate is not Unicode. Each one becomes its three
// bytes, which are no more UTF-8 than it is Unicode, so the text is seen as
// unreadable rather than quietly changed.
std::string storedText(std::wstring_view text)
{
    std::string bytes;
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            ++i;
        } else if (isHighSurrogate(text[i]) || isLowSurrogate(text[i])) {
            bytes += toUtf8(text.substr(from, i - from));
            keys::appendUtf8(bytes, text[i]);
            from = i + 1;
        }
    }
    return bytes + toUtf8(text.substr(from));
}

} // namespace

std::wstring RegistrySettingsService::keyPath(std::string_view app, std::string_view section)
{
    return L"Software\\VB and VBA Program Settings\\" + toUtf16(app) + L"\\" + toUtf16(section);
}

std::optional<std::string> RegistrySettingsService::lookup(std::string_view app, std::string_view section,
                                                           std::string_view key)
{
    RegistryKey opened;
    const LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, keyPath(app, section).c_str(), 0, KEY_QUERY_VALUE,
                                         opened.out());
    if (status == ERROR_FILE_NOT_FOUND)
        return std::nullopt;
    if (status != ERROR_SUCCESS)
        throw std::runtime_error("Could not read the settings in " + location(app, section) + ".");

    const std::wstring name = toUtf16(key);
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    // The stored text may or may not end with its terminating zero.
    std::wstring_view text(buffer.data(), bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.remove_suffix(1);
    return storedText(text);
}

void RegistrySettingsService::save(std::string_view app, std::string_view section, std::string_view key,
                                   std::string_view value)
{
    RegistryKey created;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath(app, section).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, created.out(), nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("Could not open " + location(app, section) + " to save the settings.");
    const std::wstring text = toUtf16(value);
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    if (RegSetValueExW(created.get(), toUtf16(key).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       bytes) != ERROR_SUCCESS)
        throw std::runtime_error("Could not save the setting " + std::string(key) + " to " + location(app, section) +
                                 ".");
}

std::string RegistrySettingsService::location(std::string_view app, std::string_view section) const
{
    return "HKEY_CURRENT_USER\\" + toUtf8(keyPath(app, section));
}

} // namespace qmpvx::win32
