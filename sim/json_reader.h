// A pull reader of JSON text. The caller asks for the value it expects next,
// so a system description is checked while it is read, in one pass, and no
// document tree is built: memory stays at what the described system needs.
#ifndef TARVEX_SIM_JSON_READER_H
#define TARVEX_SIM_JSON_READER_H

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace sim
{

class JsonReader
{
  public:
    enum class Kind { Object, Array, Text, Number, Boolean, Null };

    // A number as written, and whether it has neither fraction nor exponent.
    struct Number {
        std::string text;
        bool integer = false;
    };

    // A file could not be read further; errorNumber is the system's errno.
    struct ReadFailure {
        int errorNumber;
    };

    explicit JsonReader(std::string_view text);
    explicit JsonReader(std::FILE *file); // read in chunks; the caller closes it

    // The kind of the value that starts here (white space skipped).
    Kind Peek();
    std::string ReadText();
    Number ReadNumber();
    bool ReadBoolean();
    void ReadNull();
    // Nothing but white space is left.
    void ExpectEnd();

    // The members of an object: for (JsonReader::Members m(in); m.Next(key);).
    class Members
    {
      public:
        explicit Members(JsonReader &in);
        // Reads the next key and its colon; false at the closing brace.
        bool Next(std::string &key);

      private:
        JsonReader &in_;
        bool first_ = true;
    };

    // The items of a list: for (JsonReader::Items i(in); i.Next();).
    class Items
    {
      public:
        explicit Items(JsonReader &in);
        // True when another item follows; the caller then reads it.
        bool Next();

      private:
        JsonReader &in_;
        bool first_ = true;
    };

    // A syntax fault at the current place: throws SystemError with
    // "line L, column C: what".
    [[noreturn]] void Fail(const std::string &what) const;

  private:
    int PeekByte(); // -1 at the end
    int TakeByte();
    bool Refill();
    void SkipSpace();
    void Expect(char c, const char *what);
    void ExpectWord(const char *word);
    struct Position {
        long long line;
        long long column;
    };
    // Both fail at the start of the escape or character.
    void ReadEscape(std::string &out, Position start);
    void ReadMultiByte(std::string &out, Position start);
    [[noreturn]] void FailHere(const char *what);
    [[noreturn]] void FailAt(Position at, const std::string &what) const;

    std::FILE *file_ = nullptr;
    std::vector<char> chunk_;
    const char *at_ = nullptr;
    const char *end_ = nullptr;
    long long line_ = 1;
    long long column_ = 1; // in characters
};

} // namespace sim

#endif
