#include "platform/box_recorder.h"
#include "store/keyvalue.h"
#include "ui/widgets/form_placement.h"

#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace tarvik {
namespace {

const QString kSection = QStringLiteral("PhBookState");

// A window that refuses to close while `refuse` is set.
class Window final : public QWidget {
public:
    bool refuse = false;

protected:
    void closeEvent(QCloseEvent* event) override {
        if (refuse)
            event->ignore();
        else
            event->accept();
    }
};

class PlacementTest : public ::testing::Test {
protected:
    PlacementTest() {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        previous = setMessagePresenter(boxes);
    }
    ~PlacementTest() override {
        setMessagePresenter(previous);
        EXPECT_TRUE(boxes->boxes().isEmpty()) << boxes->boxes().first().text.toStdString();
    }

    static std::optional<QString> stored(const QString& name) {
        return StoreKey(mainKeyPath()).readString(kSection, name);
    }
    static void store(const QString& name, const QString& value) {
        StoreKey key(mainKeyPath());
        key.writeString(kSection, name, value);
        key.flush();
    }
    static void storePlacement(const QString& ppi, const QString& showCmd, const QString& normPos,
                               const QString& flags = QStringLiteral("0")) {
        store(QStringLiteral("PixelsPerInch"), ppi);
        store(QStringLiteral("ShowCmd"), showCmd);
        store(QStringLiteral("NormPos"), normPos);
        store(QStringLiteral("Flags"), flags);
    }

    // A window with its placement at the given pixels per inch.
    struct Placed {
        Window window;
        TFormPlacement* placement;
        Placed(int ppi, QSize minimum = {}, bool positionOnly = false)
            : placement(new TFormPlacement(&window, kSection, minimum, positionOnly)) {
            placement->setDpiSource([ppi] { return ppi; });
            window.resize(300, 200);
        }
    };

    QTemporaryDir config;
    std::shared_ptr<RecordingPresenter> boxes = std::make_shared<RecordingPresenter>();
    std::shared_ptr<MessagePresenter> previous;
};

TEST_F(PlacementTest, AWindowNeverShownSavesNothingAndKeepsItsMinimumSize) {
    {
        Placed placed(120, QSize(360, 250));
        EXPECT_EQ(placed.window.minimumSize(), QSize(360, 250));
        placed.window.resize(100, 100);
        EXPECT_EQ(placed.window.size(), QSize(360, 250));
        placed.window.close();
    }
    EXPECT_FALSE(StoreKey(mainKeyPath()).sectionExists(kSection));
}

TEST_F(PlacementTest, AnAcceptedCloseSavesEveryValueAndDestructionDoesNotSaveAgain) {
    {
        Placed placed(120);
        placed.window.show();
        placed.window.setGeometry(40, 50, 320, 210);
        QCoreApplication::processEvents();
        placed.window.close();
        EXPECT_EQ(stored(QStringLiteral("Flags")), QStringLiteral("0"));
        EXPECT_EQ(stored(QStringLiteral("ShowCmd")), QStringLiteral("1"));
        EXPECT_EQ(stored(QStringLiteral("PixelsPerInch")), QStringLiteral("120"));
        EXPECT_EQ(stored(QStringLiteral("MinMaxPos")), QStringLiteral("-1,-1,-1,-1"));
        EXPECT_EQ(stored(QStringLiteral("NormPos")), QStringLiteral("40,50,360,260"));
        EXPECT_EQ(stored(QStringLiteral("Visible")), QStringLiteral("0"));
        // Moved after the close: destruction must not overwrite what the close saved.
        placed.window.move(5, 5);
    }
    EXPECT_EQ(stored(QStringLiteral("Visible")), QStringLiteral("0"));
    EXPECT_EQ(stored(QStringLiteral("NormPos")), QStringLiteral("40,50,360,260"));
}

TEST_F(PlacementTest, HidingOrARefusedCloseSavesNothingUntilDestruction) {
    {
        Placed placed(120);
        placed.window.show();
        placed.window.setGeometry(70, 80, 300, 200);
        placed.window.hide();
        EXPECT_FALSE(stored(QStringLiteral("NormPos")));

        placed.window.show();
        placed.window.setGeometry(70, 80, 300, 200);
        placed.window.refuse = true;
        EXPECT_FALSE(placed.window.close());
        EXPECT_TRUE(placed.window.isVisible());
        EXPECT_FALSE(stored(QStringLiteral("NormPos")));
    }
    EXPECT_EQ(stored(QStringLiteral("NormPos")), QStringLiteral("70,80,370,280"));
    EXPECT_EQ(stored(QStringLiteral("Visible")), QStringLiteral("1"));
}

TEST_F(PlacementTest, EveryShowingRestoresWhatTheLastCloseSaved) {
    {
        Placed first(120);
        first.window.show();
        first.window.setGeometry(100, 110, 400, 300);
        first.window.close();
    }
    Placed second(120, QSize(350, 250));
    second.window.show();
    EXPECT_EQ(second.window.geometry(), QRect(100, 110, 400, 300));
    // Moved, then hidden without a close: the next showing puts it back.
    second.window.setGeometry(10, 10, 360, 260);
    second.window.hide();
    second.window.show();
    EXPECT_EQ(second.window.geometry(), QRect(100, 110, 400, 300));
    EXPECT_EQ(second.window.windowState(), Qt::WindowNoState);
}

TEST_F(PlacementTest, ASavedPlacementAtOtherPixelsPerInchIsIgnored) {
    storePlacement(QStringLiteral("96"), QStringLiteral("3"), QStringLiteral("100,110,500,410"));
    Placed placed(120);
    placed.window.setGeometry(20, 30, 300, 200);
    placed.window.show();
    EXPECT_EQ(placed.window.geometry(), QRect(20, 30, 300, 200));
    EXPECT_FALSE(placed.window.isMaximized());
}

TEST_F(PlacementTest, ShowCommandsRestoreTheWindowState) {
    struct Case {
        const char* showCmd;
        const char* flags;
        Qt::WindowStates state;
    };
    // Minimised (2, 6, 7) reads as restored: a window opened to be seen stays in view.
    for (const Case& c : {Case{"3", "0", Qt::WindowMaximized}, Case{"2", "0", Qt::WindowNoState},
                          Case{"6", "0", Qt::WindowNoState}, Case{"7", "0", Qt::WindowNoState},
                          Case{"2", "2", Qt::WindowMaximized}, Case{"1", "0", Qt::WindowNoState},
                          Case{"9", "0", Qt::WindowNoState}}) {
        SCOPED_TRACE(std::string(c.showCmd) + " flags " + c.flags);
        storePlacement(QStringLiteral("120"), QString::fromLatin1(c.showCmd),
                       QStringLiteral("100,110,500,410"), QString::fromLatin1(c.flags));
        Placed placed(120);
        placed.window.show();
        EXPECT_EQ(placed.window.windowState(), c.state);
        EXPECT_EQ(placed.window.normalGeometry(), QRect(100, 110, 400, 300));
        placed.window.close();
    }
}

TEST_F(PlacementTest, AWindowClosedWhileMinimisedOpensInViewWhereItWas) {
    for (const bool positionOnly : {false, true}) {
        SCOPED_TRACE(positionOnly ? "position only" : "position and size");
        {
            Placed placed(120, {}, positionOnly);
            placed.window.show();
            placed.window.setGeometry(60, 70, 320, 240);
            placed.window.showMinimized();
            QCoreApplication::processEvents();
            placed.window.close();
        }
        EXPECT_EQ(stored(QStringLiteral("ShowCmd")), QStringLiteral("2"))
            << "the record tells how the window was left";
        Placed again(120, {}, positionOnly);
        again.window.show();
        EXPECT_FALSE(again.window.isMinimized());
        EXPECT_EQ(again.window.geometry().topLeft(), QPoint(60, 70));
        again.window.close();
    }
}

TEST_F(PlacementTest, AMaximisedWindowSavesItsNormalRectangle) {
    {
        Placed placed(120);
        placed.window.show();
        placed.window.setGeometry(60, 70, 320, 240);
        placed.window.showMaximized();
        QCoreApplication::processEvents();
        placed.window.close();
    }
    EXPECT_EQ(stored(QStringLiteral("ShowCmd")), QStringLiteral("3"));
    EXPECT_EQ(stored(QStringLiteral("NormPos")), QStringLiteral("60,70,380,310"));
}

TEST_F(PlacementTest, PositionOnlyKeepsTheSizeAndNeverMaximises) {
    storePlacement(QStringLiteral("120"), QStringLiteral("3"), QStringLiteral("100,110,500,410"));
    Placed placed(120, {}, true);
    placed.window.setFixedSize(345, 289);
    placed.window.show();
    EXPECT_EQ(placed.window.geometry(), QRect(100, 110, 345, 289));
    EXPECT_FALSE(placed.window.isMaximized());
}

TEST_F(PlacementTest, GarbledValuesAreSkipped) {
    storePlacement(QStringLiteral("120"), QStringLiteral("x"), QStringLiteral("1,2,3"));
    Placed placed(120);
    placed.window.setGeometry(20, 30, 300, 200);
    placed.window.show();
    EXPECT_EQ(placed.window.geometry(), QRect(20, 30, 300, 200));
    EXPECT_EQ(placed.window.windowState(), Qt::WindowNoState);
}

// A dialog ended by accept() or by its close box counts as a close.
TEST_F(PlacementTest, ADialogSavesWhenItEnds) {
    for (const bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "accept");
        QFile::remove(mainKeyPath());
        QDialog dialog;
        auto* placement = new TFormPlacement(&dialog, kSection);
        placement->setDpiSource([] { return 120; });
        dialog.setGeometry(30, 40, 250, 280);
        QTimer::singleShot(0, &dialog, [&] {
            if (closeBox)
                dialog.close();
            else
                dialog.accept();
        });
        dialog.exec();
        EXPECT_EQ(stored(QStringLiteral("NormPos")), QStringLiteral("30,40,280,320"));
        EXPECT_EQ(stored(QStringLiteral("Visible")), QStringLiteral("0"));
    }
}

} // namespace
} // namespace tarvik
