#pragma once

#include "forms/MainWindow.h"
#include "platform/Automation.h"
#include "platform/Executable.h"
#include "platform/SettingsService.h"

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace qmpvx::test {

struct FakeButton : Button {
    std::string caption_;
    bool enabled_ = true;
    FakeButton(std::string caption, bool enabled) : caption_(std::move(caption)), enabled_(enabled) {}
    std::string caption() const override { return caption_; }
    void setCaption(std::string_view caption) override { caption_ = caption; }
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
};

struct FakeTickBox : TickBox {
    TickValue value_ = 0;
    TickValue value() const override { return value_; }
    void setValue(TickValue value) override
    {
        if (value < 0 || value > 2)
            throw std::invalid_argument("bad tick value");
        value_ = value;
    }
};

struct FakeTextField : TextField {
    std::string text_;
    std::string text() const override { return text_; }
    void setText(std::string_view text) override { text_ = text; }
};

struct FakeLabel : Label {
    std::string caption_;
    std::string caption() const override { return caption_; }
    void setCaption(std::string_view caption) override { caption_ = caption; }
};

// Counts its interval from the moment it is enabled, on a fake clock (milliseconds).
struct FakeTimer : Timer {
    int interval_ = 0;
    bool enabled_ = false;
    const std::int64_t* now = nullptr;
    std::int64_t due = 0;
    int interval() const override { return interval_; }
    void setInterval(int milliseconds) override { interval_ = milliseconds; restart(); }
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override
    {
        if (enabled && !enabled_)
            restart();
        enabled_ = enabled;
    }
    void restart() { due = (now ? *now : 0) + interval_; }
};

struct FakeWindow : Window {
    std::string caption_;
    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool closed = false;
    std::function<void()> onClose;  // the window's close operation
    std::string caption() const override { return caption_; }
    void setCaption(std::string_view caption) override { caption_ = caption; }
    float left() const override { return left_; }
    float top() const override { return top_; }
    float width() const override { return width_; }
    float height() const override { return height_; }
    void setLeft(float twips) override { left_ = twips; }
    void setTop(float twips) override { top_ = twips; }
    void setWidth(float twips) override { width_ = twips; }
    void setHeight(float twips) override { height_ = twips; }
    void close() override
    {
        if (onClose)
            onClose();
        closed = true;
    }
};

// The main window's controls in their design state.
struct FakeMainWindow {
    FakeWindow window;
    FakeButton startStop{"START", true}, ready{"Ready To Send", true}, send{"SEND TEXT STRING", false};
    FakeTimer autoStart, autoClose;
    FakeLabel status, exeName;
    FakeTickBox autoStartBox, autoCloseBox, enterBox;
    FakeTextField title, text;

    MainWindow controls{window, startStop, ready, send, autoStart, autoClose, status, exeName,
                        autoStartBox, autoCloseBox, enterBox, title, text};
};

// An in-memory settings service that records every save; sections are kept
// under "application/section".
struct FakeSettings : SettingsService {
    std::map<std::string, std::map<std::string, std::string>> sections;
    std::vector<std::string> writes;  // keys, in call order
    std::string failOnSaveOf;         // a key whose save throws
    std::string unusable;             // set: the store is not settings, with this message

    std::optional<std::string> lookup(std::string_view app, std::string_view section, std::string_view key) override
    {
        if (!unusable.empty())
            throw UnusableSettingsStore(unusable);
        const auto& values = sections[std::string(app) + "/" + std::string(section)];
        const auto found = values.find(std::string(key));
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
    void save(std::string_view app, std::string_view section, std::string_view key, std::string_view value) override
    {
        if (!unusable.empty())
            throw UnusableSettingsStore(unusable);
        if (key == failOnSaveOf)
            throw std::runtime_error("disk full");
        writes.emplace_back(key);
        sections[std::string(app) + "/" + std::string(section)][std::string(key)] = value;
    }
    std::string location(std::string_view app, std::string_view section) const override
    {
        return "/home/user/.config/" + std::string(app) + "/" + std::string(section) + ".conf";
    }

    auto& section(std::string_view copy) { return sections["QM_PVX/" + std::string(copy)]; }
    void put(std::string_view copy, std::string_view key, std::string_view value)
    {
        section(copy)[std::string(key)] = value;
    }
};

// Records every call to the platform's activation and keystroke object, with
// the status line as it stood at that moment.
struct RecordingAutomation : Automation {
    std::vector<std::string> calls, statuses;
    std::string failOn;  // the start of a call that throws, e.g. "AppActivate"
    const Label* status = nullptr;

    void record(std::string what)
    {
        const bool fails = !failOn.empty() && what.starts_with(failOn);
        calls.push_back(std::move(what));
        statuses.push_back(status ? status->caption() : "");
        if (fails)
            throw std::runtime_error("could not bring the window to the foreground");
    }

    struct Shell : ShellObject {
        RecordingAutomation& owner;
        explicit Shell(RecordingAutomation& o) : owner(o) {}
        ~Shell() override { owner.calls.push_back("release"); owner.statuses.emplace_back(); }
        void SendKeys(std::string_view keys, bool wait) override
        {
            owner.record("SendKeys(" + std::string(keys) + (wait ? ", wait)" : ")"));
        }
    };

    void AppActivate(std::string_view title) override { record("AppActivate(" + std::string(title) + ")"); }
    std::unique_ptr<ShellObject> CreateObject(std::string_view className) override
    {
        record("CreateObject(" + std::string(className) + ")");
        return std::make_unique<Shell>(*this);
    }
};

} // namespace qmpvx::test
