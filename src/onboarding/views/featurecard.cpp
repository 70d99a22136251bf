#include "onboarding/views/featurecard.h"

#include "onboarding/views/onboardingstyle.h"
#include "onboarding/views/symbolview.h"

#include <QLabel>
#include <QVBoxLayout>

namespace korvane {

using namespace onboardingstyle;

FeatureCard::FeatureCard(const QString& icon, const QString& title, const QString& description,
                         QWidget* parent)
    : RoundedCard(parent) {
    setFill(controlBackground(0.5));
    setRadius(8);
    setObjectName("featureCard");
    // The row's cards share its width equally, whatever their texts.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(12, 12, 12, 12);
    stack->setSpacing(8);
    auto* symbolFrame = new QWidget(this);
    symbolFrame->setFixedHeight(24);
    auto* frameLayout = new QVBoxLayout(symbolFrame);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    frameLayout->addWidget(new SymbolView(icon, 20, accent(), symbolFrame), 0, Qt::AlignCenter);
    stack->addWidget(symbolFrame);
    stack->addWidget(label(title, systemFont(13, QFont::DemiBold), primaryText(), this), 0, Qt::AlignHCenter);
    auto* text = label(description, systemFont(11), secondaryText(), this);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    stack->addWidget(text);
    stack->addStretch(1);
}

} // namespace korvane
