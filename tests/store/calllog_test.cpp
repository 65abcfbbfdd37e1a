#include "store_fixture.h"

#include "platform/errors.h"
#include "store/calllog.h"
#include "store/codepage.h"

#include <QRegularExpression>

using namespace tarvik;

namespace {

class CallLogTest : public StoreTest {
protected:
    QString log() const { return path("tarvik.log"); }
};

TEST(LogStamp, UsesTheLocalesSeparators) {
    const QDateTime when(QDate(2026, 12, 7), QTime(14, 5, 9));
    EXPECT_EQ(logStamp(when, QLocale(QLocale::German, QLocale::Germany)), "07.12 14:05:09 ");
    EXPECT_EQ(logStamp(when, QLocale(QLocale::English, QLocale::UnitedStates)), "07/12 14:05:09 ");
    EXPECT_EQ(logStamp(when, QLocale(QLocale::Finnish, QLocale::Finland)), "07.12 14.05.09 ");
    EXPECT_EQ(logStamp(QDateTime(QDate(2026, 1, 2), QTime(0, 0, 0)), QLocale(QLocale::German)),
              "02.01 00:00:00 ");
}

TEST_F(CallLogTest, FirstLineCreatesTheFileAndLinesAppend) {
    const QDateTime before = QDateTime::currentDateTime();
    WriteLogLine(log(), "");
    WriteLogLine(log(), toCp1251(u"Резервная категория."));
    const QDateTime after = QDateTime::currentDateTime();

    const QList<QByteArray> lines = readAll(log()).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[2].isEmpty()) << "every line ends in CR LF";
    const QRegularExpression startLine("^\\d\\d\\D\\d\\d \\d\\d\\D\\d\\d\\D\\d\\d \r$");
    EXPECT_TRUE(startLine.match(QString::fromLatin1(lines[0])).hasMatch()) << lines[0].constData();
    EXPECT_TRUE(lines[1].endsWith(toCp1251(u"Резервная категория.") + "\r"));

    // The stamp is the time of writing, to the second.
    const QByteArray stamp = lines[0].left(14);
    EXPECT_TRUE(stamp == logStamp(before).trimmed() || stamp == logStamp(after).trimmed())
        << stamp.constData();
    EXPECT_TRUE(recorder_->boxes().isEmpty());
}

TEST_F(CallLogTest, LinesAreCutTo255Characters) {
    WriteLogLine(log(), QByteArray(300, 'm'));
    const QByteArray content = readAll(log());
    ASSERT_EQ(content.size(), 255 + 2);
    EXPECT_EQ(content.mid(15, 240), QByteArray(240, 'm'));
    EXPECT_TRUE(content.endsWith("m\r\n"));
}

TEST_F(CallLogTest, AnOldEndOfFileMarkCutsTheFile) {
    QByteArray old = QByteArray(500, 'a') + "\r\n" + "tail" + char(26) + "junk" + char(26) + "more";
    writeAll(log(), old);
    WriteLogLine(log(), "next");
    const QByteArray content = readAll(log());
    EXPECT_TRUE(content.startsWith(QByteArray(500, 'a') + "\r\ntail"));
    EXPECT_FALSE(content.contains(char(26)));
    EXPECT_TRUE(content.endsWith(" next\r\n"));
    EXPECT_EQ(content.size(), 502 + 4 + 15 + 4 + 2);
}

TEST_F(CallLogTest, AMarkBeforeTheLast128BytesStays) {
    const QByteArray old = QByteArray("x") + char(26) + QByteArray(200, 'b');
    writeAll(log(), old);
    WriteLogLine(log(), "m");
    EXPECT_TRUE(readAll(log()).startsWith(old));
}

TEST_F(CallLogTest, AMissingFolderGivesOneBoxPerLineAndWritesNothing) {
    const QString lost = path("no/such/folder/tarvik.log");
    WriteLogLine(lost, "one");
    WriteLogLine(lost, "two");
    const auto boxes = recorder_->boxes();
    ASSERT_EQ(boxes.size(), 2);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.text, "Create Log-file!");
        EXPECT_EQ(box.icon, BoxIcon::None);
    }
    EXPECT_FALSE(QFile::exists(lost));
}

TEST_F(CallLogTest, AnExistingLogThatCannotBeAppendedToIsNeverCreatedAnew) {
    // A folder where the log should be cannot be opened for appending, yet exists.
    QDir().mkpath(log());
    WriteLogLine(log(), "line");
    EXPECT_EQ(recorder_->boxes().size(), 1);
    EXPECT_TRUE(QFileInfo(log()).isDir());
}

TEST_F(CallLogTest, AFullDiskIsAnIoError) {
    EXPECT_THROW(WriteLogLine("/dev/full", "lost"), TarvikError);
    EXPECT_TRUE(recorder_->boxes().isEmpty());
}

TEST_F(CallLogTest, OnANearlyFullDiskALineIsWrittenWholeOrNotAtAll) {
    const QByteArray old = "01.02 03:04:05 earlier\r\n";
    const QByteArray message(100, 'm');
    const qsizetype line = 15 + message.size() + 2;
    // Room for nothing, for part of the line, and for all of it.
    for (const qsizetype room : {qsizetype(0), qsizetype(1), line / 2, line - 1, line}) {
        SCOPED_TRACE(room);
        writeAll(log(), old);
        const int raised = inChildWithFileSizeLimit(static_cast<rlim_t>(old.size() + room), [&] {
            try {
                WriteLogLine(log(), message);
            } catch (const TarvikError&) {
                return 1;
            }
            return 0;
        });
        EXPECT_EQ(raised, room < line ? 1 : 0);
        const QByteArray content = readAll(log());
        EXPECT_TRUE(content.startsWith(old));
        EXPECT_EQ(content.size(), old.size() + (room < line ? 0 : line));
        EXPECT_TRUE(content.endsWith(room < line ? old : message + "\r\n"));

        // With room again the next line is a line of its own.
        WriteLogLine(log(), "next");
        const QByteArray after = readAll(log());
        EXPECT_TRUE(after.startsWith(content));
        EXPECT_EQ(after.size(), content.size() + 15 + 4 + 2);
        EXPECT_TRUE(after.endsWith(" next\r\n"));
    }
}

TEST_F(CallLogTest, ChangingThePathMovesLoggingAndKeepsTheOldFile) {
    WriteLogLine(log(), "first");
    const QByteArray before = readAll(log());
    WriteLogLine(path("other.log"), "second");
    EXPECT_EQ(readAll(log()), before);
    EXPECT_TRUE(readAll(path("other.log")).endsWith(" second\r\n"));
}

} // namespace
