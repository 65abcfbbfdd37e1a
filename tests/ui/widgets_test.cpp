#include "modem/led_digit.h"
#include "store/colors.h"
#include "ui/widgets/colors_qt.h"
#include "ui/widgets/digit_led.h"
#include "ui/widgets/oval_button.h"
#include "ui/widgets/pictures.h"
#include "ui/widgets/window_stacking.h"

#include <QDialog>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

namespace tarvik {
namespace {

constexpr LedSegments a = bOne, b = bTwo, c = bThree, d = bFour, e = bFive, f = bSix, g = bSeven;

LedSegments characterOn(TDigitLed& led, char ch) {
    led.setCharacter(ch);
    return led.segments();
}

TEST(DigitLedGlyphs, EveryCharacterFromZeroToZLightsOnlyBars) {
    TDigitLed led;
    for (char ch = '0'; ch <= 'z'; ++ch) {
        SCOPED_TRACE(std::string(1, ch));
        const LedSegments lit = characterOn(led, ch);
        EXPECT_NE(lit, kDark);
        EXPECT_EQ(lit & ~kAllBars, 0);
        EXPECT_EQ(lit & bpoint, 0) << "a glyph must not light the decimal point";
    }
}

TEST(DigitLedGlyphs, GlyphsTheDisplayReliesOn) {
    TDigitLed led;
    EXPECT_EQ(characterOn(led, '0'), a | b | c | d | e | f | bDiagTwo | bDiagFour);
    EXPECT_EQ(characterOn(led, '1'), b | c);
    EXPECT_EQ(characterOn(led, '2'), a | b | g | e | d);
    EXPECT_EQ(characterOn(led, '3'), a | b | g | c | d);
    EXPECT_EQ(characterOn(led, '4'), f | g | b | c);
    EXPECT_EQ(characterOn(led, '5'), a | f | g | c | d);
    EXPECT_EQ(characterOn(led, '6'), a | f | g | e | d | c);
    EXPECT_EQ(characterOn(led, '7'), a | b | c);
    EXPECT_EQ(characterOn(led, '8'), a | b | c | d | e | f | g);
    EXPECT_EQ(characterOn(led, '9'), a | b | c | d | f | g);
    EXPECT_EQ(characterOn(led, 'o'), c | d | e | g);
    EXPECT_EQ(characterOn(led, 'u'), c | d | e);
    EXPECT_EQ(characterOn(led, 'n'), c | e | g);
    EXPECT_EQ(characterOn(led, 'w'), c | e | bDiagThree | bDiagFour);
}

TEST(DigitLedGlyphs, OtherCharactersAreDarkAndThePointStays) {
    TDigitLed led;
    for (char ch : {' ', '/', '{', '~', '\0', '\x7f', '\xC0', '-'}) {
        led.setSegments(kAllBars & ~bpoint);
        EXPECT_EQ(characterOn(led, ch), kDark) << int(ch);
    }
    led.setSegments(bSeven | bpoint);
    EXPECT_EQ(characterOn(led, '1'), b | c | bpoint);
    EXPECT_EQ(characterOn(led, ' '), bpoint);
}

// The digit drawn on a transparent image, `scale` times its designed size.
QImage render(TDigitLed& led, qreal scale) {
    led.resize(qRound(37 * scale), qRound(56 * scale));
    QImage image(led.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    led.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

int countColour(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == colour;
    return count;
}

TEST(DigitLedDrawing, BarsInTheirColoursOverNoBackground) {
    TDigitLed led;
    led.setOnColor(QColor(0, 255, 0));
    led.setOffColor(QColor(40, 0, 0));
    const QRgb on = qRgb(0, 255, 0), off = qRgb(40, 0, 0);

    led.setSegments(kDark);
    QImage dark = render(led, 2);
    EXPECT_EQ(countColour(dark, on), 0);
    EXPECT_GT(countColour(dark, off), 0);
    EXPECT_EQ(qAlpha(dark.pixel(0, 0)), 0) << "the digit paints no background";

    led.setSegments(LedGlyph('1'));
    const int one = countColour(render(led, 2), on);
    led.setSegments(LedGlyph('8'));
    const int eight = countColour(render(led, 2), on);
    led.setSegments(kAllBars | bpoint);
    const int all = countColour(render(led, 2), on);
    EXPECT_GT(one, 0);
    EXPECT_GT(eight, 3 * one);
    EXPECT_GT(all, eight);

    // Vector bars: the lit area grows with the square of the size.
    led.setSegments(LedGlyph('8'));
    const int large = countColour(render(led, 4), on);
    EXPECT_GT(large, eight * 3);
    EXPECT_LT(large, eight * 5);
}

TEST(DigitLedDrawing, EachBarHasItsOwnPlace) {
    TDigitLed led;
    led.setOnColor(Qt::white);
    led.setOffColor(Qt::transparent);
    QList<QImage> bars;
    for (int bit = 0; bit < 12; ++bit) {
        led.setSegments(LedSegments(1u << bit));
        bars.append(render(led, 3));
        EXPECT_GT(countColour(bars.back(), qRgb(255, 255, 255)), 20) << "bar " << bit;
    }
    // No two bars cover the same fully lit pixel.
    for (int i = 0; i < 12; ++i)
        for (int j = i + 1; j < 12; ++j) {
            int shared = 0;
            for (int y = 0; y < bars[i].height(); ++y)
                for (int x = 0; x < bars[i].width(); ++x)
                    shared += bars[i].pixel(x, y) == qRgb(255, 255, 255) &&
                              bars[j].pixel(x, y) == qRgb(255, 255, 255);
            EXPECT_EQ(shared, 0) << "bars " << i << " and " << j;
        }
}

TEST(DigitLed, ClickSignal) {
    TDigitLed led;
    led.resize(37, 56);
    QSignalSpy clicks(&led, &TDigitLed::clicked);
    QTest::mouseClick(&led, Qt::LeftButton);
    QTest::mouseClick(&led, Qt::RightButton);
    EXPECT_EQ(clicks.count(), 1);
}

TEST(OvalButton, NoFocusPressedLookAndOvalHitArea) {
    TOvalButton key;
    key.setText(QStringLiteral("5"));
    key.resize(61, 31);
    EXPECT_EQ(key.focusPolicy(), Qt::NoFocus);

    const QImage raised = key.grab().toImage();
    key.setDown(true);
    const QImage pressed = key.grab().toImage();
    key.setDown(false);
    EXPECT_NE(raised, pressed);
    EXPECT_EQ(key.grab().toImage(), raised);

    QSignalSpy clicks(&key, &QAbstractButton::clicked);
    QTest::mouseClick(&key, Qt::LeftButton, {}, QPoint(1, 1)); // corner, outside the oval
    EXPECT_EQ(clicks.count(), 0);
    QTest::mouseClick(&key, Qt::LeftButton, {}, QPoint(30, 15));
    EXPECT_EQ(clicks.count(), 1);
}

TEST(Colours, StoredColoursAsPainted) {
    EXPECT_EQ(toQColor(clRed), QColor(255, 0, 0));
    EXPECT_EQ(toQColor(clTeal), QColor(0, 128, 128));
    EXPECT_EQ(toQColor(0x00A6CAF0), QColor(0xF0, 0xCA, 0xA6));
    EXPECT_EQ(toQColor(clNone).alpha(), 0);
    QPalette palette;
    palette.setColor(QPalette::Dark, QColor(1, 2, 3));
    EXPECT_EQ(toQColor(clBtnShadow, palette), QColor(1, 2, 3));
    EXPECT_EQ(fromQColor(QColor(0x12, 0x34, 0x56)), 0x563412);
}

TEST(Pictures, TrayPicturesAndGreyedKeys) {
    for (int size : {16, 32}) {
        const QImage still = trayPicture(size, false).toImage();
        const QImage struck = trayPicture(size, true).toImage();
        EXPECT_EQ(still.size(), QSize(size, size));
        EXPECT_NE(still, struck);
    }
    EXPECT_EQ(trayIcon(false).availableSizes().size(), 2);

    const QPixmap book = bookPicture(20);
    const QImage greyed = greyedPicture(book).toImage();
    bool anyColour = false;
    for (int y = 0; y < greyed.height(); ++y)
        for (int x = 0; x < greyed.width(); ++x) {
            const QRgb px = greyed.pixel(x, y);
            EXPECT_TRUE(qRed(px) == qGreen(px) && qGreen(px) == qBlue(px));
        }
    const QImage normal = book.toImage();
    for (int y = 0; y < normal.height() && !anyColour; ++y)
        for (int x = 0; x < normal.width(); ++x)
            anyColour |= qBlue(normal.pixel(x, y)) > qRed(normal.pixel(x, y)) + 60;
    EXPECT_TRUE(anyColour) << "the book is blue";
}

// A sheet of every glyph, large, to look at.
TEST(DigitLedDrawing, GlyphSheet) {
    const int cell = 3;
    QImage sheet(16 * 37 * cell / 2, 5 * 56 * cell / 2, QImage::Format_RGB32);
    sheet.fill(Qt::black);
    TDigitLed led;
    led.setOffColor(QColor(0, 40, 0));
    led.resize(37 * cell / 2, 56 * cell / 2);
    int index = 0;
    for (char ch = '0'; ch <= 'z'; ++ch, ++index) {
        led.setSegments(kDark);
        led.setCharacter(ch);
        led.render(&sheet, QPoint(index % 16 * led.width(), index / 16 * led.height()), QRegion(),
                   QWidget::RenderFlags());
    }
    EXPECT_TRUE(sheet.save(QStringLiteral(TARVIK_TEST_OUTPUT_DIR "/digit_glyphs.png")));
}

// A dialog joins the stay-on-top layer only while a shown window of the program
// is in it, or when it has no owner to stand on; it is always its owner's transient.
TEST(WindowStacking, DialogsStandAboveTheirOwnerAndWhatStaysOnTop) {
    QWidget owner;
    owner.show();
    QDialog dialog;
    stackAboveOwner(dialog, &owner);
    EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    ASSERT_NE(dialog.windowHandle(), nullptr);
    EXPECT_EQ(dialog.windowHandle()->transientParent(), owner.windowHandle());

    QWidget onTop(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
    onTop.show();
    stackAboveOwner(dialog, &owner);
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(dialog.windowHandle()->transientParent(), owner.windowHandle())
        << "a new native window keeps its owner";

    onTop.hide();
    stackAboveOwner(dialog, &owner);
    EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << "hidden: no cover";

    QDialog unowned;
    stackAboveOwner(unowned, nullptr);
    EXPECT_TRUE(unowned.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

} // namespace
} // namespace tarvik
