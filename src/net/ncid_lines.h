#pragma once
#include "store/call_record.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

namespace tarvik {

// The lines of the NCID protocol (API 1.0, Feature Set 1) this server sends,
// without their CR LF.
namespace ncid {

inline constexpr char kApiLine[] = "210 API: 1.0 Feature Set 1";
inline constexpr char kLogEnd[] = "250 End of call log";
inline constexpr char kLogNotSent[] = "251 Call log not sent";
inline constexpr char kLogEmpty[] = "252 Call log empty";
inline constexpr char kNoLog[] = "253 No Call log";
inline constexpr char kStartupEnd[] = "300 End of connection startup";

inline constexpr char kLiveCaller[] = "CID:";
inline constexpr char kLiveDial[] = "OUT:";
inline constexpr char kLoggedCaller[] = "CIDLOG:";
inline constexpr char kLoggedDial[] = "OUTLOG:";

QByteArray serverLine(QByteArrayView version);

// A value between the '*' of a record: bytes that could break a client's
// reading of the line ('*', control and non-ASCII bytes) become '?'; an empty
// value is `missing`.
QByteArray field(QByteArrayView value, QByteArrayView missing);

// "<label> *DATE*mmddyyyy*TIME*hhmm*LINE*..*NMBR*..*MESG*NONE*NAME*NO NAME*"
QByteArray callLine(QByteArrayView label, const CallRecord& call, QByteArrayView lineId);
// The same for a call happening now.
QByteArray callLineNow(QByteArrayView label, CallRecord::Kind kind, const QByteArray& number,
                       QByteArrayView lineId, const QDateTime& now);
// "CIDINFO: *LINE*..*RING*n*TIME*hh:mm:ss*"
QByteArray ringLine(QByteArrayView lineId, int ring, const QTime& now);

// A logged call as the start-up's call log sends it.
QByteArray loggedCallLine(const CallRecord& call, QByteArrayView lineId);

} // namespace ncid
} // namespace tarvik
