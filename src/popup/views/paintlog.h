#pragma once

#include "model/color.h"

#include <QRectF>
#include <string>
#include <vector>

namespace korvane {

// One text as a view drew it: what, where, how big, how heavy and in which colour.
struct PaintedText {
    std::string text;
    QRectF rect;
    int pixelSize = 0;
    int weight = 0;
    Color color;
    std::string family;
    // What the view drew the text as, such as "row", "badge", "header.query".
    std::string role;
};

// Records every text the views draw, so that tests can tell what the popup shows without reading
// pixels. Main thread.
class PaintLog {
public:
    void record(PaintedText text) { texts_.push_back(std::move(text)); }
    void clear() { texts_.clear(); }
    const std::vector<PaintedText>& texts() const { return texts_; }

    // The texts drawn with `role`, in drawing order.
    std::vector<PaintedText> withRole(const std::string& role) const;
    // The texts of `role` joined in drawing order.
    std::string joined(const std::string& role) const;

private:
    std::vector<PaintedText> texts_;
};

} // namespace korvane
