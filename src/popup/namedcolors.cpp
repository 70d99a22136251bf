#include "popup/namedcolors.h"

namespace korvane {

Color namedColor(NamedColor name) {
    switch (name) {
    case NamedColor::clear:
        return Color{0, 0, 0, 0};
    case NamedColor::white:
        return Color::white();
    case NamedColor::orange:
        return Color{1.0, 0.584, 0.0, 1};
    case NamedColor::purple:
        return Color{0.686, 0.322, 0.871, 1};
    case NamedColor::indigo:
        return Color{0.345, 0.337, 0.839, 1};
    case NamedColor::green:
        return Color{0.204, 0.780, 0.349, 1};
    case NamedColor::red:
        return Color{1.0, 0.231, 0.188, 1};
    case NamedColor::cyan:
        return Color{0.196, 0.678, 0.902, 1};
    case NamedColor::yellow:
        return Color{1.0, 0.800, 0.0, 1};
    case NamedColor::teal:
        return Color{0.188, 0.690, 0.780, 1};
    case NamedColor::blue:
        return Color{0.0, 0.478, 1.0, 1};
    case NamedColor::primary:
        return Color{1, 1, 1, 0.85};
    case NamedColor::secondary:
        return Color{1, 1, 1, 0.55};
    case NamedColor::tertiaryLabel:
        return Color{1, 1, 1, 0.25};
    case NamedColor::quaternaryLabel:
        return Color{1, 1, 1, 0.10};
    }
    return Color::white();
}

} // namespace korvane
