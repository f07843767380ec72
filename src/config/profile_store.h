#pragma once

#include <QString>

namespace tarvesk {

class Folder;
class KeptFile;
struct Trust;

// Reads and writes single values of an INI file, one file access per call.
// The program names its file by the folder it opened once at start-up and the
// file's name in it; the forms that take a path open its folder per call.
//
// Section and key names match without regard to ASCII case. Values are UTF-8;
// a value read back is cut at 199 bytes (never inside a UTF-8 sequence) and
// trimmed of blanks. Lines the program did not touch stay byte for byte.
// Every write is atomic: the old file or the new one, never a torn one; only
// in a folder that refuses new files is the file rewritten in place. The file
// is read once per call, and a write that would not change it is not made.
class ProfileStore {
public:
    static constexpr int kMaxValueBytes = 199;

    // The stored value, trimmed; `defaultValue` when the file, section or key
    // is missing or the file cannot be read. Never creates the file.
    // With `trust`, the file actually read is judged by root's trust rule
    // and a failure is joined into it (see strict_modes.h).
    static QString ReadIni(const Folder& folder, const QString& fileName, const QString& section,
                           const QString& keyName, const QString& defaultValue, Trust* trust = nullptr);
    static QString ReadIni(const QString& filePath, const QString& section,
                           const QString& keyName, const QString& defaultValue);
    // The same through a file whose bytes are kept between calls while it is
    // unchanged (see kept_file.h): the program's own INI.
    static QString ReadIni(KeptFile& file, const QString& section, const QString& keyName,
                           const QString& defaultValue, Trust* trust = nullptr);

    // Stores the value unchanged. Creates the file (mode 0600), the section
    // (at the end of the file) or the key (at the end of its section) as
    // needed. Returns false, leaving the file as it was, when the write cannot
    // be made or a name or value cannot be stored (line breaks, NUL, "]" in a
    // section name, "=" in a key name, empty names). True without touching
    // the file when it already holds exactly this entry.
    static bool WriteIni(const Folder& folder, const QString& fileName, const QString& section,
                         const QString& keyName, const QString& value);
    static bool WriteIni(const QString& filePath, const QString& section,
                         const QString& keyName, const QString& value);
    static bool WriteIni(KeptFile& file, const QString& section, const QString& keyName, const QString& value);

    // Removes the temporary files of writes to the file that a kill cut short.
    // For start-up, while no other process writes the file.
    static void RemoveLeftovers(const Folder& folder, const QString& fileName);
    static void RemoveLeftovers(const QString& filePath);
};

}  // namespace tarvesk
