#include "mail/mimehelpers.h"

#include <QMimeDatabase>
#include <QRandomGenerator>

namespace plover {

std::string LookupContentType(const std::string& fileName)
{
    static const std::string fallback = "application/octet-stream";
    const std::size_t dot = fileName.rfind('.');
    const std::size_t folder = fileName.find_last_of("/\\:");
    if (dot == std::string::npos || (folder != std::string::npos && folder > dot))
        return fallback;
    // Looked up by the extension alone, with its dot: the file is not read.
    const QString probe = QStringLiteral("x") + QString::fromStdString(fileName.substr(dot));
    const QMimeType type = QMimeDatabase().mimeTypeForFile(probe, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return fallback;
    return type.name().toStdString();
}

std::string MakeBoundary()
{
    std::string boundary;
    for (int i = 0; i < 8; ++i)
        boundary += static_cast<char>('0' + QRandomGenerator::global()->bounded(9));
    return boundary;
}

} // namespace plover
