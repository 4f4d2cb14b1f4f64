// TQuotedPrintable: quoted-printable (RFC 2045) for text attachments and
// bodies. The input is read paragraph by paragraph (the bytes between two
// line breaks); each paragraph gives one or more lines of at most 76
// characters, cut softly ("=" at the end) before 65 characters at a space
// where there is one, and never inside an escape.
#pragma once

#include <QIODevice>

#include <string>
#include <vector>

namespace plover {

class TQuotedPrintable final {
public:
    static constexpr std::size_t MaxParagraph = 24576;

    // Neither the input nor the output is owned; the output is appended to.
    TQuotedPrintable(QIODevice* input, std::vector<std::string>* output);

    // Encodes from the input's position to its end. A line break is CR LF,
    // a lone CR or a lone LF, and two in a row are two; the last byte of the
    // input is data whatever it is. Raises EMIMEError "Paragraph is too
    // large" for a paragraph of MaxParagraph bytes or more. A cancel (from a
    // window event handled meanwhile) stops after the current paragraph.
    void Encode();

    // The lines of one paragraph (at least one, empty for an empty one).
    static void EncodeParagraph(const std::string& paragraph, std::vector<std::string>& lines);

    bool CancelRequested = false;

private:
    QIODevice* m_input;
    std::vector<std::string>* m_output;
};

} // namespace plover
