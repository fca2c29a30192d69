#include "shared/toolshell/settings.h"

#include <QDir>
#include <QSettings>

namespace lex {

QString settingsFile(const QString &application) {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + "/.config";
    return base + "/quillo-lexicon-tools/" + application + ".ini";
}

QString getSetting(const QString &application, const QString &section, const QString &key,
                   const QString &defaultValue) {
    QSettings s(settingsFile(application), QSettings::IniFormat);
    return s.value(section + "/" + key, defaultValue).toString();
}

void saveSetting(const QString &application, const QString &section, const QString &key,
                 const QString &value) {
    QSettings s(settingsFile(application), QSettings::IniFormat);
    s.setValue(section + "/" + key, value);
    s.sync();
}

bool SettingsSection::check(const QString &key, bool defaultValue) const {
    return text(key, defaultValue ? "1" : "0").toInt() != 0;
}

void SettingsSection::saveCheck(const QString &key, bool value) const {
    saveText(key, value ? "1" : "0");
}

bool SettingsSection::option(const QString &key, bool defaultValue) const {
    return text(key, defaultValue ? "True" : "False")
               .compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0;
}

void SettingsSection::saveOption(const QString &key, bool value) const {
    saveText(key, value ? "True" : "False");
}

QString SettingsSection::text(const QString &key, const QString &defaultValue) const {
    return getSetting(m_application, m_section, key, defaultValue);
}

void SettingsSection::saveText(const QString &key, const QString &value) const {
    saveSetting(m_application, m_section, key, value);
}

} // namespace lex
