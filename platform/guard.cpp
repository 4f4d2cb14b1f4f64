#include "platform/guard.h"

#include "platform/exception.h"
#include "platform/text.h"

#include <cstdio>
#include <new>

namespace plover {

namespace {

std::function<void(const QString&)>& reporter()
{
    static std::function<void(const QString&)> instance;
    return instance;
}

void report(const QString& text)
{
    if (reporter())
        reporter()(text);
    else
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

} // namespace

bool Guard(const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (const Exception& e) {
        report(ToQ(e.Message()));
    } catch (const std::bad_alloc&) {
        report(QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        report(QString::fromUtf8(e.what()));
    }
    return false;
}

void SetExceptionReporter(std::function<void(const QString& text)> fn)
{
    reporter() = std::move(fn);
}

} // namespace plover
