#include "settings/views/snippetrowexpanded.h"

#include "uikit/choicefocus.h"
#include "uikit/errorrow.h"
#include "uikit/focusframe.h"
#include "uikit/kitcolors.h"

#include <QButtonGroup>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvane {
namespace {

QString qs(const std::optional<std::string>& text) {
    return text ? QString::fromStdString(*text) : QString();
}

std::optional<std::string> unlessEmpty(const QString& text) {
    return text.isEmpty() ? std::nullopt : std::optional<std::string>(text.toStdString());
}

QLineEdit* field(QWidget* parent, const QString& placeholder, const char* name, const QString& text) {
    auto* edit = new QLineEdit(text, parent);
    edit->setPlaceholderText(placeholder);
    edit->setAccessibleName(placeholder);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

} // namespace

SnippetRowExpanded::SnippetRowExpanded(std::optional<ManualSnippet> snippet, std::optional<std::string> error,
                                       std::function<void(const ManualSnippet&)> onSave,
                                       std::function<void()> onCancel, QWidget* parent)
    : RoundedCard(parent)
    , onSave_(std::move(onSave))
    , onCancel_(std::move(onCancel)) {
    setObjectName(QStringLiteral("snippetEditor"));
    setRadius(8);
    // In a dark palette the fields share the base colour; the card is set a shade apart from them.
    setFill(KitColors::isDark(*this) ? palette().color(QPalette::Window).lighter(118)
                                     : KitColors::controlBackground(*this));
    setStroke(KitColors::withAlpha(KitColors::primaryText(*this), 0.15), 1);
    // A link that is present but empty opens as text, as the row shows it: it could not be saved as
    // a link anyway.
    isURL_ = snippet && snippet->url && !snippet->url->empty();
    const ManualSnippet seed = snippet.value_or(ManualSnippet{});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);

    auto* errorRow = new ErrorRow(QStringLiteral("snippetError"), this);
    errorRow_ = errorRow;
    errorText_ = errorRow->text();
    layout->addWidget(errorRow_);

    auto* names = new QHBoxLayout;
    key_ = field(this, QStringLiteral("Key"), "key", QString::fromStdString(seed.key));
    key_->setMaximumWidth(200);
    label_ = field(this, QStringLiteral("Label (optional)"), "label", qs(seed.label));
    names->addWidget(key_);
    names->addWidget(label_, 1);
    layout->addLayout(names);

    layout->addWidget(makeTypePicker(), 0, Qt::AlignLeft);

    url_ = field(this, QStringLiteral("URL"), "url", qs(seed.url));
    // Named apart from the choice "URL" above it.
    url_->setAccessibleName(QStringLiteral("URL to open"));
    layout->addWidget(url_);
    expandBox_ = new RoundedCard(this);
    static_cast<RoundedCard*>(expandBox_)->setRadius(6);
    static_cast<RoundedCard*>(expandBox_)->setFill(KitColors::textBackground(*this));
    static_cast<RoundedCard*>(expandBox_)
        ->setStroke(KitColors::withAlpha(KitColors::primaryText(*this), 0.15), 1);
    auto* boxLayout = new QVBoxLayout(expandBox_);
    boxLayout->setContentsMargins(4, 4, 4, 4);
    expand_ = new QPlainTextEdit(qs(seed.expand), expandBox_);
    expand_->setObjectName(QStringLiteral("expand"));
    // Named apart from the choice "Text" above it; the box shows no label of its own.
    expand_->setAccessibleName(QStringLiteral("Text to insert"));
    expand_->setFrameShape(QFrame::NoFrame);
    expand_->setFixedHeight(80);
    expand_->setTabChangesFocus(true);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(10);
    expand_->setFont(mono);
    boxLayout->addWidget(expand_);
    layout->addWidget(expandBox_);

    description_ = field(this, QStringLiteral("Description (optional)"), "description", qs(seed.description));
    layout->addWidget(description_);

    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    saveButton_ = new QPushButton(QStringLiteral("Save"), this);
    saveButton_->setObjectName(QStringLiteral("save"));
    saveButton_->setAutoDefault(false);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    buttons->addWidget(saveButton_);
    layout->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, [this] {
        if (onCancel_) {
            onCancel_();
        }
    });
    connect(saveButton_, &QPushButton::clicked, this, [this] { save(); });
    // Return in a one-line field presses "Save" (only while it is enabled); in the text it is a line break.
    for (QLineEdit* edit : {key_, label_, url_, description_}) {
        connect(edit, &QLineEdit::returnPressed, this, [this] { save(); });
    }
    connect(key_, &QLineEdit::textChanged, this, [this] { refreshSave(); });
    connect(url_, &QLineEdit::textChanged, this, [this] { refreshSave(); });
    setError(error);
    setIsURL(isURL_);
}

QWidget* SnippetRowExpanded::makeTypePicker() {
    auto* picker = new QWidget(this);
    picker->setObjectName(QStringLiteral("type"));
    picker->setAccessibleName(QStringLiteral("Type"));
    picker->setFixedWidth(160);
    auto* row = new QHBoxLayout(picker);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    textChoice_ = new QPushButton(QStringLiteral("Text"), picker);
    textChoice_->setObjectName(QStringLiteral("typeText"));
    urlChoice_ = new QPushButton(QStringLiteral("URL"), picker);
    urlChoice_->setObjectName(QStringLiteral("typeURL"));
    auto* group = new QButtonGroup(picker);
    // The chosen segment stands out in the accent colour, as a segmented control's does; its focus frame,
    // on its edge, stands out from that fill.
    picker->setStyleSheet(
        QStringLiteral("QPushButton:checked { background: palette(highlight); "
                       "color: palette(highlighted-text); border: 1px solid palette(highlight); "
                       "border-radius: 3px; padding: 3px; } "
                       "QPushButton:checked:focus { border: 2px solid %1; padding: 2px; }")
            .arg(FocusFrame::colorOnAccent(palette()).name()));
    for (QPushButton* choice : {textChoice_, urlChoice_}) {
        choice->setCheckable(true);
        // One choice of two: assistive technology is told radio buttons.
        choice->setAutoExclusive(true);
        choice->setAutoDefault(false);
        choice->setAccessibleName(choice->text());
        group->addButton(choice);
        row->addWidget(choice);
    }
    ChoiceFocus::follow(*group);
    // The state change, not the click: a screen reader toggles a segment without clicking it.
    connect(textChoice_, &QPushButton::toggled, this, [this](bool on) {
        if (on && isURL_) {
            setIsURL(false);
        }
    });
    connect(urlChoice_, &QPushButton::toggled, this, [this](bool on) {
        if (on && !isURL_) {
            setIsURL(true);
        }
    });
    return picker;
}

void SnippetRowExpanded::setIsURL(bool isURL) {
    isURL_ = isURL;
    textChoice_->setChecked(!isURL);
    urlChoice_->setChecked(isURL);
    url_->setVisible(isURL);
    expandBox_->setVisible(!isURL);
    refreshSave();
}

void SnippetRowExpanded::setError(const std::optional<std::string>& error) {
    errorText_->setText(qs(error));
    errorText_->setAccessibleName(qs(error));
    errorRow_->setVisible(error.has_value());
}

void SnippetRowExpanded::keyPressEvent(QKeyEvent* event) {
    // Escape, which no field of the editor takes for itself, presses "Cancel".
    if (event->key() == Qt::Key_Escape) {
        if (onCancel_) {
            onCancel_();
        }
        return;
    }
    RoundedCard::keyPressEvent(event);
}

bool SnippetRowExpanded::canSave() const {
    return !key_->text().isEmpty() && !(isURL_ && url_->text().isEmpty());
}

void SnippetRowExpanded::focusKey() {
    key_->setFocus(Qt::OtherFocusReason);
}

void SnippetRowExpanded::refreshSave() {
    saveButton_->setEnabled(canSave());
}

ManualSnippet SnippetRowExpanded::composedSnippet() const {
    ManualSnippet snippet;
    snippet.key = key_->text().toStdString();
    if (isURL_) {
        snippet.url = unlessEmpty(url_->text());
    } else {
        snippet.expand = unlessEmpty(expand_->toPlainText());
    }
    snippet.label = unlessEmpty(label_->text());
    snippet.description = unlessEmpty(description_->text());
    return snippet;
}

void SnippetRowExpanded::save() {
    if (canSave() && onSave_) {
        onSave_(composedSnippet());
    }
}

} // namespace korvane
