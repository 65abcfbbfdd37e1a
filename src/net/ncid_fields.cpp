#include "net/ncid_fields.h"

#include "store/codepage.h"

namespace tarvik::ncid {

QByteArray printable(QByteArrayView bytes) {
    QByteArray text = bytes.toByteArray();
    for (char& ch : text)
        if (ch < ' ' || ch > '~' || ch == '*') ch = '?';
    return text;
}

QByteArray readableText(QByteArrayView bytes) {
    std::optional<QString> decoded = strictUtf8(bytes);
    if (!decoded) return printable(bytes);
    QString& text = *decoded;
    for (QChar& ch : text)
        if (ch.category() == QChar::Other_Control || ch == u'*') ch = u'?';
    return text.toUtf8();
}

QByteArray fieldPair(QByteArrayView label, QByteArrayView value) {
    return label.toByteArray() + '*' + value.toByteArray() + '*';
}

QByteArray fieldValue(QByteArrayView fields, QByteArrayView label) {
    while (!fields.isEmpty()) {
        const qsizetype labelEnd = fields.indexOf('*');
        if (labelEnd < 0) return {};
        const QByteArrayView rest = fields.sliced(labelEnd + 1);
        const qsizetype valueEnd = rest.indexOf('*');
        const QByteArrayView value = valueEnd < 0 ? rest : rest.first(valueEnd);
        if (fields.first(labelEnd) == label) return readableText(value);
        if (valueEnd < 0) return {};
        fields = rest.sliced(valueEnd + 1);
    }
    return {};
}

} // namespace tarvik::ncid
