// A pull reader of JSON text. The caller asks for the value it expects next,
// so a system description is checked while it is read, in one pass, and no
// document tree is built: memory stays at what the described system needs.
#ifndef SIM_JSON_READER_H
#define SIM_JSON_READER_H

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
    Kind peek();
    std::string readText();
    Number readNumber();
    bool readBoolean();
    void readNull();
    // Nothing but white space is left.
    void expectEnd();

    // The members of an object: for (JsonReader::Members m(in); m.next(key);).
    class Members
    {
      public:
        explicit Members(JsonReader &in);
        // Reads the next key and its colon; false at the closing brace.
        bool next(std::string &key);

      private:
        JsonReader &in_;
        bool first_ = true;
    };

    // The items of a list: for (JsonReader::Items i(in); i.next();).
    class Items
    {
      public:
        explicit Items(JsonReader &in);
        // True when another item follows; the caller then reads it.
        bool next();

      private:
        JsonReader &in_;
        bool first_ = true;
    };

    // A syntax fault at the current place: throws SystemError with
    // "line L, column C: what".
    [[noreturn]] void fail(const std::string &what) const;

  private:
    int peekByte(); // -1 at the end
    int takeByte();
    bool refill();
    void skipSpace();
    void expect(char c, const char *what);
    void expectWord(const char *word);
    struct Position {
        long long line;
        long long column;
    };
    // Both fail at the start of the escape or character.
    void readEscape(std::string &out, Position start);
    void readMultiByte(std::string &out, Position start);
    [[noreturn]] void failHere(const char *what);
    [[noreturn]] void failAt(Position at, const std::string &what) const;

    std::FILE *file_ = nullptr;
    std::vector<char> chunk_;
    const char *at_ = nullptr;
    const char *end_ = nullptr;
    long long line_ = 1;
    long long column_ = 1; // in characters
};

} // namespace sim

#endif
