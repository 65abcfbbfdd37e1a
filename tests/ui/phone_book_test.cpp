#include "platform/box_recorder.h"
#include "platform/errors.h"
#include "store/codepage.h"
#include "store/keyvalue.h"
#include "store/phonebook.h"
#include "ui/phb_frm.h"
#include "ui/phit_frm.h"
#include "ui/widgets/design_scale.h"
#include "ui/widgets/ext_list_view.h"
#include "ui/widgets/panel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

namespace tarvik {
namespace {

// A click followed by the double click the system makes of a second press.
void doubleClick(QWidget* widget, QPoint at) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    QMouseEvent second(QEvent::MouseButtonDblClick, at, widget->mapToGlobal(at), Qt::LeftButton,
                       Qt::LeftButton, {});
    QApplication::sendEvent(widget, &second);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
}

// What the entry dialog showed when it came up.
struct Seen {
    QString caption, phone, name, notes;
    int status = -1;
    bool operator==(const Seen&) const = default;
};

// A private store and program folder, a box recorder, a stand-in for the main
// window and the host the shell would own.
class PhoneBookTest : public ::testing::Test {
protected:
    struct Environment {
        explicit Environment(const QTemporaryDir& dir) {
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
            QDir().mkpath(dir.filePath("program"));
        }
    };

    PhoneBookTest() { previous = setMessagePresenter(boxes); }
    ~PhoneBookTest() override { setMessagePresenter(previous); }

    void writeBook(const QList<PhoneItem>& items, const QByteArray& tail = {}) {
        QByteArray bytes;
        for (const PhoneItem& item : items)
            bytes += encodePhoneRecord(item);
        QFile file(phoneBookPath(programDir));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes + tail);
    }
    QList<QByteArray> fileColumn(const std::function<QByteArray(const PhoneItem&)>& field) const {
        QFile file(phoneBookPath(programDir));
        if (!file.open(QIODevice::ReadOnly)) return {};
        const QByteArray bytes = file.readAll();
        QList<QByteArray> values;
        for (qsizetype at = 0; at + kPhoneRecordSize <= bytes.size(); at += kPhoneRecordSize)
            values << field(decodePhoneRecord(bytes.constData() + at));
        return values;
    }
    // The file's entries as "phone|name|STATUS", in text order.
    QList<QByteArray> fileEntries() const {
        QList<QByteArray> entries = fileColumn([](const PhoneItem& item) {
            return item.Phone + '|' + item.Name + '|' + StatusToText(item.Status);
        });
        std::ranges::sort(entries);
        return entries;
    }
    TPhoneForm& open() {
        host.btnPhoneBookClick();
        EXPECT_NE(host.PhoneForm(), nullptr);
        return *host.PhoneForm();
    }
    TExtListView& list() { return *host.PhoneForm()->PhoneList; }
    QList<QByteArray> column(int index) {
        QList<QByteArray> values;
        for (int row = 0; row < list().rowCount(); ++row)
            values << list().cell(row, index);
        return values;
    }
    int rowOf(const QByteArray& phone) { return int(column(0).indexOf(phone)); }
    void clickHeader(int section) {
        QHeaderView* header = list().header();
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(section) + 4, header->height() / 2));
    }
    // Runs `run`; once the entry dialog's modal loop runs, `act` fills or
    // closes it. Returns what the dialog showed, or nothing when it never came up.
    std::optional<Seen> withDialog(const std::function<void()>& run,
                                   const std::function<void(TPhItemForm&)>& act) {
        std::optional<Seen> seen;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (!entry.isVisible()) return;
            seen = Seen{entry.windowTitle(), entry.ePhone->text(), entry.eName->text(),
                        entry.eNotes->text(), entry.statusIndex()};
            act(entry);
        });
        timer.start(0);
        run();
        return seen;
    }
    std::optional<Seen> withDialog(void (TPhoneForm::*handler)(),
                                   const std::function<void(TPhItemForm&)>& act) {
        return withDialog([this, handler] { (host.PhoneForm()->*handler)(); }, act);
    }
    static void typeName(TPhItemForm& dialog, const QString& name) {
        dialog.eName->clear();
        QTest::keyClicks(dialog.eName, name);
    }
    static void pressOk(TPhItemForm& dialog) { QTest::keyClick(dialog.ePhone, Qt::Key_Return); }
    static void pressEscape(TPhItemForm& dialog) { QTest::keyClick(dialog.eName, Qt::Key_Escape); }

    QTemporaryDir temp;
    Environment environment{temp};
    QString programDir = temp.filePath("program") + '/';
    std::shared_ptr<RecordingPresenter> boxes = std::make_shared<RecordingPresenter>();
    std::shared_ptr<MessagePresenter> previous;
    QWidget mainWindow;
    TPhItemForm entry;
    QList<QByteArray> dialed;
    PhoneBookHost host{&mainWindow, programDir, entry,
                       [this](const QByteArray& phone) { dialed << phone; }};
};

const QList<PhoneItem> kThree = {
    {"300", "Anna", "n1", psGood}, {"100", "Viktor", "n2", psBad}, {"200", "Boris", "n3", psPrio}};

TEST_F(PhoneBookTest, WindowAndDialogLayout) {
    writeBook(kThree);
    TPhoneForm& form = open();
    const DesignScale s(form);
    EXPECT_EQ(form.windowTitle(), "Phone Book");
    EXPECT_EQ(form.parentWidget(), &mainWindow);
    EXPECT_EQ(form.minimumSize(), s(360, 250));
    EXPECT_EQ(entry.minimumWidth(), s(250));
    for (const QPushButton* key : {form.btnAddPhone, form.btnEditPhone, form.btnDelPhone})
        EXPECT_NE(key->icon().pixmap(16).toImage(),
                  key->icon().pixmap(16, QIcon::Disabled).toImage())
            << "two-state glyph";
    form.resize(s(500), s(400));
    EXPECT_EQ(form.pnPhListKeys->geometry(), QRect(s(500) - s(108), 0, s(108), s(400)));
    EXPECT_EQ(form.btnPhCancel->y(), s(400) - s(35));
    EXPECT_EQ(list().columnCaption(3), "Status");
    EXPECT_EQ(list().columnWidth(0), s(100));
    EXPECT_EQ(column(0), (QList<QByteArray>{"100", "200", "300"})) << "sorted by Phone";
    EXPECT_EQ(column(3), (QList<QByteArray>{"BAD", "PRIO", "GOOD"}));

    EXPECT_EQ(entry.ePhone->maxLength(), 40);
    EXPECT_EQ(entry.eNotes->maxLength(), 60);
    EXPECT_TRUE(entry.btnPhItOK->isDefault());
    QStringList chain;
    for (QWidget* w = entry.ePhone; chain.size() < 6; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
    EXPECT_EQ(chain, (QStringList{"ePhone", "eName", "eNotes", "btnPhItOK", "btnPhItCancel",
                                  "gbStatus0"}));
    // Two columns filled downwards.
    auto* grid = qobject_cast<QGridLayout*>(entry.gbStatus->layout());
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(static_cast<QRadioButton*>(grid->itemAtPosition(1, 0)->widget())->text(), "NORMAL");
    EXPECT_EQ(static_cast<QRadioButton*>(grid->itemAtPosition(0, 1)->widget())->text(), "GOOD");
}

TEST_F(PhoneBookTest, AddTakesItsSortedPlaceAndTheDialogStartsEmpty) {
    writeBook(kThree);
    open();
    clickHeader(1);
    clickHeader(1); // Name, descending
    ASSERT_EQ(column(1), (QList<QByteArray>{"Viktor", "Boris", "Anna"}));

    list().selectRow(rowOf("200"));
    withDialog(&TPhoneForm::btnEditPhoneClick, pressEscape); // leaves filled fields behind
    const auto seen = withDialog(&TPhoneForm::btnAddPhoneClick, [](TPhItemForm& dialog) {
        QTest::keyClicks(dialog.ePhone, "400");
        typeName(dialog, "Dmitri");
        dialog.gbStatus->findChild<QRadioButton*>("gbStatus2")->click();
        pressOk(dialog);
    });
    EXPECT_EQ(seen, (Seen{"Add phone item...", "", "", "", psNormal}));
    EXPECT_EQ(column(1), (QList<QByteArray>{"Viktor", "Dmitri", "Boris", "Anna"}));
    EXPECT_EQ(list().cell(1, 3), "GOOD");

    // Cancel and the close box add nothing.
    withDialog(&TPhoneForm::btnAddPhoneClick, [](TPhItemForm& dialog) {
        typeName(dialog, "Zoe");
        pressEscape(dialog);
    });
    withDialog(&TPhoneForm::btnAddPhoneClick, [](TPhItemForm& dialog) {
        typeName(dialog, "Zoe");
        dialog.close();
    });
    EXPECT_EQ(list().rowCount(), 4);
}

TEST_F(PhoneBookTest, EditShowsTheRowWritesItBackAndKeepsItsPlace) {
    writeBook(kThree);
    open();
    EXPECT_FALSE(withDialog(&TPhoneForm::btnEditPhoneClick, pressOk)) << "nothing selected";

    clickHeader(1); // Name: Anna, Boris, Viktor
    list().selectRow(2);
    // The edit holds its row number: the caller's items move no row under it.
    const auto edit = [this] { host.PhoneForm()->btnEditPhone->click(); };
    const auto seen = withDialog(edit, [this](TPhItemForm& dialog) {
        EXPECT_FALSE(host.addCaller("5")) << "the dialog is in use";
        EXPECT_TRUE(host.markBad("150"));
        typeName(dialog, "Aaron");
        pressOk(dialog);
    });
    EXPECT_EQ(seen, (Seen{"Edit phone item...", "100", "Viktor", "n2", psBad}));
    EXPECT_EQ(column(1), (QList<QByteArray>{"Anna", "Boris", "Aaron", ""})) << "not re-sorted";
    EXPECT_EQ(column(0), (QList<QByteArray>{"300", "200", "100", "150"}));
    EXPECT_EQ(list().cell(2, 3), "BAD");

    withDialog(&TPhoneForm::btnEditPhoneClick, [](TPhItemForm& dialog) {
        typeName(dialog, "Nobody");
        pressEscape(dialog);
    });
    EXPECT_EQ(list().cell(2, 1), "Aaron");

    // A status text that no dialog makes opens as NORMAL and is saved so.
    list().appendRow("500", "Odd", "", "good");
    list().selectRow(rowOf("500"));
    EXPECT_EQ(withDialog(&TPhoneForm::btnEditPhoneClick, pressOk)->status, psNormal);
    EXPECT_EQ(list().cell(rowOf("500"), 3), "NORMAL");
}

// The caller into the book: the file has it at once, an open window's save keeps
// it. Mark as BAD takes the first match in the book's order (the window's: by
// number), not the equal one; Add fills the dialog, and only OK adds.
TEST_F(PhoneBookTest, CallerIntoTheBookWithItsWindowOpenOrClosed) {
    const QList<PhoneItem> book = {{"1234", "A", "", psPrio},
                                   {"4951234567", "B", "", psGood},
                                   {"84951234567", "C", "", psGood}};
    const QByteArray a = "1234|A|PRIO", b = "4951234567|B|GOOD", c = "84951234567|C|GOOD";
    const auto okAsZoe = [](TPhItemForm& dialog) {
        typeName(dialog, "Zoe");
        dialog.gbStatus->findChild<QRadioButton*>("gbStatus3")->click();
        pressOk(dialog);
    };
    const struct {
        const char* caller;
        std::function<void(TPhItemForm&)> addWith; // none: Mark as BAD
        QList<QByteArray> after;                   // in text order
    } rows[] = {
        {"84951234567", {}, {a, "4951234567|B|BAD", c}},
        {"1234", {}, {"1234|A|BAD", b, c}},
        {"71234", {}, {a, b, "71234||BAD", c}}, // too short to match by its end
        {"5551234567", pressEscape, {a, b, c}},
        {"5551234567", okAsZoe, {a, b, "5551234567|Zoe|PRIO", c}},
    };
    for (const bool windowOpen : {false, true})
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.caller) + (windowOpen ? ", window open" : ""));
            writeBook(book);
            if (windowOpen) open();
            if (row.addWith)
                EXPECT_EQ(withDialog([&] { host.addCaller(row.caller); }, row.addWith),
                          (Seen{"Add phone item...", row.caller, "", "", psNormal}));
            else
                EXPECT_TRUE(host.markBad(row.caller));
            EXPECT_EQ(fileEntries(), row.after);
            if (windowOpen) host.btnPhoneBookClick();
            EXPECT_EQ(fileEntries(), row.after);
        }
}

TEST_F(PhoneBookTest, CyrillicBytesShowAsTextAndTypedTextSavesAsBytes) {
    const QByteArray ivanov = toCp1251(u"Иванов");
    writeBook({{"1", ivanov, "", psNormal}});
    open();
    EXPECT_EQ(list().model()->index(0, 1).data().toString(), QStringLiteral("Иванов"));
    list().selectRow(0);
    const auto seen = withDialog(&TPhoneForm::btnEditPhoneClick, [](TPhItemForm& dialog) {
        dialog.eNotes->setText(QStringLiteral("Сосед"));
        pressOk(dialog);
    });
    EXPECT_EQ(seen->name, QStringLiteral("Иванов"));
    host.btnPhoneBookClick();
    EXPECT_EQ(fileColumn(&PhoneItem::Notes), (QList<QByteArray>{toCp1251(u"Сосед")}));
    EXPECT_EQ(fileColumn(&PhoneItem::Name), (QList<QByteArray>{ivanov}));
}

TEST_F(PhoneBookTest, DeleteAsksAndOnlyYesDeletes) {
    writeBook({{toCp1251(u"112 доб"), "", "", psNormal}, {"2", "", "", psNormal}});
    TPhoneForm& form = open();
    form.btnDelPhoneClick();
    EXPECT_TRUE(boxes->boxes().isEmpty()) << "nothing selected";

    list().selectRow(rowOf(toCp1251(u"112 доб")));
    boxes->setYesNoAnswer(BoxResult::No);
    form.btnDelPhone->click();
    ASSERT_EQ(boxes->boxes().size(), 1);
    const BoxRequest asked = boxes->boxes().first();
    EXPECT_EQ(asked.caption, "Confirm");
    EXPECT_EQ(asked.text, QStringLiteral("Удалить запись?\r112 доб"));
    EXPECT_EQ(asked.icon, BoxIcon::Question);
    EXPECT_EQ(asked.buttons, BoxButtons::YesNo);
    EXPECT_EQ(list().rowCount(), 2);

    boxes->setYesNoAnswer(BoxResult::Yes);
    form.miDelPh->trigger();
    EXPECT_EQ(column(0), (QList<QByteArray>{"2"}));
}

TEST_F(PhoneBookTest, DialCurrentDialsTheWholeNumber) {
    writeBook({{"123456789012", "Long", "", psNormal}, {"5", "Short", "", psNormal}});
    TPhoneForm& form = open();
    form.miDialCurrent->trigger();
    EXPECT_TRUE(dialed.isEmpty()) << "nothing selected";

    const int row = rowOf("123456789012");
    list().selectRow(row);
    form.miDialCurrent->trigger();
    const QRect cell = list().rowRect(row);
    doubleClick(list().viewport(), cell.center());
    EXPECT_EQ(dialed, (QList<QByteArray>{"123456789012", "123456789012"}));
    EXPECT_EQ(host.PhoneForm(), &form);
    EXPECT_TRUE(form.isVisible());
}

TEST_F(PhoneBookTest, EscapeAsksToCloseAndTheIdlePassSavesAndDestroys) {
    TPhoneForm& form = open();
    list().appendRow("7", "Seven", "", "PRIO");
    host.runDeferredClose();
    ASSERT_NE(host.PhoneForm(), nullptr) << "no request yet";

    QTest::keyClick(&list(), Qt::Key_Escape);
    EXPECT_EQ(form.ModalResult, TPhoneForm::mrCancel);
    EXPECT_TRUE(fileColumn(&PhoneItem::Phone).isEmpty()) << "saved only when carried out";
    host.runDeferredClose();
    EXPECT_EQ(host.PhoneForm(), nullptr);
    EXPECT_EQ(fileColumn(&PhoneItem::Phone), (QList<QByteArray>{"7"}));

    open().miClosePh->trigger();
    EXPECT_EQ(host.PhoneForm()->ModalResult, TPhoneForm::mrCancel);
}

TEST_F(PhoneBookTest, CloseBoxHidesAndSavesThenPhonesClosesThenReopensFromTheFile) {
    writeBook(kThree);
    TPhoneForm& form = open();
    list().appendRow("400", "", "", "");
    form.close(); // the title bar's close box
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(host.PhoneForm(), &form) << "kept";
    EXPECT_EQ(fileColumn(&PhoneItem::Phone).size(), 4);

    list().appendRow("500", "", "", "");
    host.btnPhoneBookClick();
    EXPECT_EQ(host.PhoneForm(), nullptr) << "the press opens nothing";
    EXPECT_EQ(fileColumn(&PhoneItem::Phone).size(), 5) << "and saves again";

    writeBook({{"999", "", "", psNormal}});
    EXPECT_TRUE(open().isVisible());
    EXPECT_EQ(column(0), (QList<QByteArray>{"999"}));
}

TEST_F(PhoneBookTest, MainWindowCloseAndProgramEndKeepTheEdits) {
    TPhoneForm& form = open();
    form.hide();
    host.requestCloseIfVisible();
    EXPECT_EQ(form.ModalResult, TPhoneForm::mrNone) << "not visible";
    form.show();
    list().appendRow("1", "", "", "");
    host.requestCloseIfVisible();
    EXPECT_EQ(form.ModalResult, TPhoneForm::mrCancel);
    // The idle handler never runs again; the end of the program saves.
    host.closeAtProgramEnd();
    EXPECT_EQ(host.PhoneForm(), nullptr);
    EXPECT_EQ(fileColumn(&PhoneItem::Phone), (QList<QByteArray>{"1"}));

    {
        PhoneBookHost ending(&mainWindow, programDir, entry, {});
        ending.btnPhoneBookClick();
        ending.PhoneForm()->PhoneList->appendRow("2", "", "", "");
    }
    EXPECT_EQ(fileColumn(&PhoneItem::Phone), (QList<QByteArray>{"1", "2"}));
}

TEST_F(PhoneBookTest, PhonesPressedDuringADialFromTheBookWaitsForTheDial) {
    writeBook({{"5", "", "", psNormal}});
    // The dial waits with the main window live: there "&Phones" is pressed.
    PhoneBookHost* self = nullptr;
    PhoneBookHost busyHost(&mainWindow, programDir, entry,
                           [&self](const QByteArray&) { self->btnPhoneBookClick(); });
    self = &busyHost;
    busyHost.btnPhoneBookClick();
    TPhoneForm* form = busyHost.PhoneForm();
    form->PhoneList->appendRow("6", "", "", "");
    form->PhoneList->selectRow(0);
    form->miDialCurrent->trigger();
    EXPECT_EQ(busyHost.PhoneForm(), form) << "not destroyed under its own handler";
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(fileColumn(&PhoneItem::Phone).size(), 2) << "saved at once";
    busyHost.runDeferredClose();
    EXPECT_EQ(busyHost.PhoneForm(), nullptr);
}

TEST_F(PhoneBookTest, PopupMenuItemsAndImages) {
    TPhoneForm& form = open();
    QStringList captions;
    for (QAction* item : form.PopPhB->actions())
        captions << (item->isSeparator() ? QStringLiteral("-") : item->text());
    EXPECT_EQ(captions, (QStringList{"&Dial current", "-", "&Add phone", "&Edit phone",
                                     "De&lete phone", "-", "&Close Phone Book"}));
    EXPECT_EQ(form.PopPhB->defaultAction(), form.miDialCurrent);
    EXPECT_TRUE(form.miDialCurrent->font().bold());

    ASSERT_EQ(form.PopImgLst.size(), 4);
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            EXPECT_NE(form.PopImgLst[i].pixmap(16).toImage(),
                      form.PopImgLst[j].pixmap(16).toImage());
    form.PopPhB->popup(form.mapToGlobal(QPoint(10, 10)));
    const QList<int> expected = {3, -1, 0, 1, 2, -1, -1};
    for (int i = 0; i < expected.size(); ++i) {
        QAction* item = form.PopPhB->actions()[i];
        EXPECT_EQ(form.PopPhBGetImageIndex(item), expected[i]) << item->objectName().toStdString();
        EXPECT_EQ(item->icon().isNull(), expected[i] < 0);
        if (expected[i] >= 0) {
            EXPECT_EQ(item->icon().pixmap(16).toImage(),
                      form.PopImgLst[expected[i]].pixmap(16).toImage());
        }
    }
    form.PopPhB->hide();
}

TEST_F(PhoneBookTest, IncompleteTailOpensTheWholeRecordsAndReports) {
    writeBook({{"2", "", "", psNormal}, {"1", "", "", psNormal}}, QByteArray(50, 'x'));
    setApplicationTitle("TARVIK");
    TPhoneForm& form = open();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(column(0), (QList<QByteArray>{"2", "1"})) << "in file order";
    ASSERT_EQ(boxes->boxes().size(), 1);
    EXPECT_EQ(boxes->boxes()[0].caption, "TARVIK");
    EXPECT_EQ(boxes->boxes()[0].icon, BoxIcon::Error);
}

TEST_F(PhoneBookTest, SortsNumbersAsNumbersAndDatesAsDates) {
    writeBook({{"100", "b", "15.12.2022", psNormal},
               {"20", "A", "02.01.2023 9:05", psNormal},
               {"3", "a", "01.03.2023", psNormal},
               {"1000", "B", "02.01.2023 10:00", psNormal}});
    open();
    list().setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    EXPECT_EQ(column(0), (QList<QByteArray>{"3", "20", "100", "1000"}));
    clickHeader(2);
    EXPECT_EQ(column(2), (QList<QByteArray>{"15.12.2022", "02.01.2023 9:05", "02.01.2023 10:00",
                                            "01.03.2023"}));
    EXPECT_TRUE(list().sortAscending());
    EXPECT_EQ(list().header()->sortIndicatorOrder(), Qt::DescendingOrder) << "arrow reversed";
    clickHeader(2);
    EXPECT_EQ(column(2).first(), "01.03.2023");
    EXPECT_EQ(list().header()->sortIndicatorOrder(), Qt::AscendingOrder);
    clickHeader(1);
    // Letter case counts: no two of these compare equal.
    const QList<QByteArray> names = column(1);
    EXPECT_EQ(QSet<QByteArray>(names.begin(), names.end()).size(), 4);
    // Each name there, and in its place: a missing one is no order.
    const auto before = [&names](const char* first, const char* second) {
        const qsizetype at = names.indexOf(first);
        return at >= 0 && at < names.indexOf(second);
    };
    EXPECT_TRUE(before("a", "b") && before("A", "B")) << names.join(' ').toStdString();
    EXPECT_TRUE(before("a", "B")) << "the locale's order, not the code's";
}

TEST(ListTextOrder, LocaleRules) {
    const ListTextOrder us(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_GT(us.compare("12/1/22", "2/11/22"), 0) << "month first";
    EXPECT_GT(us.compare("1:00 PM", "11:00 AM"), 0);
    EXPECT_LT(us.compare("9", "10"), 0);
    EXPECT_LT(us.compare("1,000", "999"), 0) << "a group separator makes it text";
    EXPECT_GT(us.compare("2/30/23", "10/1/23"), 0) << "no such date: text order";
    const ListTextOrder ru(QLocale(QLocale::Russian, QLocale::Russia));
    EXPECT_LT(ru.compare("9,5", "10"), 0);
    EXPECT_EQ(ru.dateSeparator(), '.');
    EXPECT_EQ(ru.timeSeparator(), ':');
    EXPECT_EQ(ru.toDateTime("31.12.99")->date(), QDate(1999, 12, 31));
    EXPECT_FALSE(ru.toNumber("nan"));
    EXPECT_NE(ru.compare("Иванов", "иванов"), 0);
}

TEST_F(PhoneBookTest, ColumnsAndSortSurviveARestart) {
    writeBook(kThree);
    open();
    QHeaderView* header = list().header();
    header->moveSection(0, 2); // Name, Notes, Phone, Status
    list().setColumnWidth(1, 123);
    list().sortBy(2, false);
    host.btnPhoneBookClick();

    StoreKey key(phoneListKeyPath());
    EXPECT_EQ(key.readString(kColumnsSection, "Order"), "1,2,0,3");
    EXPECT_EQ(key.readString(kSortSection, "Ascending"), "0");
    EXPECT_EQ(key.readString(kSortSection, "SortCol"), "2");

    open();
    EXPECT_EQ(list().header()->logicalIndex(0), 1);
    EXPECT_EQ(list().header()->logicalIndex(2), 0);
    EXPECT_EQ(list().columnWidth(1), 123);
    EXPECT_EQ(column(2), (QList<QByteArray>{"n3", "n2", "n1"}));
    host.btnPhoneBookClick();

    key.writeString(kColumnsSection, "Order", "0,0,1,2");
    key.writeString(kSortSection, "SortCol", "9");
    key.writeString(kSortSection, "Ascending", "x");
    key.flush();
    open();
    EXPECT_EQ(list().header()->logicalIndex(0), 0) << "no permutation: ignored";
    EXPECT_EQ(list().sortedColumn(), 3) << "held to the columns";
    EXPECT_TRUE(list().sortAscending());
}

// The entry dialog ends under its keys, whose bottom no resize can cut off, and
// its status group holds its four items.
TEST_F(PhoneBookTest, EntryDialogEndsUnderItsKeys) {
    const DesignScale s(entry);
    const int bottomOfKeys = entry.btnPhItOK->geometry().bottom() + 1;
    EXPECT_EQ(entry.btnPhItCancel->geometry().bottom() + 1, bottomOfKeys);
    EXPECT_GT(entry.height(), bottomOfKeys);
    EXPECT_LE(entry.height() - bottomOfKeys, s(12)) << "no empty band under the keys";
    EXPECT_EQ(entry.minimumHeight(), entry.height());
    EXPECT_LE(entry.gbStatus->minimumSizeHint().height(), entry.gbStatus->height());
    EXPECT_LT(entry.gbStatus->geometry().bottom(), entry.btnPhItOK->y());
}

// The designed widths were made for a font that is missing here: the default
// columns hold their captions beside the sort arrow and every status text in
// the font in use, while the widths a user set are kept as they are.
TEST_F(PhoneBookTest, DefaultColumnsHoldTheirTextsAndStoredWidthsStay) {
    writeBook({{"100", "Anna", "n1", psNormal},
               {"200", "Boris", "n2", psPrio},
               {"300", "Viktor", "n3", psGood},
               {"400", "Olga", "n4", psBad}});
    TPhoneForm& form = open();
    const DesignScale s(form);
    QHeaderView* header = list().header();
    for (int column = 0; column < 4; ++column) {
        const std::string caption = list().columnCaption(column).toStdString();
        EXPECT_GE(list().columnWidth(column), header->sectionSizeHint(column))
            << caption << " and the sort arrow";
        // The view's own measure of its cells; public on the base class only.
        const QAbstractItemView& cells = list();
        EXPECT_GE(list().columnWidth(column), cells.sizeHintForColumn(column))
            << caption << ": every cell whole";
    }
    EXPECT_GE(list().columnWidth(0), s(100)) << "never narrower than designed";
    host.btnPhoneBookClick();

    StoreKey key(phoneListKeyPath());
    key.writeString(kColumnsSection, "Sizes", "90,40,300,30");
    key.flush();
    open();
    EXPECT_EQ(list().columnWidth(1), 40);
    EXPECT_EQ(list().columnWidth(2), 300);
    EXPECT_EQ(list().columnWidth(3), 30) << "the user's width, however narrow";
}

} // namespace
} // namespace tarvik
