#include "platform/qt/QtSettingsService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <stdexcept>

namespace qmpvx {

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                             QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                             QFileDevice::WriteOther | QFileDevice::ExeOther;

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
    const QSettings settings(filePath(app, section), QSettings::IniFormat);
    if (settings.status() == QSettings::AccessError)
        throw std::runtime_error("Could not read the settings in " + location(app, section) + ".");
    const QVariant value = settings.value(fromUtf8(key));
    if (!value.isValid())
        return std::nullopt;
    // A value edited by hand with commas in it reads back as a list.
    if (value.typeId() == QMetaType::QStringList)
        return toUtf8(value.toStringList().join(QLatin1Char(',')));
    return toUtf8(value.toString());
}

void QtSettingsService::save(std::string_view app, std::string_view section, std::string_view key,
                             std::string_view value)
{
    const QString path = filePath(app, section);
    prepareFile(path);
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(fromUtf8(key), fromUtf8(value));
        settings.sync();
        if (settings.status() != QSettings::NoError)
            throw std::runtime_error("Could not save the setting " + std::string(key) + " to " +
                                     location(app, section) + ".");
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
