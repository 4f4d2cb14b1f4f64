// Conversions between protocol/file text (UTF-8 bytes in std::string) and
// widget text (QString), and cutting text to a byte limit.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace plover {

// The longest prefix of at most maxBytes bytes that does not end inside a
// UTF-8 character.
std::string CutUtf8(std::string_view text, std::size_t maxBytes);

inline QString ToQ(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string FromQ(const QString& s) { return s.toUtf8().toStdString(); }

// Letter case ignored, Unicode-aware (the design's locale-aware comparison).
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

} // namespace plover
