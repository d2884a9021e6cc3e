#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace corvana {

// A screen's message table. Each line is "key|text"; the screen asks for a
// text by key with Msg(). Keys are compared exactly (case and blanks count).
//
// A key that is not in the table gives the key itself, so that a missing
// message shows on screen as its key instead of an empty dialog. A line
// without a bar holds no message and is never matched.
class TMessages {
public:
    TMessages() = default;
    explicit TMessages(std::vector<std::string> lines) : lines_(std::move(lines)) {}

    void Add(std::string line);
    void SetLines(std::vector<std::string> lines);
    const std::vector<std::string>& Lines() const { return lines_; }
    void Clear() { lines_.clear(); }

    // The text after the first bar of the first line whose key equals `key`;
    // the text may itself hold bars. A missing key gives `key`.
    std::string Msg(std::string_view key) const;

private:
    std::vector<std::string> lines_;
};

}  // namespace corvana
