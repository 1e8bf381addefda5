// SplitText on any text and a one- or two-character separator.
#include "commands/split_text.h"
#include "fuzz_support.h"

using velnor::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t separatorBytes = data[0] % 2 ? 2 : 4;
    if (size < 1 + separatorBytes) return 0;
    const QString separator = velnor::fuzz::utf16(data + 1, separatorBytes);
    const QString text = velnor::fuzz::utf16(data + 1 + separatorBytes, size - 1 - separatorBytes);
    const auto pieces = velnor::SplitText(text, separator);
    if (!pieces) {
        require(QString(text).remove(separator).isEmpty(), "no pieces only for separator-only text");
        return 0;
    }
    qsizetype at = 0;
    for (const QString& piece : *pieces) {
        require(!piece.isEmpty(), "pieces are not empty");
        require(!piece.contains(separator), "pieces hold no separator");
        at = text.indexOf(piece, at);
        require(at >= 0, "pieces stand in the text in order");
        at += piece.size();
    }
    if (separator.size() == 1)
        require(pieces->join(QString()) == QString(text).remove(separator),
                "pieces are the text without its separators");
    return 0;
}
