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

    QString path() const { return service.filePath("QM_PVX", "qm-pvx"); }

    void store(const QByteArray& bytes)
    {
        QDir().mkpath(folder.path() + "/QM_PVX");
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray stored() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
    }

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

    QtSettingsService again(folder.path());  // a later run
    EXPECT_EQ(again.lookup("QM_PVX", "qm-pvx", "TEXT_TO_SEND_TEXTBOX"), awkward);
    EXPECT_EQ(again.lookup("QM_PVX", "qm-pvx", "MAIN-Left"), "1234.5");
    EXPECT_EQ(again.lookup("QM_PVX", "qm-pvx", "MAIN-Width"), std::nullopt);
}

TEST_F(QtSettings, FileIsTheOwnersOnlyFromTheStart)
{
    ::umask(022);
    service.save("QM_PVX", "qm-pvx", "TEXT_TO_SEND_TEXTBOX", "hunter2");
    EXPECT_EQ(modeOf(path()), 0600u);
    EXPECT_EQ(modeOf(folder.path() + "/QM_PVX"), 0700u);

    // A file left readable by others is mended at the next save.
    ::chmod(path().toLocal8Bit().constData(), 0644);
    service.save("QM_PVX", "qm-pvx", "MAIN-Left", "1");
    EXPECT_EQ(modeOf(path()), 0600u);
}

// Stored text that is not UTF-8 comes back as its bytes, read the way QSettings
// reads the rest: quotes, escapes and lists as usual.
TEST_F(QtSettings, TextThatIsNotUtf8ComesBackAsItsBytes)
{
    const struct {
        const char* line;
        std::string text;
    } cases[] = {
        {"ab\xff\xfe" "cd\xc3x", "ab\xff\xfe" "cd\xc3x"},  // hex digits after a bad byte stay letters
        {"\"  quoted \xe9, kept \"", "  quoted \xe9, kept "},
        {"caf\xe9\\nline \\x41", "caf\xe9\nline A"},
        {"list \xe9 , two", "list \xe9,two"},
        {"\\xd800 by hand", "\xed\xa0\x80 by hand"},  // a lone surrogate is no more UTF-8 than Unicode
    };
    for (const auto& c : cases) {
        store(QByteArray("[General]\nMAIN-Left=1\nTEXT_TO_SEND_TEXTBOX=") + c.line + "\n");
        EXPECT_EQ(service.lookup("QM_PVX", "qm-pvx", "TEXT_TO_SEND_TEXTBOX"), c.text) << c.line;
        EXPECT_EQ(service.lookup("QM_PVX", "qm-pvx", "MAIN-Left"), "1") << c.line;
    }
}

// A save changes the key's line and nothing else: lines QSettings would
// rewrite (bytes that are not UTF-8, comments, quoting) keep their bytes.
TEST_F(QtSettings, ASaveChangesOnlyItsKeysLine)
{
    const struct {
        QByteArray before;
        const char* key;
        const char* value;
        QByteArray after;
    } cases[] = {
        {"; by hand\n[general]\nTEXT_TO_SEND_TEXTBOX=ab\xff\xfe" "cd\xc3x\nMAIN-Left = \"12\"  ; old\n\n[Other]\nMAIN-Left=7\n",
         "MAIN-Left", "1500",
         "; by hand\n[general]\nTEXT_TO_SEND_TEXTBOX=ab\xff\xfe" "cd\xc3x\nMAIN-Left=1500\n\n[Other]\nMAIN-Left=7\n"},
        {"[General]\r\nTEXT_TO_SEND_TEXTBOX=\xe9t\xe9\r\n\r\n[Other]\r\nMAIN-Top=7\r\n", "MAIN-Top", "20",
         "[General]\r\nTEXT_TO_SEND_TEXTBOX=\xe9t\xe9\r\nMAIN-Top=20\r\n\r\n[Other]\r\nMAIN-Top=7\r\n"},
        {"A=1\n[Other]\nB=2", "C", " three, 3 ", "A=1\nC=\" three, 3 \"\n[Other]\nB=2"},
        {"[Other]\nB=\xff", "C", "3", "[General]\nC=3\n\n[Other]\nB=\xff"},
        {"[General]\nC=1\nC=2\n", "C", "3", "[General]\nC=1\nC=3\n"},  // QSettings reads the last
        {"", "C", "line\nbreak", "[General]\nC=line\\nbreak\n"},
    };
    for (const auto& c : cases) {
        store(c.before);
        service.save("QM_PVX", "qm-pvx", c.key, c.value);
        EXPECT_EQ(stored(), c.after) << c.before.toStdString();
        EXPECT_EQ(service.lookup("QM_PVX", "qm-pvx", c.key), c.value);
    }
    EXPECT_EQ(QDir(folder.path() + "/QM_PVX").entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"qm-pvx.conf"});
}

// A save that cannot be done is an error, never a silent loss.
TEST_F(QtSettings, ASaveThatCannotBeDoneIsAnErrorAndChangesNothing)
{
    // A quoted value running over a line break: QSettings reads one value.
    const QByteArray before = "[General]\nMAIN-Left=\"1\n2\"\nTEXT_TO_SEND_TEXTBOX=\xff\n";
    store(before);
    EXPECT_THROW(service.save("QM_PVX", "qm-pvx", "MAIN-Left", "5"), std::runtime_error);
    EXPECT_EQ(stored(), before);

    // A folder where the file should be: not writable, even for root.
    ASSERT_TRUE(QFile::remove(path()) && QDir().mkpath(path()));
    EXPECT_THROW(service.save("QM_PVX", "qm-pvx", "MAIN-Left", "1"), std::runtime_error);
}

// What is not a settings file is reported by lookups and saves alike, with
// its path, and never written: it may be worth something to someone.
TEST_F(QtSettings, AFileThatIsNotSettingsIsReportedAndNeverWritten)
{
    const QByteArray huge = QByteArray("MAIN-Left=1000\n").repeated(70000);  // just over a megabyte
    const struct {
        const char* what;
        QByteArray bytes;
        const char* reason;
    } cases[] = {
        {"NUL bytes in good lines", QByteArray("[General]\nMAIN-Left=1\0\nMAIN-Top=2\n", 34), "NUL bytes"},
        {"a line that is no setting", "[General]\nMAIN-Left=1\nhello\n", "neither [sections]"},
        {"a bad line in another section", "[General]\nMAIN-Left=1\n[Other]\nhello\n", "neither [sections]"},
        {"over a megabyte", huge, "bytes long"},
    };
    for (const auto& c : cases) {
        store(c.bytes);
        try {
            service.lookup("QM_PVX", "qm-pvx", "MAIN-Left");
            ADD_FAILURE() << c.what << ": read";
        } catch (const UnusableSettingsStore& error) {
            EXPECT_NE(std::string(error.what()).find(service.location("QM_PVX", "qm-pvx")), std::string::npos);
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
        }
        EXPECT_THROW(service.save("QM_PVX", "qm-pvx", "MAIN-Left", "5"), UnusableSettingsStore) << c.what;
        EXPECT_THROW(service.save("QM_PVX", "qm-pvx", "NEW-KEY", "5"), UnusableSettingsStore) << c.what;
        EXPECT_TRUE(stored() == c.bytes) << c.what;
    }
}

} // namespace
} // namespace qmpvx
