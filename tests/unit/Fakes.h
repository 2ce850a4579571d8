#pragma once

#include "forms/MainWindow.h"
#include "platform/Automation.h"
#include "platform/Executable.h"
#include "platform/SettingsService.h"

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>
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
    explicit FakeLabel(std::string caption = {}) : caption_(std::move(caption)) {}
    std::string caption() const override { return caption_; }
    void setCaption(std::string_view caption) override { caption_ = caption; }
};

struct FakeClock {
    std::int64_t now = 0;  // milliseconds
};

// Counts its interval from the moment it is enabled, on a fake clock.
struct FakeTimer : Timer {
    int interval_ = 0;
    bool enabled_ = false;
    FakeClock* clock = nullptr;
    std::int64_t due = 0;
    int interval() const override { return interval_; }
    void setInterval(int milliseconds) override
    {
        interval_ = milliseconds;
        restart();
    }
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override
    {
        if (enabled && !enabled_)
            restart();
        enabled_ = enabled;
    }
    void restart() { due = (clock ? clock->now : 0) + interval_; }
};

struct FakeWindow : Window {
    std::string caption_;
    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool closed = false;
    std::function<void()> onClose;  // the window's close operation
    explicit FakeWindow(std::string caption) : caption_(std::move(caption)) {}
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
    FakeWindow window{"QM-PVX - QM-Pellivox"};
    FakeButton startStop{"START", true}, ready{"Ready To Send", true}, send{"SEND TEXT STRING", false};
    FakeTimer autoStart, autoClose;
    FakeLabel status, exeName{"App.EXEName"};
    FakeTickBox autoStartBox, autoCloseBox, enterBox;
    FakeTextField title, text;

    MainWindow controls{window, startStop, ready, send, autoStart, autoClose, status, exeName,
                        autoStartBox, autoCloseBox, enterBox, title, text};
};

// An in-memory settings service that records every call.
struct FakeSettings : SettingsService {
    using Key = std::tuple<std::string, std::string, std::string>;
    std::map<Key, std::string> values;
    std::vector<std::string> writes;         // keys, in call order
    std::string failOnSaveOf;                // a key whose save throws
    std::string unusable;                    // set: the store is not settings, with this message

    std::optional<std::string> lookup(std::string_view app, std::string_view section, std::string_view key) override
    {
        if (!unusable.empty())
            throw UnusableSettingsStore(unusable);
        const auto found = values.find({std::string(app), std::string(section), std::string(key)});
        if (found == values.end())
            return std::nullopt;
        return found->second;
    }
    void save(std::string_view app, std::string_view section, std::string_view key, std::string_view value) override
    {
        if (!unusable.empty())
            throw UnusableSettingsStore(unusable);
        if (key == failOnSaveOf)
            throw std::runtime_error("disk full");
        writes.emplace_back(key);
        values[{std::string(app), std::string(section), std::string(key)}] = value;
    }
    std::string location(std::string_view app, std::string_view section) const override
    {
        return "/home/user/.config/" + std::string(app) + "/" + std::string(section) + ".conf";
    }

    void put(std::string_view section, std::string_view key, std::string_view value)
    {
        values[{"QM_PVX", std::string(section), std::string(key)}] = value;
    }
    std::map<std::string, std::string> section(std::string_view name) const
    {
        std::map<std::string, std::string> result;
        for (const auto& [key, value] : values) {
            if (std::get<0>(key) == "QM_PVX" && std::get<1>(key) == name)
                result[std::get<2>(key)] = value;
        }
        return result;
    }
};

// Records every call to the platform's activation and keystroke object, with
// the status line as it stood at that moment.
struct RecordingAutomation : Automation {
    struct Call {
        std::string what;
        std::string status;
    };
    std::vector<Call> calls;
    std::string failOn;           // a call that throws, e.g. "AppActivate"
    const Label* status = nullptr;

    void record(std::string what)
    {
        const bool fails = what.rfind(failOn, 0) == 0 && !failOn.empty();
        calls.push_back({std::move(what), status ? status->caption() : ""});
        if (fails)
            throw std::runtime_error("could not bring the window to the foreground");
    }
    std::vector<std::string> log() const
    {
        std::vector<std::string> result;
        for (const Call& call : calls)
            result.push_back(call.what);
        return result;
    }

    struct Shell : ShellObject {
        RecordingAutomation& owner;
        explicit Shell(RecordingAutomation& o) : owner(o) {}
        ~Shell() override { owner.calls.push_back({"release", ""}); }
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
