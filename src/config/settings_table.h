#pragma once

#include <QString>
#include <vector>

#include "config/settings_record.h"

namespace tarvesk {

// INI section and key names. The notification section is written as
// "HowtoNotify" and read as "HowToNotify": names match without regard to case,
// and files made by earlier versions carry the first spelling in their header.
namespace ini {
inline constexpr char kIniFileName[] = "Tarvesk.ini";
inline constexpr char kHowToMonitor[] = "HowToMonitor";
inline constexpr char kHowToNotifyWrite[] = "HowtoNotify";
inline constexpr char kHowToNotifyRead[] = "HowToNotify";
inline constexpr char kStatus[] = "Status";

inline constexpr char kLanguage[] = "Language";
inline constexpr char kMonitoring[] = "Monitoring";
inline constexpr char kStartTime[] = "StartTime";
inline constexpr char kPageCheckCount[] = "PageCheckCount";
inline constexpr char kIISResetCount[] = "IISResetCount";
inline constexpr char kComputerResetCount[] = "ComputerResetCount";
// Spelled as it has always been stored.
inline constexpr char kContinuousComputerResetFailure[] = "ContinousComputerResetFailure";
// Since the page went bad, and the recovery that came last: what the notice
// that the site is back needs, kept across the reboot that recovery may be.
inline constexpr char kPageBadSince[] = "PageBadSince";
inline constexpr char kLastRecovery[] = "LastRecovery";
// The day the certificate was last warned of: once a calendar day.
inline constexpr char kCertificateWarnedOn[] = "CertificateWarnedOn";
}  // namespace ini

// One settings entry: where it is stored, its factory value, and the member
// of the settings record that holds it. Switches store "1" or "0".
struct SettingEntry {
    const char* writeSection;  // section name used when saving
    const char* readSection;   // section name used when loading
    const char* key;
    QString factoryValue;
    QString SettingsRecord::*text = nullptr;  // for a text
    bool SettingsRecord::*check = nullptr;    // for a switch
    // What a file that lacks the key gives: "" for the keys every file has
    // always had; a newer key reads as its factory value there, so that a
    // file saved before it existed behaves as it did, bar the new notices.
    bool missingIsFactory = false;

    bool isSwitch() const { return check != nullptr; }
};

// The 20 settings entries, in the order in which they are loaded, defaulted
// and saved.
const std::vector<SettingEntry>& SettingsTable();

// Factory values that depend on the machine.
QString DefaultPageUrl();                 // "http://" + this machine's host name
inline constexpr char kDefaultMailAddress[] = "tarvesk@example.com";
inline constexpr char kDefaultSmtpHost[] = "smtp.example.com";
inline constexpr char kDefaultPassword[] = "123";

// Joins the executable's folder and a file name with exactly one "/".
QString PathBeside(const QString& folder, const QString& fileName);

}  // namespace tarvesk
