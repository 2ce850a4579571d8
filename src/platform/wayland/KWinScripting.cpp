#include "platform/wayland/KWinScripting.h"

#include <systemd/sd-bus.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace qmpvx::wayland {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kReportPath = "/io/github/qm_pvx/KWinReports";
constexpr const char* kReportInterface = "io.github.qm_pvx.KWinReports";
// KWin answers from its main loop, which a busy compositor holds up.
constexpr std::uint64_t kCallTimeoutMicroseconds = 2'000'000;
constexpr auto kAnswerTimeout = std::chrono::seconds(2);

// A JavaScript string literal.
std::string quoted(const std::string& text)
{
    std::string literal = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            literal += '\\';
            literal += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            literal += escape;
        } else {
            literal += c;
        }
    }
    return literal + "\"";
}

std::int64_t number(const std::string& text)
{
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return end && *end == '\0' ? value : 0;
}

std::runtime_error kwinDidNotAnswer(const std::string& what)
{
    return std::runtime_error("KWin did not " + what + " within 2 s: its scripting over D-Bus did not answer. "
                              "Nothing was typed.");
}

// A call to KWin's scripting; throws with the reason when KWin refuses it.
class Call {
public:
    Call(sd_bus* bus, const char* destination, const char* path, const char* interface, const char* member,
         const char* types, ...)
    {
        sd_bus_message* request = nullptr;
        int result = sd_bus_message_new_method_call(bus, &request, destination, path, interface, member);
        if (result >= 0 && types) {
            va_list arguments;
            va_start(arguments, types);
            result = sd_bus_message_appendv(request, types, arguments);
            va_end(arguments);
        }
        if (result >= 0)
            result = sd_bus_call(bus, request, kCallTimeoutMicroseconds, &error_, &reply_);
        sd_bus_message_unref(request);
        result_ = result;
    }
    ~Call()
    {
        sd_bus_message_unref(reply_);
        sd_bus_error_free(&error_);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    bool ok() const { return result_ >= 0; }
    bool timedOut() const { return result_ == -ETIMEDOUT; }
    bool unknownObject() const { return sd_bus_error_has_name(&error_, SD_BUS_ERROR_UNKNOWN_OBJECT); }
    sd_bus_message* reply() const { return reply_; }

private:
    sd_bus_error error_ = SD_BUS_ERROR_NULL;
    sd_bus_message* reply_ = nullptr;
    int result_ = 0;
};

constexpr std::string_view kScriptPrefix = "qm-pvx-";

std::string scriptFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime ? runtime : "/tmp";
}

// The script's text in a file named after the script, which KWin reads when
// the script runs.
class ScriptFile {
public:
    ScriptFile(const std::string& pluginName, const std::string& text)
        : path_(scriptFolder() + "/" + pluginName + ".js")
    {
        const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            throw std::runtime_error("Could not write a script for KWin in " + path_ + ": " + std::strerror(errno) +
                                     ". Nothing was typed.");
        const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        close(fd);
        if (!written) {
            unlink(path_.c_str());
            throw std::runtime_error("Could not write a script for KWin in " + path_ + ". Nothing was typed.");
        }
    }
    ~ScriptFile() { unlink(path_.c_str()); }
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace

class KWinScripting::LoadedScript {
public:
    LoadedScript(sd_bus* bus, std::string pluginName, const std::string& text)
        : bus_(bus), pluginName_(std::move(pluginName)), file_(pluginName_, text)
    {
        std::int32_t id = -1;
        {
            const Call load(bus_, kKWin, "/Scripting", "org.kde.kwin.Scripting", "loadScript", "ss", file_.path().c_str(),
                            pluginName_.c_str());
            if (load.timedOut())
                throw kwinDidNotAnswer("load this program's script");
            if (!load.ok() || sd_bus_message_read(load.reply(), "i", &id) < 0 || id < 0)
                throw std::runtime_error("KWin refused to load this program's script, which finds and activates "
                                         "the window (is KWin's scripting turned off?). Nothing was typed.");
        }
        // KWin 5 names a script's object after its number; KWin 6 under /Scripting.
        for (const std::string& path : {"/" + std::to_string(id), "/Scripting/Script" + std::to_string(id)}) {
            const Call run(bus_, kKWin, path.c_str(), "org.kde.kwin.Script", "run", nullptr);
            if (run.ok())
                return;
            if (!run.unknownObject()) {
                unload();
                throw kwinDidNotAnswer("run this program's script");
            }
        }
        unload();
        throw std::runtime_error("KWin loaded this program's script but offers no way to run it. Nothing was typed.");
    }
    ~LoadedScript() { unload(); }
    LoadedScript(const LoadedScript&) = delete;
    LoadedScript& operator=(const LoadedScript&) = delete;

    const std::string& pluginName() const { return pluginName_; }
    bool stillLoaded() const
    {
        const Call loaded(bus_, kKWin, "/Scripting", "org.kde.kwin.Scripting", "isScriptLoaded", "s", pluginName_.c_str());
        int answer = 0;
        return loaded.ok() && sd_bus_message_read(loaded.reply(), "b", &answer) >= 0 && answer;
    }

private:
    void unload() noexcept
    {
        const Call unload(bus_, kKWin, "/Scripting", "org.kde.kwin.Scripting", "unloadScript", "s", pluginName_.c_str());
    }

    sd_bus* bus_;
    std::string pluginName_;
    ScriptFile file_;
};

struct KWinScripting::Receiver {
    static int received(sd_bus_message* message, void* data, sd_bus_error*);
};

int KWinScripting::Receiver::received(sd_bus_message* message, void* data, sd_bus_error*)
{
    auto* self = static_cast<KWinScripting*>(data);
    const char* sender = sd_bus_message_get_sender(message);
    if (!sender || self->kwin_ != sender ||
        std::strcmp(sd_bus_message_get_interface(message) ? sd_bus_message_get_interface(message) : "",
                    kReportInterface) != 0)
        return 0;
    std::vector<std::string> arguments;
    const char* argument = nullptr;
    while (sd_bus_message_read_basic(message, 's', &argument) > 0)
        arguments.emplace_back(argument);
    const char* member = sd_bus_message_get_member(message);
    self->report(member ? member : "", arguments);
    sd_bus_reply_method_return(message, nullptr);
    return 1;
}

KWinScripting::KWinScripting() : kwin_(bus_.ownerOf(kKWin))
{
    if (kwin_.empty())
        throw std::runtime_error("KWin is not on the session bus (D-Bus), so its windows cannot be found. Start "
                                 "the program inside the Plasma session. Nothing was typed.");
    sd_bus_set_method_call_timeout(bus_.get(), kCallTimeoutMicroseconds);
    if (sd_bus_add_object(bus_.get(), &object_, kReportPath, &Receiver::received, this) < 0)
        throw std::runtime_error("Could not receive reports from KWin on the session bus. Nothing was typed.");
    unloadScriptsOfEndedRuns();
}

void KWinScripting::unloadScriptsOfEndedRuns() noexcept
{
    struct Closer {
        void operator()(DIR* dir) const noexcept { closedir(dir); }
    };
    const std::string folder = scriptFolder();
    const std::unique_ptr<DIR, Closer> dir(opendir(folder.c_str()));
    if (!dir)
        return;
    std::vector<std::string> ended;
    while (const dirent* entry = readdir(dir.get())) {
        // qm-pvx-PURPOSE-PID-N.js
        const std::string_view name(entry->d_name);
        if (!name.starts_with(kScriptPrefix) || !name.ends_with(".js"))
            continue;
        const std::size_t dash = name.find('-', kScriptPrefix.size());
        const pid_t pid = dash == std::string_view::npos ? 0 : static_cast<pid_t>(std::atol(name.data() + dash + 1));
        if (pid > 0 && pid != getpid() && kill(pid, 0) != 0 && errno == ESRCH)
            ended.emplace_back(name.substr(0, name.size() - 3));
    }
    for (const std::string& pluginName : ended) {
        const Call unload(bus_.get(), kKWin, "/Scripting", "org.kde.kwin.Scripting", "unloadScript", "s",
                          pluginName.c_str());
        unlink((folder + "/" + pluginName + ".js").c_str());
    }
}

KWinScripting::~KWinScripting()
{
    watcher_.reset();
    sd_bus_slot_unref(object_);
}

bool KWinScripting::kwinOnSessionBus() noexcept
{
    try {
        return !SessionBus().ownerOf(kKWin).empty();
    } catch (const std::exception&) {
        return false;
    }
}

void KWinScripting::report(const std::string& what, const std::vector<std::string>& arguments)
{
    // The first argument names the script: one of an earlier send may still report.
    if (arguments.empty())
        return;
    const std::string& from = arguments[0];
    if (from == listing_) {
        if (what == "window" && arguments.size() == 6)
            windows_.push_back({arguments[1], arguments[2], number(arguments[3]), arguments[4], number(arguments[5])});
        else if (what == "listed")
            listed_ = true;
    } else if (watcher_ && from == watcherName_) {
        if (what == "activated" && arguments.size() == 2) {
            active_ = arguments[1];
            reportedActive_ = arguments[1];
        } else if (what == "closed") {
            watchedClosed_ = true;
        }
    }
}

std::string KWinScripting::prelude(const std::string& pluginName) const
{
    // callDBus takes its arguments one by one; every value goes as a string.
    const std::string head = quoted(bus_.uniqueName()) + ", " + quoted(kReportPath) + ", " +
                             quoted(kReportInterface) + ", what, " + quoted(pluginName);
    return "var qmpvx = {\n"
           "    report: function (what) {\n"
           "        var a = [];\n"
           "        for (var i = 1; i < arguments.length; ++i) a.push(String(arguments[i]));\n"
           "        if (a.length === 0) callDBus(" + head + ");\n"
           "        else if (a.length === 1) callDBus(" + head + ", a[0]);\n"
           "        else callDBus(" + head + ", a[0], a[1], a[2], a[3], a[4]);\n"
           "    },\n"
           "    id: function (w) { return w ? String(w.internalId) : \"\"; }\n"
           "};\n";
}

std::string KWinScripting::newScriptName(const std::string& purpose)
{
    return std::string(kScriptPrefix) + purpose + "-" + std::to_string(getpid()) + "-" + std::to_string(++scripts_);
}

std::unique_ptr<KWinScripting::LoadedScript> KWinScripting::load(const std::string& pluginName,
                                                                 const std::string& body)
{
    return std::make_unique<LoadedScript>(bus_.get(), pluginName, prelude(pluginName) + body);
}

std::vector<KWinWindow> KWinScripting::windows()
{
    windows_.clear();
    listed_ = false;
    listing_ = newScriptName("list");
    const std::unique_ptr<LoadedScript> script = load(listing_,
        "var all = workspace.clientList();\n"
        "for (var i = 0; i < all.length; ++i) {\n"
        "    var w = all[i];\n"
        "    if (!w.specialWindow)\n"
        "        qmpvx.report(\"window\", qmpvx.id(w), w.caption, w.pid, w.resourceClass, w.stackingOrder);\n"
        "}\n"
        "qmpvx.report(\"listed\");\n");
    const Clock::time_point deadline = Clock::now() + kAnswerTimeout;
    while (!listed_) {
        if (Clock::now() >= deadline) {
            listing_.clear();
            throw kwinDidNotAnswer("list its windows");
        }
        bus_.dispatchWithin(std::chrono::milliseconds(20));
    }
    listing_.clear();
    std::vector<KWinWindow> listed = std::move(windows_);
    std::stable_sort(listed.begin(), listed.end(),
                     [](const KWinWindow& a, const KWinWindow& b) { return a.stackingOrder > b.stackingOrder; });
    return listed;
}

void KWinScripting::watch(const std::string& id, bool activate)
{
    stopWatching();
    watcherName_ = newScriptName("watch");
    const std::string target = quoted(id);
    watcher_ = load(watcherName_,
        "workspace.clientActivated.connect(function (w) { qmpvx.report(\"activated\", qmpvx.id(w)); });\n"
        "workspace.clientRemoved.connect(function (w) {\n"
        "    if (qmpvx.id(w) === " + target + ") qmpvx.report(\"closed\");\n"
        "});\n"
        "(function () {\n"
        "    var all = workspace.clientList();\n"
        "    for (var i = 0; i < all.length; ++i) {\n"
        "        if (qmpvx.id(all[i]) !== " + target + ") continue;\n" +
        (activate ? "        if (workspace.activeClient !== all[i]) workspace.activeClient = all[i];\n" : "") +
        "        qmpvx.report(\"activated\", qmpvx.id(workspace.activeClient));\n"
        "        return;\n"
        "    }\n"
        "    qmpvx.report(\"closed\");\n"
        "    qmpvx.report(\"activated\", qmpvx.id(workspace.activeClient));\n"
        "})();\n");
    const Clock::time_point deadline = Clock::now() + kAnswerTimeout;
    while (!reportedActive_) {
        if (Clock::now() >= deadline) {
            stopWatching();
            throw kwinDidNotAnswer("report the active window");
        }
        bus_.dispatchWithin(std::chrono::milliseconds(20));
    }
}

void KWinScripting::stopWatching() noexcept
{
    watcher_.reset();
    watcherName_.clear();
    reportedActive_.reset();
    active_.clear();
    watchedClosed_ = false;
}

xkb_layout_index_t KWinScripting::currentLayout()
{
    // KWin offers its layout switching on the bus only with more than one layout.
    const Call layout(bus_.get(), "org.kde.keyboard", "/Layouts", "org.kde.KeyboardLayouts", "getLayout", nullptr);
    std::uint32_t index = 0;
    if (!layout.ok() || sd_bus_message_read(layout.reply(), "u", &index) < 0)
        return 0;
    return index;
}

bool KWinScripting::sync()
{
    if (!watcher_ || !watcher_->stillLoaded())
        return false;
    bus_.dispatchPending();
    return true;
}

} // namespace qmpvx::wayland
