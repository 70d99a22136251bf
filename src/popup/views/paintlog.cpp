#include "popup/views/paintlog.h"

namespace korvane {

std::vector<PaintedText> PaintLog::withRole(const std::string& role) const {
    std::vector<PaintedText> out;
    for (const auto& text : texts_) {
        if (text.role == role) {
            out.push_back(text);
        }
    }
    return out;
}

std::string PaintLog::joined(const std::string& role) const {
    std::string out;
    for (const auto& text : texts_) {
        if (text.role == role) {
            out += text.text;
        }
    }
    return out;
}

} // namespace korvane
