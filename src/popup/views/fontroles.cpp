#include "popup/views/fontroles.h"

#include "popup/popuptheme.h"

#include <QStringList>
#include <cmath>

namespace korvane {

QFont FontRoles::font(Design design, double size, QFont::Weight weight) {
    QFont font;
    const bool mono = design == Design::monospaced;
    font.setFamilies(mono ? QStringList{monospacedFamily, "DejaVu Sans Mono"}
                          : QStringList{sansFamily, "DejaVu Sans"});
    font.setStyleHint(mono ? QFont::Monospace : QFont::SansSerif);
    // Sizes derived from the theme may be scaled down below the theme's own floor; one pixel is the least.
    const double drawing = std::max(1.0, std::round(PopupTheme::drawingFontSize(size)));
    font.setPixelSize(static_cast<int>(drawing));
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(!mono);
    return font;
}

double FontRoles::nearest(double x) {
    return std::round(x);
}

} // namespace korvane
