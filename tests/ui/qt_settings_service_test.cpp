#include "platform/qt/QtSettingsService.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qmpvx {
namespace {

class QtSettings : public ::testing::Test {
protected:
    QTemporaryDir folder;
    QtSettingsService service{folder.path()};

    mode_t modeOf(const QString& path)
    {
        struct stat info {};
        EXPECT_EQ(stat(path.toLocal8Bit().constData(), &info), 0);
        return info.st_mode & 0777;
    }
};

TEST_F(QtSettings, ValuesRoundTripAsTextInTheirOwnSection)
{
    const std::string awkward = "  {ENTER}, \"quoted\" ; = @Variant(x) \\ \xE6\x97\xA5\xF0\x9F\x98\x80\nline two ";
    service.save("QM_PVX", "qm-pvx", "TEXT_TO_SEND_TEXTBOX", awkward);
    service.save("QM_PVX", "qm-pvx", "MAIN-Left", "1234.5");
    service.save("QM_PVX", "copy", "MAIN-Left", "7");

    const QtSettingsService laterRun(folder.path());
    QtSettingsService& again = const_cast<QtSettingsService&>(laterRun);
    EXPECT_EQ(again.lookup("QM_PVX", "qm-pvx", "TEXT_TO_SEND_TEXTBOX"), awkward);
    EXPECT_EQ(again.lookup("QM_PVX", "qm-pvx", "MAIN-Left"), "1234.5");
    EXPECT_EQ(again.lookup("QM_PVX", "copy", "MAIN-Left"), "7");
    EXPECT_EQ(again.lookup("QM_PVX", "qm-pvx", "MAIN-Width"), std::nullopt);
    EXPECT_EQ(again.get("QM_PVX", "qm-pvx", "MAIN-Width", std::int16_t{9480}), "9480");
}

TEST_F(QtSettings, FileIsTheOwnersOnlyFromTheStart)
{
    ::umask(022);
    service.save("QM_PVX", "qm-pvx", "TEXT_TO_SEND_TEXTBOX", "hunter2");
    const QString path = service.filePath("QM_PVX", "qm-pvx");
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(folder.path() + "/QM_PVX"), 0700u);

    // A file left readable by others is mended at the next save.
    ::chmod(path.toLocal8Bit().constData(), 0644);
    service.save("QM_PVX", "qm-pvx", "MAIN-Left", "1");
    EXPECT_EQ(modeOf(path), 0600u);
    // Nothing but the settings file is left behind.
    EXPECT_EQ(QDir(folder.path() + "/QM_PVX").entryList(QDir::Files), QStringList{"qm-pvx.conf"});
}

// Two copies under one name share the keys; the last save wins and the file
// stays whole, whatever the interleaving.
TEST_F(QtSettings, ConcurrentCopiesLeaveAWholeFile)
{
    constexpr int kWrites = 40;
    std::vector<pid_t> children;
    for (int copy = 0; copy < 2; ++copy) {
        const pid_t child = fork();
        if (child == 0) {
            QtSettingsService mine(folder.path());
            for (int i = 0; i < kWrites; ++i) {
                mine.save("QM_PVX", "qm-pvx", "MAIN-Left", std::to_string(copy * 1000 + i));
                mine.save("QM_PVX", "qm-pvx", copy == 0 ? "WINDOW_NAME_TEXTBOX" : "TEXT_TO_SEND_TEXTBOX", "x");
            }
            _exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string left = service.lookup("QM_PVX", "qm-pvx", "MAIN-Left").value_or("");
    EXPECT_TRUE(left == std::to_string(kWrites - 1) || left == std::to_string(1000 + kWrites - 1)) << left;
    EXPECT_EQ(service.lookup("QM_PVX", "qm-pvx", "WINDOW_NAME_TEXTBOX"), "x");
    EXPECT_EQ(service.lookup("QM_PVX", "qm-pvx", "TEXT_TO_SEND_TEXTBOX"), "x");
}

TEST_F(QtSettings, AStoreThatCannotBeWrittenIsAnErrorNotASilentLoss)
{
    // A folder where the file should be: not writable, even for root.
    QDir().mkpath(service.filePath("QM_PVX", "qm-pvx"));
    EXPECT_THROW(service.save("QM_PVX", "qm-pvx", "MAIN-Left", "1"), std::runtime_error);
}

} // namespace
} // namespace qmpvx
