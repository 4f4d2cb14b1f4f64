// Private-profile settings files with the semantics of the old system's
// GetPrivateProfileString / WritePrivateProfileString: sections and keys
// are matched ignoring letter case, every other line of the file is kept as
// it stands, and the file is created by the first write.
#pragma once

#include <string>

namespace plover {

// Reads through a buffer of bufferSize bytes: at most bufferSize - 1
// characters come back. Missing file, section or key gives the default.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& fileName,
                                    std::size_t bufferSize = 1024);

// Returns false when the file cannot be written; the old file is then intact.
[[nodiscard]] bool WritePrivateProfileString(const std::string& section, const std::string& key,
                                             const std::string& value, const std::string& fileName);

// Integer conversion of a settings value: a value longer than two characters
// that starts with "0x" or "0X" is hexadecimal; anything that does not
// convert to a 32-bit integer gives the default.
int StrToIntDef(const std::string& text, int defaultValue);

// The settings file object of the site manager.
class TIniFile final {
public:
    explicit TIniFile(std::string fileName) : m_fileName(std::move(fileName)) {}
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const { return m_fileName; }

    std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;

    // Both raise Exception("Unable to write to " + file name) on failure.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);

private:
    std::string m_fileName;
};

} // namespace plover
