// The frame of the detail panel, its title row, the choice of section, and the link, script and
// text sections with the scrolling body they share.

#include "detail/views/detailpanelview.h"

#include "detail/views/detailsymbols.h"
#include "popup/namedcolors.h"
#include "popup/popuptheme.h"
#include "popup/views/painticons.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <cmath>

namespace korvane {

void DetailPanelView::install(const Clock& clock) {
    DetailColumnView::setDetailPanelFactory(
        [&clock](DetailColumnView& column, std::shared_ptr<PopupViewModel> model) {
            return std::make_unique<DetailPanelView>(column, std::move(model), clock);
        });
}

DetailPanelView::DetailPanelView(DetailColumnView& column, std::shared_ptr<PopupViewModel> model,
                                 const Clock& clock)
    : column_(column)
    , model_(std::move(model))
    , clock_(clock)
    , body_(column)
    , spinnerTicker_(&column, [this] {
        // A hidden column paints nothing, so its spinner would never be told to stop.
        if (column_.isVisible()) {
            column_.update();
        } else {
            spinnerTicker_.stop();
        }
    }) {}

bool DetailPanelView::isFocused() const {
    return model_->focusedPanel() == PopupViewModel::FocusedPanel::detail;
}

std::optional<std::string> DetailPanelView::previewHeading(const Snippet& snippet) const {
    if (snippet.source.kind() == SnippetSource::Kind::filePath) {
        return std::nullopt;
    }
    return snippet.description;
}

std::optional<std::string> DetailPanelView::bodyText(const Snippet& snippet) const {
    using Section = DetailPanelContent::Section;
    switch (DetailPanelContent::sectionFor(snippet)) {
    case Section::text:
        return snippet.expansion;
    case Section::script:
        return snippet.description;
    case Section::skill:
    case Section::document:
    case Section::file: {
        if (snippet.source.kind() == SnippetSource::Kind::filePath &&
            !DetailPanelContent::metadata(snippet, "filePath")) {
            return std::nullopt;
        }
        const auto content = model_->previewContent(snippet.id);
        if (const auto* text = content ? std::get_if<PreviewContent::Text>(&content->value()) : nullptr) {
            return text->text;
        }
        return std::nullopt;
    }
    case Section::link:
    case Section::gitRef:
        break;
    }
    return std::nullopt;
}

std::optional<std::string> DetailPanelView::scrolledLine() const {
    const auto& lines = body_.lines();
    if (!bodyShown_ || !shownScrollPosition_ || *shownScrollPosition_ <= 0 || lines.empty()) {
        return std::nullopt;
    }
    return lines[std::min(static_cast<std::size_t>(*shownScrollPosition_), lines.size()) - 1];
}

void DetailPanelView::sync(const Snippet& snippet) {
    const auto text = bodyText(snippet);
    const int position = model_->detailScrollPosition();
    bodyShown_ = text.has_value();
    if (!text) {
        // Nothing scrolls: the arrow keys must not wander past a body that is not shown.
        shownScrollPosition_ = position;
        model_->setDetailScrollMax(0);
        return;
    }
    const ThemeConfig& theme = model_->themeConfig();
    const int width =
        DetailPanelContent::charactersPerLine(PopupTheme::drawingFontSize(theme.fontSize), theme.detailWidth);
    if (body_.setText(*text, width)) {
        // A new body starts at its top.
        shownScrollPosition_ = position;
    } else if (shownScrollPosition_ != position) {
        shownScrollPosition_ = position;
        body_.scrollTo(position);
    }
    // The view model bounds the scroll position by the body's lines. Told on every sync, not only
    // when the text changes: a popup reset forgets the bound while the body keeps the same text.
    model_->setDetailScrollMax(static_cast<int>(body_.segmentCount()) - 1);
}

void DetailPanelView::paint(QPainter& painter, const QRectF& rect, const PaintContext& context,
                            const Snippet& snippet) {
    texts_.clear();
    spinnerShown_ = false;
    DetailPaintCursor cursor(painter, context, rect.adjusted(inset, inset, -inset, -inset), texts_);
    paintTitle(cursor, snippet);
    using Section = DetailPanelContent::Section;
    const double f = cursor.fontSize();
    switch (DetailPanelContent::sectionFor(snippet)) {
    case Section::link:
        paintLink(cursor, snippet);
        break;
    case Section::gitRef:
        paintGitRef(cursor, snippet);
        break;
    case Section::skill:
        paintSkill(cursor, snippet);
        break;
    case Section::document:
        paintPreview(cursor, snippet);
        break;
    case Section::file:
        paintFile(cursor, snippet);
        break;
    case Section::script:
        if (snippet.description) {
            cursor.child();
            body_.paint(cursor, std::nullopt, false, 0.7, isFocused());
        }
        break;
    case Section::text:
        cursor.child();
        body_.paint(cursor, snippet.description, true, 0.6, isFocused());
        break;
    }
    (void)f;
    if (spinnerShown_ && !spinnerTicker_.running()) {
        spinnerTicker_.start();
    } else if (!spinnerShown_ && spinnerTicker_.running()) {
        spinnerTicker_.stop();
    }
}

void DetailPanelView::paintTitle(DetailPaintCursor& cursor, const Snippet& snippet) {
    cursor.child();
    const double f = cursor.fontSize();
    const QFont titleFont = cursor.font(FontRoles::Design::monospaced, f, QFont::DemiBold);
    const double height = std::ceil(QFontMetricsF(titleFont).height());
    const TextRun title{QString::fromStdString(DetailPanelContent::title(snippet)), titleFont,
                        cursor.primary(1)};
    if (!DetailPanelContent::isStale(snippet)) {
        cursor.line({title}, 0, height, "detail.title");
        cursor.advance(height);
        return;
    }
    const QFont badgeFont = cursor.font(FontRoles::Design::standard, 9, QFont::Medium);
    const double badgeWidth = QFontMetricsF(badgeFont).horizontalAdvance(QStringLiteral("stale")) + 10;
    const double badgeHeight = std::ceil(QFontMetricsF(badgeFont).height()) + 4;
    const double spacing = 8;
    DetailPaintCursor titleOnly(
        cursor.painter(), cursor.context(),
        QRectF(cursor.left(), cursor.y(), std::max(0.0, cursor.width() - badgeWidth - spacing), height),
        texts_);
    const double drawn = titleOnly.line({title}, 0, height, "detail.title");
    const QRectF badge(cursor.left() + drawn + spacing, cursor.y() + (height - badgeHeight) / 2, badgeWidth,
                       badgeHeight);
    QPainterPath plate;
    plate.addRoundedRect(badge, 3, 3);
    const Color orange = namedColor(NamedColor::orange);
    cursor.painter().fillPath(plate, PaintContext::qcolor(withOpacity(orange, 0.2)));
    cursor.context().drawText(cursor.painter(), badge, TextRun{QStringLiteral("stale"), badgeFont, orange},
                              Qt::AlignHCenter, "detail.stale");
    cursor.note("stale");
    cursor.advance(height);
}

void DetailPanelView::paintLink(DetailPaintCursor& cursor, const Snippet& snippet) {
    const double f = cursor.fontSize();
    if (snippet.description) {
        cursor.child();
        cursor.wrapped(QString::fromStdString(*snippet.description),
                       cursor.font(FontRoles::Design::standard, f - 2), cursor.primary(0.7), 3,
                       "detail.description");
        cursor.child();
        cursor.divider();
    }
    cursor.child();
    const QFont urlFont = cursor.font(FontRoles::Design::monospaced, f - 2);
    const double lineHeight = std::ceil(QFontMetricsF(urlFont).height());
    const double iconSize = f - 2;
    const double textLeft = iconSize + 6;
    // At most two lines, cut in the middle so that both the host and the end of the path stay.
    const QString url = QString::fromStdString(*snippet.url);
    const double room = std::max(1.0, cursor.width() - textLeft);
    const QString shown = QFontMetricsF(urlFont).elidedText(url, Qt::ElideMiddle, room * 2 - 4);
    DetailPaintCursor urlCursor(cursor.painter(), cursor.context(),
                                QRectF(cursor.left() + textLeft, cursor.y(), room, lineHeight * 2), texts_);
    const double height = urlCursor.wrapped(shown, urlFont, cursor.primary(0.6), 2, "detail.url");
    DetailSymbols::globe(
        cursor.painter(),
        QRectF(cursor.left(), cursor.y() + (std::min(height, lineHeight) - iconSize) / 2, iconSize, iconSize),
        PaintContext::qcolor(withOpacity(namedColor(NamedColor::blue), 0.8)));
    cursor.advance(height);
    cursor.child();
    cursor.advance(8);
    cursor.child();
    paintKeyCapHint(cursor);
}

void DetailPanelView::paintKeyCapHint(DetailPaintCursor& cursor) {
    const double f = cursor.fontSize();
    const QFont wordFont = cursor.font(FontRoles::Design::standard, f - 3);
    const QFont capFont = cursor.font(FontRoles::Design::rounded, 9, QFont::Medium);
    const double height =
        std::ceil(std::max(QFontMetricsF(wordFont).height(), QFontMetricsF(capFont).height() + 4));
    const Color words = cursor.primary(0.5);
    double x = cursor.left();
    std::string spoken;
    const auto word = [&](const QString& text) {
        x += cursor.context().drawText(cursor.painter(), QRectF(x, cursor.y(), cursor.width(), height),
                                       TextRun{text, wordFont, words}, Qt::AlignLeft, "detail.hint") +
             4;
        spoken += (spoken.empty() ? "" : " ") + text.toStdString();
    };
    const auto cap = [&](const QString& text) {
        const double w = QFontMetricsF(capFont).horizontalAdvance(text) + 8;
        const double h = std::ceil(QFontMetricsF(capFont).height()) + 4;
        const QRectF box(x, cursor.y() + (height - h) / 2, w, h);
        QPainterPath plate;
        plate.addRoundedRect(box, 3, 3);
        cursor.painter().fillPath(plate, PaintContext::qcolor(cursor.primary(0.1)));
        cursor.context().drawText(cursor.painter(), box, TextRun{text, capFont, words}, Qt::AlignHCenter,
                                  "detail.keycap");
        x += w + 4;
        spoken += " " + text.toStdString();
    };
    word(QStringLiteral("Press"));
    cap(QStringLiteral("Tab"));
    word(QStringLiteral("or"));
    cap(QStringLiteral("Return"));
    word(QStringLiteral("to open"));
    cursor.note(spoken);
    cursor.advance(height);
}

void DetailPanelView::paintStatusRow(DetailPaintCursor& cursor, const std::string& text, double opacity,
                                     bool spinner) {
    cursor.child();
    const QFont font = cursor.font(FontRoles::Design::standard, cursor.fontSize() - 2);
    const double height = std::ceil(QFontMetricsF(font).height());
    double x = 0;
    if (spinner) {
        spinnerShown_ = true;
        const double phase = std::fmod(spinnerTicker_.elapsed(), 1.0);
        PaintIcons::spinner(cursor.painter(), QRectF(cursor.left(), cursor.y() + (height - 12) / 2, 12, 12),
                            12, PaintContext::qcolor(cursor.primary(0.6)), phase);
        x = 12 + 6;
    }
    cursor.line({TextRun{QString::fromStdString(text), font, cursor.primary(opacity)}}, x, height,
                "detail.status");
    cursor.advance(height);
}

} // namespace korvane
