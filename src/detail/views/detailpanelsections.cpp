// The detail panel's sections for data loaded in the background: a git ref's commit and branch
// figures, a skill's location, a file's path, size and age, and the preview of a skill, document
// or file.

#include "detail/views/detailpanelview.h"
#include "detail/views/detailsymbols.h"
#include "popup/namedcolors.h"
#include "popup/views/painticons.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainterPath>
#include <cmath>

namespace korvane {

void DetailPanelView::paintGitRef(DetailPaintCursor& cursor, const Snippet& snippet) {
    const double f = cursor.fontSize();
    const QFont font = cursor.font(FontRoles::Design::standard, f - 2);
    const double lineHeight = std::ceil(QFontMetricsF(font).height());
    cursor.child();
    if (DetailPanelContent::metadata(snippet, "type") == "tag") {
        cursor.line({TextRun{QStringLiteral("Tag"), font, cursor.primary(0.6)}}, 0, lineHeight, "detail.tag");
        cursor.advance(lineHeight);
        return;
    }
    // The commit, a divider and the branch figures stand 4 pt apart in a stack of their own.
    constexpr double spacing = 4;
    const auto author = DetailPanelContent::metadata(snippet, "author");
    const auto date = DetailPanelContent::metadata(snippet, "date");
    if (author && date) {
        const QFont medium = cursor.font(FontRoles::Design::standard, f - 2, QFont::Medium);
        const Color color = cursor.primary(0.7);
        cursor.line({TextRun{QString::fromStdString(*author), medium, color},
                     TextRun{QStringLiteral(" \u00b7 "), font, color},
                     TextRun{QString::fromStdString(*date), font, color}},
                    0, lineHeight, "detail.commit");
        cursor.advance(lineHeight + spacing);
    }
    if (const auto subject = DetailPanelContent::metadata(snippet, "subject"); subject && !subject->empty()) {
        cursor.wrapped(QString::fromStdString(*subject), font, cursor.primary(0.6), 2, "detail.subject");
        cursor.advance(spacing);
    }
    cursor.divider();
    cursor.advance(spacing);
    paintBranchBlock(cursor, snippet);
}

void DetailPanelView::paintBranchBlock(DetailPaintCursor& cursor, const Snippet& snippet) {
    const auto figures = model_->detail().gitBranchMetadata(snippet.id);
    if (!figures) {
        // paintStatusRow starts a stack child of its own; this row belongs to the git stack.
        const QFont font = cursor.font(FontRoles::Design::standard, cursor.fontSize() - 2);
        const double height = std::ceil(QFontMetricsF(font).height());
        spinnerShown_ = true;
        PaintIcons::spinner(cursor.painter(), QRectF(cursor.left(), cursor.y() + (height - 12) / 2, 12, 12),
                            12, PaintContext::qcolor(cursor.primary(0.6)),
                            std::fmod(spinnerTicker_.elapsed(), 1.0));
        cursor.line({TextRun{QStringLiteral("Loading..."), font, cursor.primary(0.4)}}, 18, height,
                    "detail.status");
        cursor.advance(height);
        return;
    }
    const auto value = [&](const char* key) -> std::optional<std::string> {
        const auto found = figures->find(key);
        return found == figures->end() ? std::nullopt : std::optional(found->second);
    };
    const double f = cursor.fontSize();
    const QFont font = cursor.font(FontRoles::Design::standard, f - 2);
    const QFont medium = cursor.font(FontRoles::Design::standard, f - 2, QFont::Medium);
    const double height = std::ceil(QFontMetricsF(font).height());
    double x = 0;
    const auto item = [&](bool up, long long count, const char* word, NamedColor accent) {
        const Color color = count >= 1 ? namedColor(accent) : cursor.primary(0.5);
        DetailSymbols::arrow(cursor.painter(),
                             QRectF(cursor.left() + x, cursor.y() + (height - 10) / 2, 8, 10), up,
                             PaintContext::qcolor(color));
        x += 8 + 4;
        x += cursor.line({TextRun{QString::number(count), medium, color},
                          TextRun{QStringLiteral(" "), font, color},
                          TextRun{QString::fromLatin1(word), font, color}},
                         x, height, up ? "detail.ahead" : "detail.behind") +
             4 + 4;
    };
    item(true, DetailPanelContent::branchCount(value("ahead")), "ahead", NamedColor::green);
    item(false, DetailPanelContent::branchCount(value("behind")), "behind", NamedColor::orange);
    cursor.line({TextRun{QString::fromStdString(value("default_branch").value_or("main")), font,
                         cursor.primary(0.4)}},
                x, height, "detail.defaultBranch");
    cursor.advance(height);
}

void DetailPanelView::paintSkill(DetailPaintCursor& cursor, const Snippet& snippet) {
    if (const auto location = DetailPanelContent::skillLocationPath(snippet, model_->projectRoot())) {
        const double f = cursor.fontSize();
        cursor.child();
        const QFont labelFont = cursor.font(FontRoles::Design::standard, f - 3, QFont::Medium);
        const double labelHeight = std::ceil(QFontMetricsF(labelFont).height());
        cursor.line({TextRun{QStringLiteral("Location"), labelFont, cursor.primary(0.55)}}, 0, labelHeight,
                    "detail.locationLabel");
        cursor.advance(labelHeight + 3);
        const QFont pathFont = cursor.font(FontRoles::Design::monospaced, f - 2);
        const QString path = QFontMetricsF(pathFont).elidedText(QString::fromStdString(*location),
                                                                Qt::ElideMiddle, cursor.width() * 2 - 4);
        cursor.wrapped(path, pathFont, cursor.primary(0.75), 2, "detail.location");
        cursor.child();
        cursor.divider();
    }
    paintPreview(cursor, snippet);
}

void DetailPanelView::paintFile(DetailPaintCursor& cursor, const Snippet& snippet) {
    const double f = cursor.fontSize();
    cursor.child();
    cursor.wrapped(QString::fromStdString(snippet.label), cursor.font(FontRoles::Design::monospaced, f - 2),
                   cursor.primary(0.6), 3, "detail.path");
    if (const auto metadata = model_->detail().fileMetadata(snippet.id)) {
        cursor.child();
        cursor.advance(4);
        const QFont font = cursor.font(FontRoles::Design::standard, f - 2);
        const double height = std::ceil(QFontMetricsF(font).height());
        const std::string row = DetailPanelContent::formatByteCount(metadata->size) + " \u00b7 Modified " +
                                DetailPanelContent::shortRelativeAge(metadata->modifiedDate, clock_.now());
        cursor.line({TextRun{QString::fromStdString(row), font, cursor.primary(0.5)}}, 0, height,
                    "detail.size");
        cursor.advance(height);
    }
    cursor.child();
    cursor.advance(6);
    cursor.divider();
    cursor.advance(6);
    if (DetailPanelContent::metadata(snippet, "filePath")) {
        paintPreview(cursor, snippet);
    }
}

void DetailPanelView::paintPreview(DetailPaintCursor& cursor, const Snippet& snippet) {
    const auto content = model_->previewContent(snippet.id);
    const auto heading = previewHeading(snippet);
    if (content) {
        if (const auto* image = std::get_if<PreviewContent::Image>(&content->value())) {
            paintImage(cursor, image->image);
            return;
        }
        if (std::holds_alternative<PreviewContent::Text>(content->value())) {
            cursor.child();
            body_.paint(cursor, heading, false, 0.7, isFocused());
            return;
        }
    }
    if (heading) {
        cursor.child();
        cursor.wrapped(QString::fromStdString(*heading),
                       cursor.font(FontRoles::Design::monospaced, cursor.fontSize() - 1, QFont::Medium),
                       cursor.primary(0.8), 4, "detail.heading");
    }
    cursor.child();
    cursor.advance(4);
    if (content) {
        paintStatusRow(cursor, "Content unavailable", 0.5, false);
    } else {
        paintStatusRow(cursor, "Loading...", 0.5, true);
    }
}

void DetailPanelView::paintImage(DetailPaintCursor& cursor,
                                 const std::shared_ptr<const PreviewImage>& image) {
    if (!image || image->width <= 0 || image->height <= 0) {
        return;
    }
    cursor.child();
    // Pixmaps are made here, on the main thread, once per decoded image.
    if (pixmapSource_ != image) {
        const QImage wrapped(reinterpret_cast<const uchar*>(image->pixels.data()), image->width,
                             image->height, image->width * 4, QImage::Format_ARGB32);
        pixmap_ = QPixmap::fromImage(wrapped.copy());
        pixmapSource_ = image;
    }
    const double scale = std::min({cursor.width() / image->width, cursor.remaining() / image->height});
    if (scale <= 0) {
        return;
    }
    const QRectF box(cursor.left(), cursor.y(), image->width * scale, image->height * scale);
    QPainterPath clip;
    clip.addRoundedRect(box, imageCornerRadius, imageCornerRadius);
    cursor.painter().save();
    cursor.painter().setRenderHint(QPainter::SmoothPixmapTransform);
    cursor.painter().setClipPath(clip, Qt::IntersectClip);
    cursor.painter().drawPixmap(box, pixmap_, QRectF(pixmap_.rect()));
    cursor.painter().restore();
    cursor.note("Image " + std::to_string(image->width) + " \u00d7 " + std::to_string(image->height));
    cursor.advance(box.height());
}

} // namespace korvane
