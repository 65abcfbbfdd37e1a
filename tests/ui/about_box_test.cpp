#include "ui/abo_frm.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace tarvik {
namespace {

// Runs the about box from an owner and lets `act` close it.
template <class Act> void runAbout(QWidget& owner, Act act) {
    QTimer closer;
    closer.setSingleShot(true);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = owner.findChild<TAboutBox*>();
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(box->isVisible());
        act(*box);
    });
    closer.start(0);
    runAboutBox(&owner);
}

TEST(AboutBox, NamesTheProductItsVersionAndTheProject) {
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(box.ProductName->text(),
              QStringLiteral("TARVIK for Courier Modems with TREVA 2.51+"));
    EXPECT_TRUE(box.ProductName->font().bold());
    EXPECT_TRUE(box.ProductName->font().italic());
    EXPECT_TRUE(box.ProductName->wordWrap());
    EXPECT_EQ(box.Version->text(),
              QStringLiteral("Version ") + QLatin1String(TARVIK_EXPECTED_VERSION));
    EXPECT_TRUE(box.Copyright->text().contains(QStringLiteral("TARVIK")));
    EXPECT_EQ(box.Comments->text().count(QLatin1Char('\n')), 3) << "four lines";
    for (const QLabel* label : box.Panel1->findChildren<QLabel*>())
        EXPECT_TRUE(box.Panel1->rect().contains(label->geometry()))
            << label->objectName().toStdString();
    EXPECT_EQ(box.Panel1->findChildren<QLabel*>().size(), 4);
}

TEST(AboutBox, FixedDialogCentredOnTheScreen) {
    TAboutBox box;
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_FALSE(box.windowFlags() & Qt::WindowMinMaxButtonsHint);
    EXPECT_TRUE(box.OKButton->isDefault());
    EXPECT_EQ(box.OKButton->text(), QStringLiteral("OK"));
    const QPoint centre = box.screen()->availableGeometry().center();
    EXPECT_LE((box.geometry().center() - centre).manhattanLength(), 2);
    EXPECT_TRUE(box.geometry().contains(box.mapToParent(box.OKButton->geometry().bottomRight())));
}

TEST(AboutBox, OkTheEnterKeyOrTheCloseBoxEndItAndItIsDestroyed) {
    QWidget owner;
    int closed = 0;
    runAbout(owner, [&](TAboutBox& box) {
        box.OKButton->click();
        ++closed;
    });
    runAbout(owner, [&](TAboutBox& box) {
        QTest::keyClick(&box, Qt::Key_Return);
        ++closed;
    });
    runAbout(owner, [&](TAboutBox& box) {
        box.close();
        ++closed;
    });
    EXPECT_EQ(closed, 3);
    EXPECT_EQ(owner.findChild<TAboutBox*>(), nullptr);
}

} // namespace
} // namespace tarvik
