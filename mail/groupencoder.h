// What the attachment encoders that cut their input into fixed groups share
// (57 bytes a base64 line, 45 a uuencoded one): reading, one line per group,
// progress, cancel and the three notifications.
#pragma once

#include <QIODevice>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plover {

class TGroupEncoder {
public:
    // Neither the input nor the output is owned.
    TGroupEncoder(QIODevice* input, std::vector<std::string>* output);
    virtual ~TGroupEncoder() = default;
    TGroupEncoder(const TGroupEncoder&) = delete;
    TGroupEncoder& operator=(const TGroupEncoder&) = delete;

    // Encodes from the input's position to its end, one line per group; an
    // input that ends on a whole group gets one more line, for an empty
    // group. A cancel (from a window event handled meanwhile) stops after
    // the current line and leaves the output empty.
    void Encode();

    int Percent = 0;
    // Progress is reported when Percent reaches a new multiple of it.
    int ProgressStep = 10;
    bool CancelRequested = false;
    std::function<void(TGroupEncoder*)> OnEncodeBegin;
    std::function<void(TGroupEncoder*)> OnEncodeProgress;
    std::function<void(TGroupEncoder*)> OnEncodeEnd;

protected:
    virtual std::size_t GroupSize() const = 0;
    virtual void EncodeGroup(const unsigned char* data, std::size_t n, std::string& line) const = 0;
    // The progress of done bytes out of size, 0 to 100.
    virtual int PercentOf(std::int64_t done, std::int64_t size) const = 0;

private:
    void finish();

    QIODevice* m_input;
    std::vector<std::string>* m_output;
    int m_reported = -1;
};

} // namespace plover
