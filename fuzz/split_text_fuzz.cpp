// SplitText on any text and a one- or two-character separator.
#include "core/split_text.h"
#include "fuzz_support.h"

using velnor::fuzz::require;

namespace {

// The text with every occurrence of the separator, as found from left to right, taken out.
std::u16string withoutSeparators(std::u16string_view text, std::u16string_view separator) {
    std::u16string rest;
    for (size_t at = 0; at < text.size();) {
        const size_t found = text.find(separator, at);
        rest += text.substr(at, found == text.npos ? text.npos : found - at);
        at = found == text.npos ? text.size() : found + separator.size();
    }
    return rest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t separatorBytes = data[0] % 2 ? 2 : 4;
    if (size < 1 + separatorBytes) return 0;
    const std::u16string separator = velnor::fuzz::utf16(data + 1, separatorBytes);
    const std::u16string text =
        velnor::fuzz::utf16(data + 1 + separatorBytes, size - 1 - separatorBytes);
    const auto pieces = velnor::SplitText(text, separator);
    if (!pieces) {
        require(withoutSeparators(text, separator).empty(),
                "no pieces only for separator-only text");
        return 0;
    }
    size_t at = 0;
    std::u16string joined;
    for (const std::u16string& piece : *pieces) {
        require(!piece.empty(), "pieces are not empty");
        require(piece.find(separator) == piece.npos, "pieces hold no separator");
        at = text.find(piece, at);
        require(at != text.npos, "pieces stand in the text in order");
        at += piece.size();
        joined += piece;
    }
    if (separator.size() == 1)
        require(joined == withoutSeparators(text, separator),
                "pieces are the text without its separators");
    return 0;
}
