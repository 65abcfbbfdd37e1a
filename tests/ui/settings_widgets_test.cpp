#include "platform/errors.h"
#include "store/colors.h"
#include "ui/widgets/color_combo.h"
#include "ui/widgets/colors_qt.h"
#include "ui/widgets/filename_edit.h"
#include "ui/widgets/spin_edit.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace tarvik {
namespace {

// A shown, active window holding a spin edit and a second field to move the
// focus to.
class SpinEditTest : public ::testing::Test {
protected:
    SpinEditTest() {
        auto* layout = new QVBoxLayout(&window);
        spin = new TRxSpinEdit(&window);
        other = new QLineEdit(&window);
        layout->addWidget(spin);
        layout->addWidget(other);
        spin->setRange(1, 8);
        previousBeep = setInputRefusedBeep([this] { ++beeps; });
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        spin->setFocus();
    }
    ~SpinEditTest() override { setInputRefusedBeep(previousBeep); }

    void typeOver(const QString& text) {
        spin->selectAll();
        QTest::keyClicks(spin, text);
    }

    QWidget window;
    TRxSpinEdit* spin;
    QLineEdit* other;
    int beeps = 0;
    std::function<void()> previousBeep;
};

TEST_F(SpinEditTest, SetValuesOutsideTheRangeShowTheNearestBound) {
    spin->setValue(0);
    EXPECT_EQ(spin->text(), QStringLiteral("1"));
    spin->setValue(9);
    EXPECT_EQ(spin->text(), QStringLiteral("8"));
    spin->setRange(1200, 115200);
    spin->setValue(300);
    EXPECT_EQ(spin->value(), 1200);
    spin->setValue(57601);
    EXPECT_EQ(spin->value(), 57601) << "any whole number in the range, not a list of rates";
}

TEST_F(SpinEditTest, ATypedValueOutsideTheRangeIsPulledInWhenTheFocusLeaves) {
    typeOver(QStringLiteral("9"));
    EXPECT_EQ(spin->text(), QStringLiteral("9"));
    EXPECT_EQ(spin->value(), 8);
    other->setFocus();
    EXPECT_EQ(spin->text(), QStringLiteral("8"));

    spin->setRange(1200, 115200);
    spin->setFocus();
    typeOver(QStringLiteral("300"));
    EXPECT_EQ(spin->text(), QStringLiteral("300")) << "typing passes through lower numbers";
    other->setFocus();
    EXPECT_EQ(spin->text(), QStringLiteral("1200"));
}

TEST_F(SpinEditTest, TextThatIsNoWholeNumberReadsAsTheMinimum) {
    spin->setRange(2, 8);
    spin->setValue(5);
    typeOver(QStringLiteral("-"));
    EXPECT_EQ(spin->value(), 2);
    other->setFocus();
    EXPECT_EQ(spin->text(), QStringLiteral("2"));
    EXPECT_EQ(beeps, 0) << "signs are allowed characters";
}

TEST_F(SpinEditTest, OtherCharactersAreRefusedWithABeep) {
    spin->setRange(1200, 115200);
    spin->setValue(9600);
    QTest::keyClicks(spin, QStringLiteral("a.x "));
    EXPECT_EQ(beeps, 4);
    EXPECT_EQ(spin->text(), QStringLiteral("9600"));
    QTest::keyClick(spin, Qt::Key_Backspace);
    QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(beeps, 4) << "control keys pass";
}

TEST_F(SpinEditTest, OneCharacterFieldAndStepsWithinTheRange) {
    spin->setMaxLength(1);
    typeOver(QStringLiteral("78"));
    EXPECT_EQ(spin->text(), QStringLiteral("7"));
    QTest::keyClick(spin, Qt::Key_Up);
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->value(), 8);
    spin->setValue(2);
    QTest::keyClick(spin, Qt::Key_Down);
    QTest::keyClick(spin, Qt::Key_Down);
    EXPECT_EQ(spin->value(), 1);
}

TEST(ColorComboBox, SixteenSwatchesInTheirOrderWithoutNames) {
    TColorComboBox box(clLime);
    const TColor expected[] = {clBlack, clMaroon,  clGreen,  clOlive, clNavy, clPurple,
                               clTeal,  clGray,    clSilver, clRed,   clLime, clYellow,
                               clBlue,  clFuchsia, clAqua,   clWhite};
    ASSERT_EQ(box.count(), 16);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(box.itemData(i).toInt(), expected[i]) << i;
        EXPECT_TRUE(box.itemText(i).isEmpty()) << i;
    }
}

TEST(ColorComboBox, AColourNotAmongTheSixteenKeepsTheDesignedOne) {
    TColorComboBox box(clLime);
    EXPECT_EQ(box.colorValue(), clLime);
    box.setColorValue(clNavy);
    EXPECT_EQ(box.colorValue(), clNavy);

    TColorComboBox other(clYellow);
    for (const TColor odd : {TColor(0x030201), clBtnShadow, clNone}) {
        other.setColorValue(odd);
        EXPECT_EQ(other.colorValue(), clYellow) << odd;
    }
}

TEST(ColorComboBox, TheFaceShowsTheChosenColour) {
    TColorComboBox box(clBlack);
    box.resize(150, 24);
    box.setColorValue(clFuchsia);
    const QImage face = box.grab().toImage();
    QStyleOptionComboBox option;
    option.initFrom(&box);
    const QRect field = box.style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                    QStyle::SC_ComboBoxEditField, &box);
    EXPECT_EQ(face.pixelColor(field.center()), toQColor(clFuchsia));
}

TEST(FileNameRule, ANameWithABlankIsQuotedAndReadBackWhole) {
    QTemporaryDir dir;
    const QString spaced = dir.path() + QStringLiteral("/my ring.wav");
    EXPECT_EQ(quotedFileName(spaced), QLatin1Char('"') + spaced + QLatin1Char('"'));
    EXPECT_EQ(quotedFileName(QStringLiteral("/tmp/ring.wav")), QStringLiteral("/tmp/ring.wav"));

    // Missing file: the first word, the quoted part as one word without quotes.
    EXPECT_EQ(clipFileName(quotedFileName(spaced)), spaced);
    EXPECT_EQ(clipFileName(spaced), dir.path() + QStringLiteral("/my"));
    EXPECT_EQ(clipFileName(QStringLiteral("  /tmp/a.wav more")), QStringLiteral("/tmp/a.wav"));
    EXPECT_EQ(clipFileName(QStringLiteral("/x/\"a b\"c.wav tail")), QStringLiteral("/x/a bc.wav"));
    EXPECT_EQ(clipFileName(QString()), QString());

    // An existing file is taken whole, blanks and all.
    QFile file(spaced);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(clipFileName(spaced), spaced);
    EXPECT_EQ(clipFileName(dir.path() + QStringLiteral(" x")), dir.path()) << "a folder is no file";
}

TEST(FilenameEdit, RefusesNamesWithReservedCharacters) {
    TFilenameEdit edit;
    edit.setFileName(QStringLiteral("/tmp/old.wav"));
    for (const QString& name :
         {QStringLiteral("/tmp/a<b.wav"), QStringLiteral("a>b"), QStringLiteral("say \"hi\".wav"),
          QStringLiteral("[x].wav"), QStringLiteral("x].wav"), QStringLiteral("a|b")}) {
        try {
            edit.setFileName(name);
            ADD_FAILURE() << "accepted " << name.toStdString();
        } catch (const TarvikError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("Invalid file name - ") + name);
        }
    }
    EXPECT_EQ(edit.text(), QStringLiteral("/tmp/old.wav"));
    edit.setFileName(QString());
    EXPECT_EQ(edit.text(), QString());
}

TEST(FilenameEdit, FilterIsShownAsNameFilters) {
    TFilenameEdit edit;
    edit.setFilter(QStringLiteral("Sound-Files (*.wav)|*.wav"));
    EXPECT_EQ(edit.nameFilters(), QStringList{QStringLiteral("Sound-Files (*.wav)")});
    edit.setFilter(QStringLiteral("Logs|*.log;*.txt|All|*"));
    EXPECT_EQ(edit.nameFilters(),
              (QStringList{QStringLiteral("Logs (*.log *.txt)"), QStringLiteral("All (*)")}));
}

class BrowseTest : public ::testing::Test {
protected:
    BrowseTest() {
        previous = setFileBrowser([this](QWidget*, const FileBrowseRequest& request) {
            requests << request;
            return answer;
        });
    }
    ~BrowseTest() override { setFileBrowser(previous); }

    QList<FileBrowseRequest> requests;
    std::optional<QString> answer;
    FileBrowser previous;
};

TEST_F(BrowseTest, TheButtonStartsInTheInitialFolderAndTakesTheChosenName) {
    TFilenameEdit sound;
    sound.setHandledAsFileName(true);
    sound.setFilter(QStringLiteral("Sound-Files (*.wav)|*.wav"));
    sound.setInitialDir(QStringLiteral("/opt/tarvik/"));
    sound.setFileName(QStringLiteral("/opt/tarvik/ring.wav"));
    answer = QStringLiteral("/home/u/My Sounds/bell.wav");
    sound.button()->click();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].directory, QStringLiteral("/opt/tarvik/"));
    EXPECT_EQ(requests[0].selected, QStringLiteral("ring.wav"));
    EXPECT_EQ(requests[0].nameFilters, QStringList{QStringLiteral("Sound-Files (*.wav)")});
    EXPECT_EQ(sound.text(), QStringLiteral("\"/home/u/My Sounds/bell.wav\""));
    EXPECT_EQ(sound.fileName(), QStringLiteral("/home/u/My Sounds/bell.wav"));

    answer.reset();
    sound.button()->click();
    EXPECT_EQ(sound.fileName(), QStringLiteral("/home/u/My Sounds/bell.wav")) << "cancelled";
}

TEST_F(BrowseTest, APlainBoxTakesTheNameAsItIsAndStartsAtItsFile) {
    TFilenameEdit log;
    log.setText(QStringLiteral("/var/log/my calls/tarvik.log"));
    answer = QStringLiteral("/home/u/call log.txt");
    log.button()->click();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].directory, QStringLiteral("/var/log/my calls"));
    EXPECT_EQ(requests[0].selected, QStringLiteral("tarvik.log"));
    EXPECT_TRUE(requests[0].nameFilters.isEmpty());
    EXPECT_EQ(log.text(), QStringLiteral("/home/u/call log.txt"));
}

TEST(FilenameEdit, TheDefaultBrowserIsAFileDialogWithTheFilterAndFolder) {
    QTemporaryDir dir;
    TFilenameEdit sound;
    sound.setHandledAsFileName(true);
    sound.setFilter(QStringLiteral("Sound-Files (*.wav)|*.wav"));
    sound.setInitialDir(dir.path());
    QStringList filters;
    QString folder;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        folder = dialog->directory().absolutePath();
        dialog->reject();
    });
    sound.Browse();
    EXPECT_EQ(filters, QStringList{QStringLiteral("Sound-Files (*.wav)")});
    EXPECT_EQ(folder, QDir(dir.path()).absolutePath());
    EXPECT_TRUE(sound.text().isEmpty());
}

} // namespace
} // namespace tarvik
