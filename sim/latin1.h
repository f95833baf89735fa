// The library's texts are Latin-1, one byte a character, as the driver
// library's ANSI texts are; system files and the library's own messages are
// written in UTF-8.
#ifndef TARVEX_SIM_LATIN1_H
#define TARVEX_SIM_LATIN1_H

#include <string>
#include <string_view>

namespace sim
{

// Appends the Latin-1 form of a UTF-8 text to `out`. A character beyond
// U+00FF becomes `replacement`, or, when that is 0, ends the conversion: the
// answer is then that character, else 0. Bytes that are no UTF-8 are taken
// as Latin-1 already.
inline char32_t AppendLatin1(std::string_view utf8, std::string &out, char replacement)
{
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80    ? 1
                           : lead >= 0xF0 ? 4
                           : lead >= 0xE0 ? 3
                           : lead >= 0xC0 ? 2
                                          : 1;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        bool whole = i + length <= utf8.size();
        for (int k = 1; whole && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            whole = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        if (!whole) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        if (c > 0xFF) {
            if (!replacement)
                return c;
            out += replacement;
        } else {
            out += static_cast<char>(c);
        }
        i += length;
    }
    return 0;
}

inline std::string Latin1(std::string_view utf8)
{
    std::string out;
    AppendLatin1(utf8, out, '?');
    return out;
}

} // namespace sim

#endif
