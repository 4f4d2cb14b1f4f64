#include "app/settings.h"

namespace plover {

namespace {
const char* const mainForm = "MainForm";
const char* const emailForm = "EmailForm";
const char* const ftp = "FTP";
} // namespace

TWindowBounds ReadMainFormBounds(const TIniFile& ini, const TWindowBounds& current)
{
    TWindowBounds b = current;
    if (ini.ReadInteger(mainForm, "Status", 0) != 0) {
        b.Top = ini.ReadInteger(mainForm, "Top", b.Top);
        b.Left = ini.ReadInteger(mainForm, "Left", b.Left);
        b.Width = ini.ReadInteger(mainForm, "Width", b.Width);
        b.Height = ini.ReadInteger(mainForm, "Height", b.Height);
    }
    return b;
}

int ReadMainFormIndex(const TIniFile& ini)
{
    return ini.ReadInteger(mainForm, "Index", 0);
}

TEmailSettings ReadEmailSettings(const TIniFile& ini)
{
    TEmailSettings e;
    e.ESTo = ini.ReadString(emailForm, "ESTo", "");
    e.ESSubject = ini.ReadString(emailForm, "ESSubject", "");
    e.ESReturnName = ini.ReadString(emailForm, "ESReturnName", "");
    e.ESReturnAddress = ini.ReadString(emailForm, "ESReturnAddress", "");
    e.ESSMTPServerName = ini.ReadString(emailForm, "ESSMTPServerName", "");
    e.ESLeft = ini.ReadInteger(emailForm, "ESLeft", 0);
    e.ESTop = ini.ReadInteger(emailForm, "ESTop", 0);
    e.ESWidth = ini.ReadInteger(emailForm, "ESWidth", 0);
    e.ESHeight = ini.ReadInteger(emailForm, "ESHeight", 0);
    return e;
}

int ReadFtpTimeOut(const TIniFile& ini)
{
    const int seconds = ini.ReadInteger(ftp, "TimeOut", DefaultFtpTimeOut);
    return seconds < 0 ? DefaultFtpTimeOut : seconds;
}

void WriteMainFormBounds(TIniFile& ini, const TWindowBounds& bounds)
{
    ini.WriteInteger(mainForm, "Status", 1);
    ini.WriteInteger(mainForm, "Top", bounds.Top);
    ini.WriteInteger(mainForm, "Left", bounds.Left);
    ini.WriteInteger(mainForm, "Width", bounds.Width);
    ini.WriteInteger(mainForm, "Height", bounds.Height);
}

void WriteMainFormIndex(TIniFile& ini, int index)
{
    ini.WriteInteger(mainForm, "Index", index);
}

void WriteEmailSettings(TIniFile& ini, const TEmailSettings& e)
{
    ini.WriteString(emailForm, "ESTo", e.ESTo);
    ini.WriteString(emailForm, "ESSubject", e.ESSubject);
    ini.WriteString(emailForm, "ESReturnName", e.ESReturnName);
    ini.WriteString(emailForm, "ESReturnAddress", e.ESReturnAddress);
    ini.WriteString(emailForm, "ESSMTPServerName", e.ESSMTPServerName);
    ini.WriteInteger(emailForm, "ESLeft", e.ESLeft);
    ini.WriteInteger(emailForm, "ESTop", e.ESTop);
    ini.WriteInteger(emailForm, "ESWidth", e.ESWidth);
    ini.WriteInteger(emailForm, "ESHeight", e.ESHeight);
}

void WriteFtpTimeOut(TIniFile& ini, int seconds)
{
    ini.WriteInteger(ftp, "TimeOut", seconds);
}

} // namespace plover
