#pragma once
#include <QByteArray>
#include <QByteArrayView>

namespace tarvik::ncid {

// The labels of a record's fields: "<type> *" and the fields, "DATE*<value>*TIME*<value>*...".
inline constexpr char kDateLabel[] = "DATE";
inline constexpr char kTimeLabel[] = "TIME";
inline constexpr char kLineLabel[] = "LINE";
inline constexpr char kNumberLabel[] = "NMBR";
inline constexpr char kMesgLabel[] = "MESG";
inline constexpr char kNameLabel[] = "NAME";
inline constexpr char kRingLabel[] = "RING";
inline constexpr char kMessageTypeLabel[] = "MTYPE";

// A message's text ends where its fields start: "MSG: <text>***DATE*...".
inline constexpr char kMessageFieldsStart[] = "***";

// The bytes as a display or a log may show them: control bytes, bytes beyond
// ASCII and the field separator '*' become '?'.
QByteArray printable(QByteArrayView bytes);

// As printable, but a value that is valid UTF-8 keeps its characters beyond
// ASCII: servers send names in UTF-8. For what this program reads.
QByteArray readableText(QByteArrayView bytes);

// One field as sent, "LABEL*value*".
QByteArray fieldPair(QByteArrayView label, QByteArrayView value);

// The value of the first field called `label` in "LABEL*value*LABEL*value*...",
// readable text; empty when no field has that label. Fields may come in any order
// and unknown ones are passed over; a label without its value (an odd number of
// '*') has none, a last value without its closing '*' is taken as it is.
QByteArray fieldValue(QByteArrayView fields, QByteArrayView label);

} // namespace tarvik::ncid
