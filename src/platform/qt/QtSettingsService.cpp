#include "platform/qt/QtSettingsService.h"

#include "platform/keys/Utf8.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <stdexcept>

namespace qmpvx {

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                             QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                             QFileDevice::WriteOther | QFileDevice::ExeOther;

// Settings take a few kilobytes; a file much larger is something else, and is
// not read into memory to find that out.
constexpr qint64 kLargestSettingsFile = 1024 * 1024;
constexpr int kLockWaitMilliseconds = 10000;

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toUtf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// Creates the folder and an empty file with owner-only rights, so the values
// are never readable by others, not even for the moment before the first write.
void prepareFile(const QString& path)
{
    const QFileInfo info(path);
    QDir folder = info.dir();
    if (!folder.exists()) {
        if (!folder.mkpath(QStringLiteral(".")))
            throw std::runtime_error("Could not create the settings folder " + toUtf8(folder.path()) + ".");
        QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner);
    }
    QFile file(path);
    if (!file.exists())
        file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly);  // another copy may win the race: fine
}

// The file's bytes, or nothing when there is no file.
std::optional<QByteArray> readFile(const QString& path, const std::string& location)
{
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    if (info.size() > kLargestSettingsFile)
        throw UnusableSettingsStore("The settings file " + location + " is " + std::to_string(info.size()) +
                                    " bytes long, far longer than settings ever are: it is not a settings file.");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Could not read the settings in " + location + ".");
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw std::runtime_error("Could not read the settings in " + location + ".");
    if (bytes.contains('\0'))
        throw UnusableSettingsStore("The settings file " + location +
                                    " holds NUL bytes, which no settings file does: it is not a settings file.");
    return bytes;
}

bool isHexDigit(char32_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// QSettings reads bytes that are not UTF-8 as U+FFFD, losing them. Written as
// the escapes \xdc80 to \xdcff instead (lone surrogates, which no UTF-8 text
// holds), they come through as themselves.
QByteArray carryingBadBytes(const QByteArray& bytes)
{
    if (!keys::decodeUtf8(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))).invalidByte)
        return bytes;
    QByteArray carried;
    bool afterEscape = false;
    for (qsizetype at = 0; at < bytes.size();) {
        const std::size_t window = static_cast<std::size_t>(std::min<qsizetype>(4, bytes.size() - at));
        const keys::Utf8Decoding first = keys::decodeUtf8(std::string_view(bytes.constData() + at, window));
        if (first.characters.empty()) {
            carried += "\\xdc" + QByteArray::number(static_cast<uchar>(bytes[at]), 16);
            afterEscape = true;
            ++at;
            continue;
        }
        const char32_t c = first.characters.front();
        if (afterEscape && isHexDigit(c)) {
            // An escape takes in every hex digit after it: these are escaped too.
            carried += "\\x" + QByteArray::number(static_cast<uint>(c), 16);
            ++at;
            continue;
        }
        afterEscape = false;
        const qsizetype length = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        carried += bytes.mid(at, length);
        at += length;
    }
    return carried;
}

// The stored bytes from QSettings' reading of carried bytes. Any other lone
// surrogate (an escape written by hand) becomes its three bytes, which are no
// more UTF-8 than it is Unicode.
std::string storedText(const QString& text)
{
    std::string bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            keys::appendUtf8(bytes, QChar::surrogateToUcs4(unit, text[++i].unicode()));
        } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
            bytes += static_cast<char>(unit - 0xDC00);
        } else {
            keys::appendUtf8(bytes, unit);
        }
    }
    return bytes;
}

using Values = QMap<QString, QVariant>;

// QSettings works on files only, and keeps what it read cached by file name,
// so it never reads or writes the settings file itself: it works on copies of
// bytes read once, in a folder of the owner's own next to the file.
class WorkingCopies {
public:
    WorkingCopies(const QString& settingsPath, std::string location)
        : folder_(QFileInfo(settingsPath).dir().filePath(QStringLiteral(".working-XXXXXX"))),
          location_(std::move(location))
    {
        if (!folder_.isValid())
            throw std::runtime_error("Could not make a working folder next to " + location_ + ".");
    }

    // Every key and value in the bytes, as QSettings reads them.
    Values read(const QByteArray& bytes)
    {
        const QString path = write(carryingBadBytes(bytes));
        QSettings settings(path, QSettings::IniFormat);
        Values values;
        for (const QString& key : settings.allKeys()) {
            if (!key.isEmpty())  // "=value": a line QSettings keeps but cannot give back
                values.insert(key, settings.value(key));
        }
        if (settings.status() == QSettings::FormatError)
            throw UnusableSettingsStore("The settings file " + location_ +
                                        " has lines that are neither [sections], key=value settings nor "
                                        ";comments: it is not a settings file.");
        if (settings.status() != QSettings::NoError)
            throw std::runtime_error("Could not read the settings in " + location_ + ".");
        return values;
    }

    // The key's line (without its line break) as QSettings writes it.
    QByteArray line(std::string_view key, const QString& value)
    {
        const QString path = write({});
        {
            QSettings settings(path, QSettings::IniFormat);
            settings.setValue(fromUtf8(key), value);
            settings.sync();
            if (settings.status() != QSettings::NoError)
                throw std::runtime_error("Could not save the setting " + std::string(key) + " to " + location_ + ".");
        }
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QList<QByteArray> lines = file.readAll().split('\n');  // "[General]", the line, ""
        if (lines.size() < 2)
            throw std::runtime_error("Could not save the setting " + std::string(key) + " to " + location_ + ".");
        return lines[1];
    }

private:
    QString write(const QByteArray& bytes)
    {
        const QString path = folder_.filePath(QString::number(++count_) + QStringLiteral(".conf"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly) || file.write(bytes) != bytes.size())
            throw std::runtime_error("Could not make a working copy of " + location_ + ".");
        return path;
    }

    QTemporaryDir folder_;
    std::string location_;
    int count_ = 0;
};

// The file with `line` as the key's line in its [General] section (which
// also holds the keys before any section), and every other byte as it was.
// Lines are read as QSettings reads them in all but rare cases, a quoted value
// running over a line break for one: the caller checks the result with QSettings.
QByteArray withGeneralLine(const QByteArray& file, std::string_view key, const QByteArray& line)
{
    const QByteArray wanted(key.data(), static_cast<qsizetype>(key.size()));
    const qsizetype start = file.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    qsizetype keyBegin = -1, keyEnd = -1;  // the key's last line, as QSettings takes the last
    qsizetype generalNext = -1;            // where the section's last line ends, with its line break
    QByteArray lineBreak;
    bool inGeneral = true;
    for (qsizetype at = start; at < file.size();) {
        qsizetype end = file.indexOf('\n', at);
        const qsizetype next = end < 0 ? file.size() : end + 1;
        if (end < 0)
            end = file.size();
        const qsizetype contentEnd = end > at && file[end - 1] == '\r' ? end - 1 : end;
        const QByteArray text = file.mid(at, contentEnd - at).trimmed();
        const qsizetype lineStart = at;
        at = next;
        if (text.startsWith('[')) {
            const qsizetype close = text.indexOf(']');
            const QByteArray name = text.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inGeneral = name.compare("general", Qt::CaseInsensitive) == 0;
        } else if (!inGeneral || text.isEmpty() || text.startsWith(';')) {
            continue;
        } else if (const qsizetype equals = text.indexOf('=');
                   equals > 0 && text.left(equals).trimmed() == wanted) {
            keyBegin = lineStart;
            keyEnd = contentEnd;
        }
        if (inGeneral) {
            generalNext = next;
            lineBreak = file.mid(contentEnd, next - contentEnd);
        }
    }

    QByteArray result = file;
    if (keyBegin >= 0)
        result.replace(keyBegin, keyEnd - keyBegin, line);
    else if (generalNext >= 0)
        result.insert(generalNext, lineBreak.isEmpty() ? "\n" + line : line + lineBreak);
    else
        result.insert(start, "[General]\n" + line + "\n" + (file.size() > start ? "\n" : ""));
    return result;
}

} // namespace

QtSettingsService::QtSettingsService()
    : QtSettingsService(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
{
}

QtSettingsService::QtSettingsService(QString configFolder) : configFolder_(std::move(configFolder)) {}

QString QtSettingsService::filePath(std::string_view app, std::string_view section) const
{
    return configFolder_ + QLatin1Char('/') + fromUtf8(app) + QLatin1Char('/') + fromUtf8(section) +
           QStringLiteral(".conf");
}

std::optional<std::string> QtSettingsService::lookup(std::string_view app, std::string_view section,
                                                     std::string_view key)
{
    const QString path = filePath(app, section);
    const std::optional<QByteArray> bytes = readFile(path, location(app, section));
    if (!bytes || bytes->isEmpty())
        return std::nullopt;
    const Values values = WorkingCopies(path, location(app, section)).read(*bytes);
    const auto found = values.find(fromUtf8(key));
    if (found == values.end())
        return std::nullopt;
    // A value edited by hand with commas in it reads back as a list.
    if (found->typeId() == QMetaType::QStringList)
        return storedText(found->toStringList().join(QLatin1Char(',')));
    return storedText(found->toString());
}

// Only the key's line changes: other lines keep their bytes, even those
// QSettings would read as something else (text that is not UTF-8) or drop.
void QtSettingsService::save(std::string_view app, std::string_view section, std::string_view key,
                             std::string_view value)
{
    const QString path = filePath(app, section);
    const std::string where = location(app, section);
    const auto failed = [&](const std::string& why) {
        return std::runtime_error("Could not save the setting " + std::string(key) + " to " + where + why);
    };
    prepareFile(path);
    {
        // The lock QSettings takes for its writes: another copy of the program
        // writing at the same moment does not lose what this one writes.
        QLockFile lock(path + QStringLiteral(".lock"));
        if (!lock.tryLock(kLockWaitMilliseconds))
            throw failed(": another program has kept it locked for ten seconds (" + where + ".lock).");
        const QByteArray before = readFile(path, where).value_or(QByteArray());
        WorkingCopies copies(path, where);
        Values expected = copies.read(before);
        const QString text = fromUtf8(value);
        const QByteArray after = withGeneralLine(before, key, copies.line(key, text));
        expected.insert(fromUtf8(key), text);
        if (copies.read(after) != expected)
            throw failed(": its lines are laid out in a way that could not be changed without changing other "
                         "settings. Move the file away to start afresh.");

        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(after) != after.size() || !file.commit())
            throw failed(".");
    }
    // A file made by an older version or by hand may be readable by others.
    if ((QFile::permissions(path) & kOthers) && !QFile::setPermissions(path, kOwnerOnly))
        throw std::runtime_error("Could not make " + toUtf8(path) + " readable by its owner only.");
}

std::string QtSettingsService::location(std::string_view app, std::string_view section) const
{
    return toUtf8(QDir::toNativeSeparators(filePath(app, section)));
}

} // namespace qmpvx
