#include "platform/qt/QtSettingsService.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
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

TEST_F(QtSettings, AStoreThatCannotBeWrittenIsAnErrorNotASilentLoss)
{
    // A folder where the file should be: not writable, even for root.
    QDir().mkpath(service.filePath("QM_PVX", "qm-pvx"));
    EXPECT_THROW(service.save("QM_PVX", "qm-pvx", "MAIN-Left", "1"), std::runtime_error);
}

} // namespace
} // namespace qmpvx
