#include "json_reader.h"

#include <cerrno>
#include <cstring>

#include "system.h"

namespace sim
{
namespace
{

constexpr std::size_t kChunkBytes = 1 << 16;

bool IsSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsDigit(int c)
{
    return c >= '0' && c <= '9';
}

// A byte that stands for itself inside a JSON text.
bool IsPlain(unsigned char c)
{
    return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
}

int HexValue(int c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string &out, unsigned code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

JsonReader::JsonReader(std::string_view text) : at_(text.data()), end_(text.data() + text.size())
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF") // a byte order mark, as some editors write
        at_ += 3;
}

JsonReader::JsonReader(std::FILE *file) : file_(file)
{
    if (PeekByte() == 0xEF && end_ - at_ >= 3 && std::memcmp(at_, "\xEF\xBB\xBF", 3) == 0)
        at_ += 3;
}

bool JsonReader::Refill()
{
    if (!file_)
        return false;
    chunk_.resize(kChunkBytes);
    const std::size_t got = std::fread(chunk_.data(), 1, chunk_.size(), file_);
    if (got == 0) {
        if (std::ferror(file_))
            throw ReadFailure{errno};
        return false;
    }
    at_ = chunk_.data();
    end_ = at_ + got;
    return true;
}

int JsonReader::PeekByte()
{
    if (at_ == end_ && !Refill())
        return -1;
    return static_cast<unsigned char>(*at_);
}

int JsonReader::TakeByte()
{
    const int c = PeekByte();
    if (c < 0)
        return c;
    ++at_;
    if (c == '\n') {
        ++line_;
        column_ = 1;
    } else if ((c & 0xC0) != 0x80) { // not a continuation byte: a new character
        ++column_;
    }
    return c;
}

void JsonReader::Fail(const std::string &what) const
{
    FailAt({line_, column_}, what);
}

void JsonReader::FailAt(Position at, const std::string &what) const
{
    throw SystemError("line " + std::to_string(at.line) + ", column " + std::to_string(at.column) +
                      ": " + what);
}

void JsonReader::FailHere(const char *what)
{
    Fail(PeekByte() < 0 ? "unexpected end of file" : what);
}

void JsonReader::SkipSpace()
{
    while (IsSpace(PeekByte()))
        TakeByte();
}

void JsonReader::Expect(char c, const char *what)
{
    SkipSpace();
    if (PeekByte() != static_cast<unsigned char>(c))
        FailHere(what);
    TakeByte();
}

void JsonReader::ExpectWord(const char *word)
{
    for (const char *c = word; *c; ++c) {
        if (PeekByte() != *c)
            FailHere("invalid literal");
        TakeByte();
    }
}

JsonReader::Kind JsonReader::Peek()
{
    SkipSpace();
    const int c = PeekByte();
    switch (c) {
    case '{':
        return Kind::Object;
    case '[':
        return Kind::Array;
    case '"':
        return Kind::Text;
    case 't':
    case 'f':
        return Kind::Boolean;
    case 'n':
        return Kind::Null;
    default:
        if (c == '-' || IsDigit(c))
            return Kind::Number;
        FailHere("value expected");
    }
}

std::string JsonReader::ReadText()
{
    Expect('"', "text in double quotes expected");
    std::string out;
    for (;;) {
        // Runs of plain characters are copied in one step.
        const char *run = at_;
        while (at_ != end_ && IsPlain(static_cast<unsigned char>(*at_)))
            ++at_;
        out.append(run, at_);
        column_ += at_ - run;
        const int c = PeekByte();
        if (c < 0)
            Fail("unexpected end of file");
        if (c == '"') {
            TakeByte();
            return out;
        }
        if (c < 0x20)
            FailHere("control character in text (write it as an escape such as \\n)");
        if (IsPlain(static_cast<unsigned char>(c)))
            continue; // a new chunk begins with plain characters
        if (c == '\\')
            ReadEscape(out, {line_, column_});
        else
            ReadMultiByte(out, {line_, column_});
    }
}

void JsonReader::ReadEscape(std::string &out, Position start)
{
    TakeByte(); // the backslash
    const int c = PeekByte();
    switch (c) {
    case '"':
    case '\\':
    case '/':
        out += static_cast<char>(c);
        break;
    case 'b':
        out += '\b';
        break;
    case 'f':
        out += '\f';
        break;
    case 'n':
        out += '\n';
        break;
    case 'r':
        out += '\r';
        break;
    case 't':
        out += '\t';
        break;
    case 'u':
        break;
    default:
        FailAt(start, "invalid escape in text");
    }
    TakeByte();
    if (c != 'u')
        return;
    auto hex4 = [this, start]() {
        unsigned code = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = HexValue(PeekByte());
            if (digit < 0)
                FailAt(start, "four hexadecimal digits expected after \\u");
            TakeByte();
            code = code << 4 | static_cast<unsigned>(digit);
        }
        return code;
    };
    unsigned code = hex4();
    if (code >= 0xDC00 && code <= 0xDFFF)
        FailAt(start, "\\u escape of a low surrogate without its high half");
    if (code >= 0xD800 && code <= 0xDBFF) { // a high surrogate needs its low half
        const char *needed = "\\u escape of a high surrogate without its low half";
        if (PeekByte() != '\\')
            FailAt(start, needed);
        TakeByte();
        if (PeekByte() != 'u')
            FailAt(start, needed);
        TakeByte();
        const unsigned low = hex4();
        if (low < 0xDC00 || low > 0xDFFF)
            FailAt(start, needed);
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    if (code == 0)
        FailAt(start, "text must not hold a NUL character");
    AppendUtf8(out, code);
}

// Checks one multi-byte UTF-8 character against the well-formed sequences
// of the Unicode standard: no overlong forms, surrogates or values beyond
// U+10FFFF.
void JsonReader::ReadMultiByte(std::string &out, Position start)
{
    const int lead = TakeByte();
    int more = 0;
    int low = 0x80, high = 0xBF; // bounds of the first continuation byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        FailAt(start, "ill-formed UTF-8 in text");
    }
    out += static_cast<char>(lead);
    for (int i = 0; i < more; ++i) {
        const int c = PeekByte();
        if (c < low || c > high)
            FailAt(start, "ill-formed UTF-8 in text");
        TakeByte();
        out += static_cast<char>(c);
        low = 0x80;
        high = 0xBF;
    }
}

JsonReader::Number JsonReader::ReadNumber()
{
    SkipSpace();
    Number number;
    auto digits = [&]() {
        if (!IsDigit(PeekByte()))
            FailHere("digit expected in number");
        while (IsDigit(PeekByte()))
            number.text += static_cast<char>(TakeByte());
    };
    if (PeekByte() == '-')
        number.text += static_cast<char>(TakeByte());
    if (PeekByte() == '0') {
        number.text += static_cast<char>(TakeByte());
        if (IsDigit(PeekByte()))
            FailHere("number with a leading zero");
    } else {
        digits();
    }
    number.integer = true;
    if (PeekByte() == '.') {
        number.text += static_cast<char>(TakeByte());
        digits();
        number.integer = false;
    }
    if (PeekByte() == 'e' || PeekByte() == 'E') {
        number.text += static_cast<char>(TakeByte());
        if (PeekByte() == '+' || PeekByte() == '-')
            number.text += static_cast<char>(TakeByte());
        digits();
        number.integer = false;
    }
    return number;
}

bool JsonReader::ReadBoolean()
{
    SkipSpace();
    const bool value = PeekByte() == 't';
    ExpectWord(value ? "true" : "false");
    return value;
}

void JsonReader::ReadNull()
{
    SkipSpace();
    ExpectWord("null");
}

void JsonReader::ExpectEnd()
{
    SkipSpace();
    if (PeekByte() >= 0)
        Fail("end of file expected after the system's closing brace");
}

JsonReader::Members::Members(JsonReader &in) : in_(in)
{
    in_.Expect('{', "'{' expected");
}

bool JsonReader::Members::Next(std::string &key)
{
    in_.SkipSpace();
    const int c = in_.PeekByte();
    if (c == '}') {
        in_.TakeByte();
        return false;
    }
    if (!first_) {
        if (c != ',')
            in_.FailHere("',' or '}' expected");
        in_.TakeByte();
        in_.SkipSpace();
    }
    first_ = false;
    if (in_.PeekByte() != '"')
        in_.FailHere("key in double quotes expected");
    key = in_.ReadText();
    in_.Expect(':', "':' expected after the key");
    return true;
}

JsonReader::Items::Items(JsonReader &in) : in_(in)
{
    in_.Expect('[', "'[' expected");
}

bool JsonReader::Items::Next()
{
    in_.SkipSpace();
    const int c = in_.PeekByte();
    if (c == ']') {
        in_.TakeByte();
        return false;
    }
    if (!first_) {
        if (c != ',')
            in_.FailHere("',' or ']' expected");
        in_.TakeByte();
    }
    first_ = false;
    return true;
}

} // namespace sim
