#include "kittestsupport.h"
#include "model/colorcontrast.h"
#include "uikit/animations.h"
#include "uikit/capsulebutton.h"
#include "uikit/confirmation.h"
#include "uikit/kitpalette.h"
#include "uikit/symbolicon.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTest>
#include <gtest/gtest.h>

namespace korvane {
namespace {

class UiKitTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureKitApplication(); }
};

// Every symbol the windows name draws something visible, and an unknown name draws nothing.
TEST_F(UiKitTest, EverySymbolDrawsInk) {
    const char* used[] = {"sidebar.leading",
                          "doc.text",
                          "text.quote",
                          "gearshape",
                          "magnifyingglass",
                          "plus",
                          "trash",
                          "pencil",
                          "arrow.up.forward.square",
                          "text.alignleft",
                          "exclamationmark.triangle.fill",
                          "eye",
                          "eye.slash",
                          "app.badge.checkmark",
                          "square.grid.2x2",
                          "app",
                          "lock.shield",
                          "checkmark.circle.fill",
                          "chevron.right",
                          "xmark",
                          "bolt.fill",
                          "arrow.triangle.branch",
                          "terminal",
                          "bubble.left",
                          "envelope"};
    const auto names = SymbolIcon::names();
    QImage sheet(static_cast<int>(names.size()) * 28 + 8, 36, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::white);
    QPainter sheetPainter(&sheet);
    for (std::size_t i = 0; i < names.size(); ++i) {
        SymbolIcon::paint(sheetPainter, names[i], QRectF(8 + 28.0 * i, 8, 20, 20), Qt::black);
    }
    sheetPainter.end();
    if (const char* dir = std::getenv("KORVANE_SNAPSHOT_DIR")) {
        sheet.save(QString(dir) + "/symbols.png");
    }
    for (const char* name : used) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SymbolIcon::has(name));
        const QImage image = SymbolIcon::icon(name, Qt::black, 16).pixmap(16, 16).toImage();
        int ink = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                ink += qAlpha(image.pixel(x, y)) > 96 ? 1 : 0;
            }
        }
        EXPECT_GT(ink, 8);
        EXPECT_LT(ink, 16 * 16);
    }
    QImage blank(16, 16, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&blank);
    EXPECT_FALSE(SymbolIcon::paint(painter, "no.such.symbol", QRectF(0, 0, 16, 16), Qt::black));
    EXPECT_TRUE(SymbolIcon::icon("no.such.symbol", Qt::black).isNull());
}

// An application without an icon of its own shows a filled tile with a sign on it, never an outline
// with nothing inside, which beside the check boxes of a list reads as one more empty box.
TEST_F(UiKitTest, TheMissingIconPlaceholderIsFilled) {
    const QImage image = SymbolIcon::icon("app", Qt::black, 32).pixmap(32, 32).toImage();
    int middle = 0;
    int tinted = 0;
    int sign = 0;
    for (int y = 8; y < 24; ++y) {
        for (int x = 8; x < 24; ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            ++middle;
            tinted += alpha > 32 ? 1 : 0;
            sign += alpha > 200 ? 1 : 0;
        }
    }
    EXPECT_GT(tinted, middle * 9 / 10) << "the middle is empty";
    EXPECT_GT(sign, middle / 10) << "the tile bears no sign";
    EXPECT_LT(sign, middle * 3 / 4) << "a solid square";
}

// The destructive action runs only for its own button, once; "Cancel" and Escape run the other side.
// A list of many rows asks for the same few icons over and over: each is drawn once.
TEST_F(UiKitTest, TheSameIconIsDrawnOnce) {
    const QIcon first = SymbolIcon::icon("trash", Qt::red, 14);
    EXPECT_EQ(SymbolIcon::icon("trash", Qt::red, 14).cacheKey(), first.cacheKey());
    EXPECT_NE(SymbolIcon::icon("trash", Qt::blue, 14).cacheKey(), first.cacheKey());
    EXPECT_NE(SymbolIcon::icon("trash", Qt::red, 16).cacheKey(), first.cacheKey());
    EXPECT_NE(SymbolIcon::icon("pencil", Qt::red, 14).cacheKey(), first.cacheKey());
    EXPECT_TRUE(SymbolIcon::icon("no.such.symbol", Qt::red, 14).isNull());
}

TEST_F(UiKitTest, ConfirmationRunsTheChosenSideOnce) {
    QWidget parent;
    parent.show();
    int confirmed = 0;
    int cancelled = 0;
    for (const char* button : {"confirm", "cancel", "escape"}) {
        QMessageBox* box = Confirmation::ask(
            &parent, "Delete this snippet?", "Delete", [&] { ++confirmed; }, [&] { ++cancelled; });
        ASSERT_EQ(Confirmation::openUnder(&parent), box);
        EXPECT_EQ(box->text(), "Delete this snippet?");
        if (std::string(button) == "escape") {
            QTest::keyClick(box, Qt::Key_Escape);
        } else {
            box->findChild<QPushButton*>(button)->click();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(Confirmation::openUnder(&parent), nullptr);
    }
    EXPECT_EQ(confirmed, 1);
    EXPECT_EQ(cancelled, 2);
}

// A window manager sets a dialog's title in a bold face beside the title bar's icon and buttons
// and cuts it short ("Delet… ppet?") when the dialog is too narrow: every confirmation leaves room
// for its whole title there, and shows its question uncut.
TEST_F(UiKitTest, ConfirmationIsWideEnoughForItsTitle) {
    QWidget parent;
    parent.show();
    for (const char* title : {"Delete this snippet?", "Remove this app and all its snippets?"}) {
        SCOPED_TRACE(title);
        QMessageBox* box = Confirmation::ask(&parent, title, "Delete", [] {});
        QFont bold = box->font();
        bold.setBold(true);
        const int iconAndButtons = 4 * 24;
        EXPECT_GE(box->width(), QFontMetrics(bold).horizontalAdvance(title) + iconAndButtons);
        for (QLabel* label : box->findChildren<QLabel*>()) {
            if (label->text() == title) {
                EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
            }
        }
        box->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(UiKitTest, CapsuleNamesItselfAndCrossFadeIsImmediateWhenOff) {
    CapsuleButton tab("Global");
    EXPECT_EQ(tab.accessibleName(), "Global");
    CapsuleButton plus("");
    plus.setToolTip("Add App");
    plus.setSymbol("plus");
    plus.repaint();
    EXPECT_EQ(plus.accessibleName(), "Add App");
    const int idleWidth = tab.sizeHint().width();
    tab.setSelected(true);
    EXPECT_EQ(tab.sizeHint().width(), idleWidth) << "a selected tab must not change width";

    ASSERT_FALSE(Animations::enabled());
    QStackedWidget stack;
    stack.addWidget(new QWidget);
    stack.addWidget(new QWidget);
    stack.show();
    Animations::crossFade(&stack, 1);
    EXPECT_EQ(stack.currentIndex(), 1);
    EXPECT_EQ(stack.findChildren<QLabel*>().size(), 0) << "no veil is left when animations are off";
}

// A window's placeholders read on their fields under every desktop palette, followed as it changes
// while the window is open: the desktop's own colour where it reads, else one that does. The second
// palette is what Qt makes of a dark colour scheme that names no placeholder colour: its light default,
// black at half opacity, on a dark field.
TEST_F(UiKitTest, PlaceholdersReadUnderEveryDesktopPaletteAsItChanges) {
    const QPalette light = QApplication::style()->standardPalette();
    QPalette darkScheme = light;
    darkScheme.setColor(QPalette::Window, QColor(32, 35, 38));
    darkScheme.setColor(QPalette::WindowText, QColor(252, 252, 252));
    darkScheme.setColor(QPalette::Base, QColor(27, 30, 32));
    darkScheme.setColor(QPalette::Text, QColor(252, 252, 252));
    test::useDarkPalette(true);
    const QPalette fullDark = QApplication::palette();
    ASSERT_EQ(darkScheme.color(QPalette::PlaceholderText), QColor(0, 0, 0, 128));

    QWidget window;
    auto* field = new QLineEdit(&window);
    KitPalette::keepLegible(window);
    const auto toColor = [](const QColor& c) { return Color{c.redF(), c.greenF(), c.blueF(), c.alphaF()}; };
    for (const auto& [name, desktop] : {std::pair{"light", light}, std::pair{"dark scheme", darkScheme},
                                        std::pair{"full dark", fullDark}, std::pair{"light again", light}}) {
        QApplication::setPalette(desktop);
        // Qt hands a new application palette on to the widgets through the event loop.
        QApplication::processEvents();
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            const QColor shown = field->palette().color(group, QPalette::PlaceholderText);
            const Color behind = toColor(desktop.color(group, QPalette::Base));
            EXPECT_GE(contrastRatio(composite(toColor(shown), behind), behind), minimumTextContrast)
                << name << " " << group;
            const QColor own = desktop.color(group, QPalette::PlaceholderText);
            if (contrastRatio(composite(toColor(own), behind), behind) >= minimumTextContrast) {
                EXPECT_EQ(shown, own) << name << ": the desktop's own placeholder colour reads and stays";
            }
        }
        EXPECT_EQ(field->palette().color(QPalette::Base), desktop.color(QPalette::Base))
            << name << ": every other colour follows the desktop";
    }
    test::useDarkPalette(false);
}

} // namespace
} // namespace korvane
