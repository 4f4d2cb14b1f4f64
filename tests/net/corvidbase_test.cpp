#include "net/corvidbase.h"

#include <gtest/gtest.h>

using namespace plover;

namespace {

TEST(ErrorDescription, TextsAndFormat)
{
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {0, "Ok"},
        {10061, "[10061] Connection refused."},
        {301, "[301] (no description available)."},
        {142, "[142] (no description available)."},
        {10066, "[10066] Directory not empt."},
        {10093, "[10093] Winsock not loaded yet (WSANOTINITIALISED)."},
        {11001, "[11001] Host not found."},
        {11004, "[11004] Valid name, no data record (check DNS setup)."},
        {10090, "[10090] (no description available)."},
        // Taken as a 16-bit number: 65536 + 10061 is 10061, 65536 is 0.
        {65536 + 10061, "[10061] Connection refused."},
        {65536, "Ok"},
        {-1, "[65535] (no description available)."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorDescription(c.code), c.text) << c.code;
}

TEST(ErrorDescription, EveryTableEntryHasItsOwnText)
{
    int described = 0;
    for (int code = 1; code < 65536; ++code)
        if (ErrorDescription(code).find("(no description available)") == std::string::npos)
            ++described;
    EXPECT_EQ(described, 50);
}

class ECustom : public ECorvidBase {
public:
    using ECorvidBase::ECorvidBase;
};

class CustomBase : public TCorvidBase {
public:
    std::exception_ptr CreateError(int code, const std::string& description) override
    {
        return std::make_exception_ptr(ECustom(code, description));
    }
};

TEST(CorvidBase, ReportErrorRaisesWithCodeAndMessage)
{
    TCorvidBase c;
    try {
        c.ReportError(11001);
        FAIL() << "no exception";
    } catch (const ECorvidBase& e) {
        EXPECT_EQ(e.Code, 11001);
        EXPECT_EQ(e.Message(), "11001: Host not found.");
    }
    EXPECT_EQ(c.LastError, 11001);
    EXPECT_EQ(c.LastErrorText, "Host not found.");

    EXPECT_THROW(c.ReportError(104, "Already connected."), ECorvidBase);
    EXPECT_EQ(c.LastErrorText, "Already connected.");
}

TEST(CorvidBase, QuietReportOnlyRecordsAndNeverFiresOnError)
{
    TCorvidBase c;
    int fired = 0;
    c.OnError = [&](TCorvidBase*, int, const std::string&) { ++fired; };
    c.RaiseErrors = false;
    EXPECT_NO_THROW(c.ReportError(10061));
    EXPECT_EQ(c.LastError, 10061);
    EXPECT_EQ(c.LastErrorText, "Connection refused.");
    EXPECT_EQ(fired, 0);
}

// Every code a message can carry reads as words, the engine's own codes too.
TEST(CorvidBase, EveryCodeHasAPlainText)
{
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {10061, "Connection refused."},
        {11001, "Host not found."},
        {10060, "Connection timed out."},
        {301, "Interrupted."},
        {148, "Connection closed by the server."},
        {151, "The server did not answer in time."},
        {143, "Busy performing current action."},
        {4242, "Error 4242."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorText(c.code), c.text) << c.code;
    // The bracketed form stays for the asynchronous reports that use it.
    EXPECT_EQ(ErrorDescription(10061), "[10061] Connection refused.");
}

TEST(CorvidBase, FireErrorCallsHandlerOnlyWhenAssigned)
{
    TCorvidBase c;
    EXPECT_NO_THROW(c.FireError(142, "Failed to connect"));
    TCorvidBase* sender = nullptr;
    int code = 0;
    std::string text;
    c.OnError = [&](TCorvidBase* s, int e, const std::string& d) {
        sender = s;
        code = e;
        text = d;
    };
    c.FireError(142, "Failed to connect");
    EXPECT_EQ(sender, &c);
    EXPECT_EQ(code, 142);
    EXPECT_EQ(text, "Failed to connect");
}

TEST(CorvidBase, DescendantChoosesTheExceptionClass)
{
    CustomBase c;
    try {
        c.ReportError(141, "550 No such file.");
        FAIL() << "no exception";
    } catch (const ECustom& e) {
        EXPECT_EQ(e.Message(), "141: 550 No such file.");
    }
}

} // namespace
