#include "corvana/core/TMessages.h"

namespace corvana {

void TMessages::Add(std::string line) {
    lines_.push_back(std::move(line));
}

void TMessages::SetLines(std::vector<std::string> lines) {
    lines_ = std::move(lines);
}

std::string TMessages::Msg(std::string_view key) const {
    for (const std::string& line : lines_) {
        const auto bar = line.find('|');
        if (bar == std::string::npos) continue;
        if (std::string_view(line).substr(0, bar) == key) return line.substr(bar + 1);
    }
    return std::string(key);
}

}  // namespace corvana
