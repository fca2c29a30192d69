#pragma once
// The settings store: one INI file per application,
// $XDG_CONFIG_HOME/quillo-lexicon-tools/<application>.ini, sections named after forms, keys after
// controls. Check boxes are kept as "0"/"1", option buttons as "True"/"False", paths as text.

#include <QString>

namespace lex {

QString settingsFile(const QString &application);
QString getSetting(const QString &application, const QString &section, const QString &key,
                   const QString &defaultValue = QString());
void saveSetting(const QString &application, const QString &section, const QString &key,
                 const QString &value);

// One form's section of one application's settings, with the stored forms of the controls.
class SettingsSection {
public:
    SettingsSection(QString application, QString section)
        : m_application(std::move(application)), m_section(std::move(section)) {}

    bool check(const QString &key, bool defaultValue) const;
    void saveCheck(const QString &key, bool value) const;
    bool option(const QString &key, bool defaultValue) const;
    void saveOption(const QString &key, bool value) const;
    QString text(const QString &key, const QString &defaultValue = QString()) const;
    void saveText(const QString &key, const QString &value) const;

private:
    QString m_application;
    QString m_section;
};

} // namespace lex
