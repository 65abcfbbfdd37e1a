#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace tarvik {

// The fields of a server's record that a client uses, each as sent with its
// control and non-ASCII bytes made '?'; empty when the record has no such field.
// Fields of other labels are passed over.
struct NcidRecordFields {
    QByteArray date;
    QByteArray time;
    QByteArray line;
    QByteArray number;
    QByteArray name;
    QByteArray mesg;
};

// One line from an NCID server, as its client reads it.
struct NcidFeedLine {
    enum class Kind {
        Banner,     // "200 ...": the server's name and version in `text`
        Api,        // "210 API: 1.5 Feature Set 1 2 ...": `api` and `featureSets`
        StartupEnd, // "300 End of connection startup"
        Logged,     // a line of the call log ("CIDLOG:", "HUPLOG:", "LOG:", ...)
        Ring,       // "CIDINFO:": `ring`, the line and the time
        Caller,     // "CID:"
        HungUp,     // "HUP:": the server hung up on the caller
        Blocked,    // "BLK:": the caller was not put through
        Waiting,    // "WID:": a caller while the line is busy
        Dialed,     // "OUT:"
        Message,    // "MSG:": `text`, and the fields after "***"
        Other,      // any other line, one too long, a ring without its count
    };
    Kind kind = Kind::Other;
    // The line came with a leading '+': a forwarding gateway's line for a
    // server. Servers pass such lines on without it; clients leave them be.
    bool forwarded = false;
    QByteArray text;
    QByteArray api;
    QList<int> featureSets;
    // 1, 2, ... the ring; 0 answered, -1 ended unanswered, -2 hung up after an answer.
    int ring = 0;
    NcidRecordFields fields;

    // A call or a message, as opposed to the connection's own lines.
    bool isRecord() const;
};

// Reads one line without its end. Any bytes give a defined result: a line
// longer than the protocol's bound is Other, missing fields are empty.
NcidFeedLine readNcidFeedLine(QByteArrayView line);

} // namespace tarvik
