// The pieces of a message header that need care: the date and message
// identifier today's servers ask for, display names that may need quoting,
// and words that are not plain ASCII (RFC 2047 encoded words).
#pragma once

#include <QDateTime>

#include <string>
#include <vector>

namespace plover {

bool IsPlainAscii(const std::string& text);

// RFC 5322: "Tue, 08 Dec 2026 06:10:00 +0100", in English whatever the locale.
std::string MailDate(const QDateTime& when);

// "<time.random@domain>": unique per message.
std::string MakeMessageId(const std::string& domain);

// The domain of a mail address (after its first "@"), or "".
std::string AddressDomain(const std::string& address);

// The text as it may stand in a header: unchanged when plain ASCII, else
// one or more "=?utf-8?B?...?=" words (each at most 75 characters, cut at
// character boundaries), joined by spaces.
std::vector<std::string> EncodedWords(const std::string& text);

// A display name before "<address>": encoded when it is not plain ASCII,
// in quotes when it holds a character that would end or split the address
// list (a comma, for one); as it is otherwise.
std::string DisplayName(const std::string& name);

// The header line(s) "label" + value, the value encoded as above; further
// encoded words go on continuation lines that begin with a space.
std::vector<std::string> HeaderLines(const std::string& label, const std::string& value);

// A file name for name="..." in a part header: quotes and backslashes
// escaped, encoded when it is not plain ASCII.
std::string QuotedFileName(const std::string& name);

} // namespace plover
