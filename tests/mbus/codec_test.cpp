#include "mbus/frame.h"
#include "mbus/hexlist.h"
#include "mbustestutil.h"

using namespace kelvaro;
using namespace kelvaro::mbus;
using kelvaro::mbus::test::hex;
using kelvaro::mbus::test::span;

TEST(HexList, ConvertsBothWays)
{
    EXPECT_EQ(StrToHexListe(hex("10 7B FD 78 16"), ";"), "10;7B;FD;78;16;");
    EXPECT_EQ(StrToHexListe(hex("0A FF"), ""), "0AFF");
    const QByteArray reqUd2 = hex("10 7B FD 78 16");
    EXPECT_EQ(HexListeToStr("10;7B;FD;78;16;", ";"), reqUd2);
    EXPECT_EQ(HexListeToStr("10 7B FD 78 16", " "), reqUd2) << "no final separator";
    EXPECT_EQ(HexListeToStr("10 7B FD 78 16", ""), reqUd2) << "separator taken from the third character";
    EXPECT_EQ(HexListeToStr("10,7b,fd,78,16", ","), reqUd2) << "another separator, lower case";
    EXPECT_EQ(HexListeToStr("107BFD7816", ""), reqUd2) << "continuous hex is read in pairs";
    EXPECT_EQ(HexListeToStr("10  7B", " "), hex("10 7B")) << "doubled blanks add no zero byte";
}

TEST(HexList, RefusesWhatIsNoHexList)
{
    EXPECT_TRUE(HexListeToStr("", ";").isEmpty());
    EXPECT_TRUE(HexListeToStr("107B", ";").isEmpty()) << "separator does not occur";
    EXPECT_TRUE(HexListeToStr("10;XY;16;", ";").isEmpty()) << "a field that is not hex";
    EXPECT_TRUE(HexListeToStr("10;123;", ";").isEmpty()) << "more than one byte in a field";
    QByteArray bytes;
    QString error;
    EXPECT_FALSE(ParseHexBytes("68 0G", bytes, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(ParseHexBytes("68 0AB", bytes, &error)) << "odd digit count";
    EXPECT_TRUE(ParseHexBytes("D 04", bytes));
    EXPECT_EQ(bytes, hex("0D 04")) << "a single digit is a byte of its own";
    EXPECT_TRUE(ParseHexBytes("68;03\r\n03 68", bytes));
    EXPECT_EQ(bytes, hex("68 03 03 68"));
}

TEST(HexList, StreamAndErrorTexts)
{
    QString stream;
    ErzeugeHexStream(hex("00 01 02 03 04 05 06 07 08 09 0A FF"), stream);
    EXPECT_EQ(stream, "0;1;2;3;4;5;6;7;8;9;\rA;FF;");
    EXPECT_EQ(MB_ReceiveErrorText(1), "Timeout, ");
    EXPECT_EQ(MB_ReceiveErrorText(3), "Timeout, Wrong Parity, 3");
    EXPECT_EQ(MB_ReceiveErrorText(4 + 32), "Wrong Checksum, 36Wrong Stopsign36");
    EXPECT_EQ(MB_ReceiveErrorText(0), "");
}

TEST(FrameBuilders, MatchTheWorkedMasterFrames)
{
    EXPECT_EQ(BuildSndNke(1), hex("10 40 01 41 16"));
    EXPECT_EQ(BuildReqUd2(1, true), hex("10 7B 01 7C 16"));
    EXPECT_EQ(BuildReqUd2(1, false), hex("10 5B 01 5C 16"));
    EXPECT_EQ(BuildReqUd2(kAddressBroadcastReply, true), hex("10 7B FE 79 16"));
    EXPECT_EQ(BuildSelection("12345678"), hex("68 0B 0B 68 53 FD 52 78 56 34 12 FF FF FF FF B2 16"));
    EXPECT_EQ(BuildSelection("1fffffff"), hex("68 0B 0B 68 53 FD 52 FF FF FF 1F FF FF FF FF BA 16"));
    EXPECT_EQ(BuildSelection("ffffffff"), hex("68 0B 0B 68 53 FD 52 FF FF FF FF FF FF FF FF 9A 16"));
    EXPECT_EQ(BuildSelection("12345678", 0xFFFF, 0xFF, 0xFF, "87654321"),
              hex("68 11 11 68 53 FD 52 78 56 34 12 FF FF FF FF 0C 78 21 43 65 87 86 16"));
    EXPECT_EQ(BuildApplicationReset(kAddressBroadcastReply), hex("68 03 03 68 53 FE 50 A1 16"));
    EXPECT_EQ(BuildBaudSwitch(1, 9600), hex("68 03 03 68 53 01 BD 11 16"));
    const std::uint8_t energy[] = {0x08, 0x04};
    EXPECT_EQ(BuildRecordSelection(1, energy), hex("68 05 05 68 53 01 51 08 04 B1 16"));
    EXPECT_TRUE(BuildBaudSwitch(1, 1000).isEmpty());
    EXPECT_TRUE(BuildSelection("1234567").isEmpty());
    EXPECT_TRUE(BuildSelection("1234x678").isEmpty());
}

TEST(FrameScan, ValidatesEveryPart)
{
    FrameView f;
    EXPECT_TRUE(ParseFrame(span(hex("E5")), f));
    EXPECT_EQ(f.type, FrameType::Ack);
    EXPECT_TRUE(ParseFrame(span(hex("10 7B FD 78 16")), f));
    EXPECT_EQ(f.type, FrameType::Short);
    EXPECT_TRUE(ParseFrame(span(hex("68 03 03 68 53 FE 50 A1 16")), f));
    EXPECT_EQ(f.type, FrameType::Control);
    EXPECT_EQ(f.ci, 0x50);
    EXPECT_TRUE(ParseFrame(span(hex("68 04 04 68 08 01 70 08 81 16")), f));
    EXPECT_EQ(f.type, FrameType::Long);
    EXPECT_EQ(f.payload.size(), 1u);

    int bits = 0;
    EXPECT_FALSE(ParseFrame(span(hex("68 04 04 68 08 01 70 08 82 16")), f, &bits));
    EXPECT_EQ(bits, ErrChecksum);
    EXPECT_FALSE(ParseFrame(span(hex("68 04 05 68 08 01 70 08 81 16")), f, &bits));
    EXPECT_EQ(bits, ErrLength) << "the two L fields differ";
    EXPECT_FALSE(ParseFrame(span(hex("68 02 02 68 08 01 09 16")), f, &bits));
    EXPECT_EQ(bits, ErrLength) << "L below 3";
    EXPECT_FALSE(ParseFrame(span(hex("68 04 04 69 08 01 70 08 81 16")), f, &bits));
    EXPECT_EQ(bits, ErrStartCharacter);
    EXPECT_FALSE(ParseFrame(span(hex("68 04 04 68 08 01 70 08 81 17")), f, &bits));
    EXPECT_EQ(bits, ErrStopCharacter);
    EXPECT_FALSE(ParseFrame(span(hex("68 04 04 68 08 01 70 08")), f, &bits));
    EXPECT_EQ(bits, ErrLength) << "truncated";
    EXPECT_FALSE(ParseFrame(span(hex("68 04 04 68 08 01 70 08 81 16 00")), f, &bits));
    EXPECT_EQ(bits, ErrLength) << "bytes after the stop character";
    EXPECT_FALSE(ParseFrame(span(hex("0D")), f, &bits));
    EXPECT_EQ(bits, ErrStartCharacter);
}

TEST(FrameReceiver, CutsFramesFromAStream)
{
    FrameReceiver rx;
    QByteArray frame;
    // A frame arriving in pieces, with junk and a stray start character before it.
    rx.append(hex("00 FF 68 FF"));
    EXPECT_EQ(rx.next(frame), FrameReceiver::Result::NeedMore);
    rx.append(hex("68 04 04 68 08 01"));
    EXPECT_EQ(rx.next(frame), FrameReceiver::Result::NeedMore);
    rx.append(hex("70 08 81 16 E5 00"));
    ASSERT_EQ(rx.next(frame), FrameReceiver::Result::Frame);
    EXPECT_EQ(frame, hex("68 04 04 68 08 01 70 08 81 16"));
    EXPECT_EQ(rx.skipped(), hex("00 FF 68 FF"));
    EXPECT_EQ(rx.errorBits(), ErrLength);
    ASSERT_EQ(rx.next(frame), FrameReceiver::Result::Frame) << "E5 followed by junk";
    EXPECT_EQ(frame, hex("E5"));
    EXPECT_EQ(rx.next(frame), FrameReceiver::Result::NeedMore);
}

TEST(FrameReceiver, GivesUpOnATruncatedFrameOnlyAtEndOfInput)
{
    FrameReceiver rx;
    QByteArray frame;
    // A stray 68 with a plausible length would wait for ever; at the deadline the
    // hunt continues behind it and finds the real acknowledge.
    rx.append(hex("68 20 20 68 E5"));
    EXPECT_EQ(rx.next(frame), FrameReceiver::Result::NeedMore);
    EXPECT_EQ(rx.pendingErrorBits(), ErrLength);
    ASSERT_EQ(rx.next(frame, true), FrameReceiver::Result::Frame);
    EXPECT_EQ(frame, hex("E5"));
    EXPECT_EQ(rx.skipped(), hex("68 20 20 68"));
}

TEST(FrameReceiver, AFrameWithOnlyABadChecksumReportsTheChecksumAlone)
{
    // A long frame whose user data hold bytes that look like frame starts (68,
    // 10, E5): the hunt must neither add their errors nor take a frame out of
    // the rejected one.
    QByteArray bad = BuildLongFrame(0x08, 0x01, 0x72, span(hex("78 56 34 12 24 40 01 07 55 00 00 00 "
                                                                "04 68 10 E5 00 00 0A 10 33 68")));
    bad[bad.size() - 2] = char(bad[bad.size() - 2] ^ 0x01);
    for (const bool endOfInput : {false, true}) {
        FrameReceiver rx;
        QByteArray frame;
        rx.append(bad);
        EXPECT_EQ(rx.next(frame, endOfInput), FrameReceiver::Result::NeedMore);
        // What the bus link reports at the end of the answer.
        const int bits = rx.errorBits() | rx.pendingErrorBits();
        EXPECT_EQ(bits, ErrChecksum) << "end of input " << endOfInput;
        EXPECT_EQ(MB_ReceiveErrorText(bits), "Wrong Checksum, 4");
    }

    FrameReceiver rx;
    QByteArray frame;
    rx.append(hex("10 7B 01 7D 16 E5")); // short frame with a bad checksum, then an acknowledge
    ASSERT_EQ(rx.next(frame), FrameReceiver::Result::Frame);
    EXPECT_EQ(frame, hex("E5"));
    EXPECT_EQ(rx.errorBits(), ErrChecksum);
    EXPECT_EQ(rx.skipped(), hex("10 7B 01 7D 16"));
}

TEST(FrameReceiver, AStrayStartBeforeAFrameStillFindsTheFrame)
{
    // A stray 10 before a long frame looks like a short frame with a bad
    // checksum (and no stop character): the real frame starts inside it.
    FrameReceiver rx;
    QByteArray frame;
    rx.append(hex("10 68 04 04 68 08 01 70 08 81 16"));
    ASSERT_EQ(rx.next(frame), FrameReceiver::Result::Frame);
    EXPECT_EQ(frame, hex("68 04 04 68 08 01 70 08 81 16"));
    EXPECT_EQ(rx.skipped(), hex("10"));
}
