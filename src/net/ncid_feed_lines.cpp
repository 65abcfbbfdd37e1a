#include "net/ncid_feed_lines.h"

#include "net/ncid_fields.h"
#include "net/ncid_lines.h"

#include <algorithm>
#include <optional>

namespace tarvik {
namespace {

using Kind = NcidFeedLine::Kind;

// The record types a client acts on, by their label.
struct RecordType {
    const char* label;
    Kind kind;
};
constexpr RecordType kRecordTypes[] = {
    {ncid::kRingInfo, Kind::Ring},     {ncid::kLiveCaller, Kind::Caller},
    {ncid::kLiveHungUp, Kind::HungUp}, {"BLK:", Kind::Blocked},
    {"WID:", Kind::Waiting},           {ncid::kLiveDial, Kind::Dialed},
    {ncid::kMessage, Kind::Message},
};

// The call log's lines are the live types with "LOG" before the colon, and
// "LOG:" alone for what the log held besides.
constexpr char kLogSuffix[] = "LOG:";

NcidFeedLine lineOf(Kind kind) {
    NcidFeedLine line;
    line.kind = kind;
    return line;
}

NcidRecordFields recordFields(QByteArrayView fields) {
    using ncid::fieldValue;
    return {fieldValue(fields, ncid::kDateLabel), fieldValue(fields, ncid::kTimeLabel),
            fieldValue(fields, ncid::kLineLabel), fieldValue(fields, ncid::kNumberLabel),
            fieldValue(fields, ncid::kNameLabel), fieldValue(fields, ncid::kMesgLabel)};
}

// "API: 1.5 Feature Set 1 2 3" and "API 1.0 Feature Set 1 2 3 4".
void readApi(QByteArrayView text, NcidFeedLine& out) {
    const QList<QByteArray> words = text.toByteArray().simplified().split(' ');
    for (qsizetype i = 0; i + 1 < words.size(); ++i) {
        if (words[i] == "API" || words[i] == "API:") out.api = ncid::printable(words[i + 1]);
        if (words[i] != "Feature" || words[i + 1] != "Set") continue;
        for (qsizetype j = i + 2; j < words.size(); ++j) {
            bool ok = false;
            const int set = words[j].toInt(&ok);
            if (!ok) break;
            out.featureSets.append(set);
        }
    }
}

// A line "NNN text" of the start-up; nothing when the line is not numbered.
std::optional<NcidFeedLine> readNumbered(QByteArrayView line) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (line.size() < 3 || !std::all_of(line.begin(), line.begin() + 3, digit) ||
        (line.size() > 3 && line[3] != ' '))
        return std::nullopt;
    const QByteArrayView code = line.first(3);
    const QByteArrayView text = line.sliced(3).trimmed();
    NcidFeedLine out;
    if (code == "200") {
        out.kind = Kind::Banner;
        out.text = ncid::readableText(text);
    } else if (code == "210") {
        out.kind = Kind::Api;
        readApi(text, out);
    } else if (code == "300") {
        out.kind = Kind::StartupEnd;
    }
    return out;
}

NcidFeedLine readRecord(Kind kind, QByteArrayView body) {
    NcidFeedLine out = lineOf(kind);
    if (kind == Kind::Message) {
        const qsizetype start = body.indexOf(ncid::kMessageFieldsStart);
        out.text = ncid::readableText((start < 0 ? body : body.first(start)).trimmed());
        if (start >= 0)
            out.fields = recordFields(body.sliced(start + qstrlen(ncid::kMessageFieldsStart)));
        return out;
    }
    const qsizetype start = body.indexOf('*');
    const QByteArrayView fields = start < 0 ? QByteArrayView() : body.sliced(start + 1);
    out.fields = recordFields(fields);
    if (kind != Kind::Ring) return out;
    bool ok = false;
    out.ring = ncid::fieldValue(fields, ncid::kRingLabel).toInt(&ok);
    return ok ? out : NcidFeedLine();
}

NcidFeedLine readUnforwarded(QByteArrayView line) {
    if (std::optional<NcidFeedLine> numbered = readNumbered(line)) return *numbered;
    // A type is the line's first word, ended by its colon.
    const qsizetype colon = line.indexOf(':');
    if (colon < 0 || line.first(colon).contains(' ')) return {};
    const QByteArrayView type = line.first(colon + 1);
    if (type.endsWith(kLogSuffix)) return lineOf(Kind::Logged);
    for (const RecordType& record : kRecordTypes)
        if (type == record.label) return readRecord(record.kind, line.sliced(colon + 1));
    return {};
}

} // namespace

// The records' kinds are the enum's run from Ring to Message.
bool NcidFeedLine::isRecord() const {
    return kind >= Kind::Ring && kind <= Kind::Message;
}

NcidFeedLine readNcidFeedLine(QByteArrayView line) {
    if (line.size() > ncid::kLineMax) return {};
    const bool forwarded = line.startsWith('+');
    NcidFeedLine out = readUnforwarded(forwarded ? line.sliced(1) : line);
    out.forwarded = forwarded;
    return out;
}

} // namespace tarvik
