#include "mail/groupencoder.h"

#include "mail/pending.h"

#include <algorithm>

namespace plover {

TGroupEncoder::TGroupEncoder(QIODevice* input, std::vector<std::string>* output) : m_input(input), m_output(output) {}

void TGroupEncoder::finish()
{
    Percent = 100;
    if (OnEncodeProgress && m_reported != 100)
        OnEncodeProgress(this);
    if (CancelRequested)
        m_output->clear();
    if (OnEncodeEnd)
        OnEncodeEnd(this);
}

void TGroupEncoder::Encode()
{
    if (OnEncodeBegin)
        OnEncodeBegin(this);
    m_output->clear();
    Percent = 0;
    m_reported = -1;
    CancelRequested = false;
    const std::size_t group = GroupSize();
    const std::int64_t size = std::max<std::int64_t>(m_input->size() - m_input->pos(), 0);
    m_output->reserve(static_cast<std::size_t>(size / static_cast<std::int64_t>(group)) + 1);
    // Read many groups at a time; the window gets its turn about every
    // 60 KiB rather than after each 57-byte line, which would cost more
    // than the encoding itself.
    constexpr std::size_t groupsPerRead = 1024;
    std::vector<unsigned char> buffer(group * groupsPerRead);
    std::int64_t total = 0;
    try {
        for (;;) {
            const qint64 got = m_input->read(reinterpret_cast<char*>(buffer.data()), static_cast<qint64>(buffer.size()));
            const std::size_t available = got > 0 ? static_cast<std::size_t>(got) : 0;
            std::size_t offset = 0;
            bool last = false;
            // A short read ends the input: its groups, then (when it ended
            // on a whole group) the empty one.
            while (!last) {
                const std::size_t n = std::min(group, available - offset);
                if (n < group && available == buffer.size())
                    break;  // more to read: the rest of the buffer is a whole read away
                std::string line;
                EncodeGroup(buffer.data() + offset, n, line);
                m_output->push_back(std::move(line));
                offset += n;
                total += static_cast<std::int64_t>(n);
                Percent = size > 0 ? PercentOf(total, size) : 100;
                if (Percent % ProgressStep == 0 && Percent != m_reported) {
                    m_reported = Percent;
                    if (OnEncodeProgress)
                        OnEncodeProgress(this);
                }
                last = n < group || CancelRequested;
            }
            ProcessPendingMessages();
            if (last || CancelRequested || available < buffer.size())
                break;
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

} // namespace plover
