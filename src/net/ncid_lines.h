#pragma once
#include "store/call_record.h"
#include "store/ncid_address.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

namespace tarvik {

// The lines of the NCID protocol this server sends, without their CR LF: API 1.5
// (the first with the client's HELLO lines), Feature Set 1.
namespace ncid {

inline constexpr quint16 kDefaultPort = kNcidDefaultPort;

// The longest line either side of a connection takes, without its end: longer
// ones come from a broken or hostile peer.
inline constexpr qsizetype kLineMax = 1024;

inline constexpr char kApiLine[] = "210 API: 1.5 Feature Set 1";
inline constexpr char kLogEnd[] = "250 End of call log";
inline constexpr char kLogNotSent[] = "251 Call log not sent";
inline constexpr char kLogEmpty[] = "252 Call log empty";
inline constexpr char kNoLog[] = "253 No Call log";
inline constexpr char kStartupEnd[] = "300 End of connection startup";
inline constexpr char kYoAnswer[] = "ACK: REQ: YO";
// Told to a client beyond the server's limit, `clientsMax`.
QByteArray tooManyClientsLine(std::size_t clientsMax);
inline constexpr char kTooManyFromAddress[] = "MSG: Too many clients connected from this address";

// The ring counts of a CIDINFO line besides 1, 2, ...: the ringing ended
// because the call was answered, or without an answer.
inline constexpr int kRingAnswered = 0;
inline constexpr int kRingUnanswered = -1;

inline constexpr char kLiveCaller[] = "CID:";
inline constexpr char kRingInfo[] = "CIDINFO:";
inline constexpr char kMessage[] = "MSG:";
inline constexpr char kLiveDial[] = "OUT:";
inline constexpr char kLiveHungUp[] = "HUP:";
inline constexpr char kLoggedCaller[] = "CIDLOG:";
inline constexpr char kLoggedDial[] = "OUTLOG:";
inline constexpr char kLoggedHungUp[] = "HUPLOG:";

QByteArray serverLine(QByteArrayView version);

// A value between the '*' of a record as clients read it: '*', control and
// non-ASCII bytes become '?'; a value ends in a letter, a digit, '_', '@', a
// blank or '-', as clients take a value only so (other trailing bytes are
// dropped); an empty value is `missing`.
QByteArray field(QByteArrayView value, QByteArrayView missing);
// A number's field: an unknown digit ('?') is sent as kUnknownDigit.
QByteArray numberField(QByteArrayView number);
inline constexpr char kUnknownDigit = 'X';
// Whether clients take the byte as the last of a value.
bool endsFieldValue(char ch);

// "<label> *DATE*mmddyyyy*TIME*hhmm*LINE*..*NMBR*..*MESG*NONE*NAME*NO NAME*"
QByteArray callLine(QByteArrayView label, const CallRecord& call, QByteArrayView lineId);
// A call happening at `now`.
CallRecord callNow(CallRecord::Kind kind, const QByteArray& number, const QDateTime& now);
// "CIDINFO: *LINE*..*RING*n*TIME*hh:mm:ss*"
QByteArray ringLine(QByteArrayView lineId, int ring, const QTime& now);

// A client's message for the other clients:
// "MSG: <text>***DATE*mmddyyyy*TIME*hhmm*NAME*NO NAME*NMBR*NO-NUMBER*LINE*..*MTYPE*-*"
QByteArray messageLine(QByteArrayView text, QByteArrayView lineId, const QDateTime& now);

// A logged call as the start-up's call log sends it.
QByteArray loggedCallLine(const CallRecord& call, QByteArrayView lineId);

} // namespace ncid
} // namespace tarvik
