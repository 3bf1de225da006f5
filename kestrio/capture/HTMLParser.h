#pragma once
// Cuts an HTML text into pieces: a stretch of plain text followed by the value
// of one link attribute (href of a, src of img, href of link, src of frame),
// and a final piece with the rest. The pieces cover the source exactly: every
// byte belongs to one piece's Text or Value, in order, so writing Text and
// Value of every piece reproduces the source. Text() and Value() are views
// into the source, valid while the tokenizer lives.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kestrio {

enum : uint8_t { tkRest = 0, tkAnchor = 1, tkImage = 2, tkLinkTag = 3, tkFrame = 4 };

class THTMLParser {
public:
    // Reads the whole file (a Windows-1252 path) and owns the copy. Throws
    // EInOutError when it cannot be read.
    static THTMLParser FromFile(const std::string& path);
    // Works in place on the caller's text, which must outlive the tokenizer.
    explicit THTMLParser(std::string_view source);

    THTMLParser(THTMLParser&&) noexcept = default;
    THTMLParser(const THTMLParser&) = delete;
    THTMLParser& operator=(const THTMLParser&) = delete;

    // Moves to the next piece; false once the final piece was handed out, and
    // then Text, Value and Kind keep what they held.
    bool Next();

    std::string_view Text() const { return text_; }
    std::string_view Value() const { return value_; }
    uint8_t Kind() const { return kind_; }

private:
    static constexpr size_t npos = std::string_view::npos;

    // First position at or after a start where something occurs. The answer
    // is remembered, so a later question from a start between the remembered
    // start and the remembered answer costs nothing: link tags whose attribute
    // lies far ahead do not make the scan quadratic.
    struct Memo {
        size_t from = npos;
        size_t found = npos;
    };
    // The searches of one attribute name: its occurrence, the "=" after it and
    // the ">" after that.
    struct AttributeMemo {
        Memo name, equals, close;
    };

    explicit THTMLParser(std::unique_ptr<std::string> owned);
    size_t FindName(AttributeMemo& memo, std::string_view lowerName, size_t from) const;
    size_t FindByte(Memo& memo, char byte, size_t from) const;
    bool LinkTag(size_t tag, size_t prefixLength, uint8_t kind, AttributeMemo& memo,
                 std::string_view lowerName);

    std::unique_ptr<std::string> owned_; // heap-held, so views survive a move
    std::string_view src_;
    size_t cursor_ = 0; // npos when finished
    size_t textStart_ = 0;
    bool inScript_ = false;
    std::string_view text_, value_;
    uint8_t kind_ = tkRest;
    AttributeMemo href_, srcAttr_;
};

} // namespace kestrio
