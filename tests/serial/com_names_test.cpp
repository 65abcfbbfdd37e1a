// COM names onto devices, and control blocks onto termios.
#include "serial/com_names.h"
#include "serial/comm_device.h"
#include "serial/comm_device_posix.h"
#include "serial_test_support.h"

#include <gtest/gtest.h>

#include <asm/termbits.h>

namespace tarvik::comm {
namespace {

TEST(ComNames, NamesAndNumbers) {
    EXPECT_EQ(ComPortName(2), "\\\\.\\COM2");
    EXPECT_EQ(ComPortName(12), "\\\\.\\COM12");
    EXPECT_EQ(ComNumberOf("\\\\.\\COM2"), 2);
    EXPECT_EQ(ComNumberOf("com15"), 15);
    EXPECT_FALSE(ComNumberOf("\\\\.\\COM"));
    EXPECT_FALSE(ComNumberOf("\\\\.\\COM-1"));
    EXPECT_FALSE(ComNumberOf("\\\\.\\COM2x"));
    EXPECT_FALSE(ComNumberOf("/dev/ttyS1"));
}

TEST(ComNames, ThePortsFolderComesFirstThenTheSerialPorts) {
    test::ScopedConfigHome config;
    EXPECT_EQ(ComDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(ComDevicePath(4), "/dev/ttyS3");
    EXPECT_EQ(ComDevicePath(0), "");
    config.linkCom(2, "/dev/ttyUSB0");
    EXPECT_EQ(ComDevicePath(2), config.path().toStdString() + "/Tarvik/ports/COM2");
    config.writeCom(3, "  /dev/pts/9\nignored\n");
    EXPECT_EQ(ComDevicePath(3), "/dev/pts/9");
    config.writeCom(5, "\n");
    EXPECT_EQ(ComDevicePath(5), "/dev/ttyS4");

    SetLastError(0);
    EXPECT_EQ(CreateFileA(ComPortName(2)), nullptr); // a link to nothing
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    config.writeCom(6, "/etc/hostname"); // not a terminal
    EXPECT_EQ(CreateFileA(ComPortName(6)), nullptr);
}

TEST(TermiosMapping, ControlBlocksBecomeTermiosBits) {
    DCB dcb{19200, 0x202C, 0, 0, 8, NOPARITY, ONESTOPBIT, 0x11, 0x13, 0, 0, 0};
    TermiosLine line{unsigned(CREAD | CLOCAL | HUPCL | PARENB), unsigned(IXON | ICRNL)};
    ASSERT_TRUE(DcbToTermios(dcb, line));
    EXPECT_EQ(line.cflag & CBAUD, unsigned(B19200));
    EXPECT_FALSE(line.customSpeed);
    EXPECT_EQ(line.cflag & CSIZE, unsigned(CS8));
    EXPECT_FALSE(line.cflag & (PARENB | CSTOPB));
    EXPECT_TRUE(line.cflag & CRTSCTS);      // CTS output flow, RTS handshake
    EXPECT_TRUE(line.cflag & CLOCAL);       // untouched bits stay
    EXPECT_EQ(line.iflag, unsigned(ICRNL)); // no XON/XOFF in the flags word
    EXPECT_EQ(line.startChar, 0x11);

    struct Case {
        DWORD baud;
        unsigned code;
    };
    for (const Case c : {Case{14400, BOTHER}, Case{56000, BOTHER}, Case{128000, BOTHER},
                         Case{256000, BOTHER}, Case{115200, B115200}, Case{110, B110}}) {
        dcb.BaudRate = c.baud;
        ASSERT_TRUE(DcbToTermios(dcb, line));
        EXPECT_EQ(line.cflag & CBAUD, c.code) << c.baud;
        EXPECT_EQ(line.speed, c.baud);
    }

    const auto parity = [&](std::uint8_t p) {
        dcb.Parity = p;
        DcbToTermios(dcb, line);
        return line.cflag & (PARENB | PARODD | CMSPAR);
    };
    EXPECT_EQ(parity(ODDPARITY), unsigned(PARENB | PARODD));
    EXPECT_EQ(parity(EVENPARITY), unsigned(PARENB));
    EXPECT_EQ(parity(MARKPARITY), unsigned(PARENB | PARODD | CMSPAR));
    EXPECT_EQ(parity(SPACEPARITY), unsigned(PARENB | CMSPAR));

    dcb.ByteSize = 7;
    dcb.StopBits = TWOSTOPBITS;
    dcb.Flags = DCB_fBinary | DCB_fOutX | DCB_fInX;
    ASSERT_TRUE(DcbToTermios(dcb, line));
    EXPECT_EQ(line.cflag & CSIZE, unsigned(CS7));
    EXPECT_TRUE(line.cflag & CSTOPB);
    EXPECT_FALSE(line.cflag & CRTSCTS);
    EXPECT_EQ(line.iflag & (IXON | IXOFF), unsigned(IXON | IXOFF));

    for (DCB bad : {dcb, dcb, dcb, dcb}) {
        static int which = 0;
        switch (which++) {
        case 0:
            bad.ByteSize = 9;
            break;
        case 1:
            bad.ByteSize = 4;
            break;
        case 2:
            bad.Parity = 5;
            break;
        default:
            bad.BaudRate = 0;
            break;
        }
        EXPECT_FALSE(DcbToTermios(bad, line));
        EXPECT_FALSE(IsValidDcb(bad));
    }
}

} // namespace
} // namespace tarvik::comm
