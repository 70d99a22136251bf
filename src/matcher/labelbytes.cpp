#include "matcher/labelbytes.h"

#include <ostream>

namespace korvane {

std::ostream& operator<<(std::ostream& out, const LabelBytes& bytes) {
    return out << bytes.view();
}

} // namespace korvane
