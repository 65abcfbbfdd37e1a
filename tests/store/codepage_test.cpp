#include "store/codepage.h"

#include <QStringDecoder>
#include <gtest/gtest.h>

using namespace tarvik;

TEST(CodePage, EveryByteSurvivesARoundTrip) {
    QByteArray all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<char>(i);
    EXPECT_EQ(toCp1251(fromCp1251(all)), all);
}

TEST(CodePage, CyrillicAndPunctuation) {
    const QString text = QString::fromUtf8("Резервная категория. «Ёё» №5 — €");
    const QByteArray bytes = toCp1251(text);
    EXPECT_EQ(bytes.size(), text.size());
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xD0); // Р
    EXPECT_EQ(fromCp1251(bytes), text);
}

TEST(CodePage, AgreesWithTheSystemCodecWhereThereIsOne) {
    QStringDecoder decoder("windows-1251");
    if (!decoder.isValid()) GTEST_SKIP() << "no windows-1251 codec in this Qt";
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        if (i != 0x98) all += static_cast<char>(i);
    EXPECT_EQ(fromCp1251(all), QString(decoder(all)));
}

TEST(CodePage, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(toCp1251(QString::fromUtf8("a中b")), "a?b");
}
