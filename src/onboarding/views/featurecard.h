#pragma once

#include "uikit/roundedcard.h"

#include <QString>

namespace korvane {

// One of the ready step's three strengths: a symbol, a title and a short description, sharing the
// row's width with its neighbours. Main thread.
class FeatureCard : public RoundedCard {
public:
    FeatureCard(const QString& icon, const QString& title, const QString& description,
                QWidget* parent = nullptr);
};

} // namespace korvane
