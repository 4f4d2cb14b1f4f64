// The values of the settings file: the site manager's bounds and selected
// profile ("MainForm"), the send-mail window's fields ("EmailForm") and the
// sessions' connection settings ("FTP").
#pragma once

#include "platform/inifile.h"
#include "platform/windowbounds.h"

#include <string>

namespace plover {

struct TEmailSettings {
    std::string ESTo;
    std::string ESSubject;
    std::string ESReturnName;
    std::string ESReturnAddress;
    std::string ESSMTPServerName;
    int ESLeft = 0;
    int ESTop = 0;
    int ESWidth = 0;
    int ESHeight = 0;
};

// "Status" non-zero: "Top", "Left", "Width", "Height" are read, each
// defaulting to the current value; otherwise current comes back unchanged.
TWindowBounds ReadMainFormBounds(const TIniFile& ini, const TWindowBounds& current);
int ReadMainFormIndex(const TIniFile& ini);
TEmailSettings ReadEmailSettings(const TIniFile& ini);

// "FTP" "TimeOut": the inactivity limit of a session connection's waits, in
// seconds; 0 means none. A negative or non-numeric value reads as the default.
inline constexpr int DefaultFtpTimeOut = 30;
int ReadFtpTimeOut(const TIniFile& ini);

// Each raises Exception("Unable to write to ...") at the first failed value.
void WriteMainFormBounds(TIniFile& ini, const TWindowBounds& bounds);
void WriteMainFormIndex(TIniFile& ini, int index);
void WriteEmailSettings(TIniFile& ini, const TEmailSettings& email);
void WriteFtpTimeOut(TIniFile& ini, int seconds);

} // namespace plover
