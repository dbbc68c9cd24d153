#include "foundation/cp1252.h"
#include "foundation/ini.h"
#include "testsupport.h"

using namespace kelvaro;
using kelvaro::test::InstallationDir;

namespace {
const QByteArray kSample = "; station settings\r\n"
                           "[OVX]\r\n"
                           "OVXMandant = 200 \r\n"
                           "DBPATH200=\"C:\\daten\\DB$MANDANT$\"\r\n"
                           ";Comment=not a key\r\n"
                           "\r\n"
                           "[200]\r\n"
                           "DatenPath=.\\daten\\\r\n"
                           "[ovx]\r\n"
                           "OVXMandant=999\r\n";
}

TEST(Ini, ReadsByWindowsProfileRules)
{
    InstallationDir dir;
    dir.write("OVX.INI", kSample);
    EXPECT_EQ(ReadIniString("OVX", "OVXMandant", ".\\OVX.INI"), "200") << "blanks trimmed, first section wins";
    EXPECT_EQ(ReadIniString("ovx", "ovxmandant", ".\\ovx.ini"), "200") << "names and file case-insensitive";
    EXPECT_EQ(ReadIniString("OVX", "DBPATH200", ".\\OVX.INI"), "C:\\daten\\DB$MANDANT$") << "one quote pair removed";
    EXPECT_EQ(ReadIniString("OVX", ";Comment", ".\\OVX.INI"), "");
    EXPECT_EQ(ReadIniString("OVX", "DatenPath", ".\\OVX.INI"), "") << "keys of other sections do not leak";
    EXPECT_EQ(ReadIniString("200", "DatenPath", ".\\OVX.INI"), ".\\daten\\");
    EXPECT_EQ(ReadIniString("nope", "x", ".\\OVX.INI"), "");
    EXPECT_EQ(ReadIniString("OVX", "x", ".\\missing.ini"), "");
}

TEST(Ini, LongValuesAreCutAt254)
{
    InstallationDir dir;
    const QString value(300, 'x');
    ASSERT_TRUE(WriteIniString("S", "K", value, ".\\t.ini"));
    EXPECT_EQ(ReadIniString("S", "K", ".\\t.ini"), QString(254, 'x'));
}

TEST(Ini, WriteChangesOnlyItsLine)
{
    InstallationDir dir;
    dir.write("OVX.INI", kSample);
    ASSERT_TRUE(WriteIniString("ovx", "ovxmandant", "1320", ".\\OVX.INI"));
    QByteArray expected = kSample;
    expected.replace("OVXMandant = 200 \r\n", "OVXMandant=1320\r\n");
    EXPECT_EQ(dir.read("OVX.INI"), expected);

    ASSERT_TRUE(WriteIniString("200", "RB6", "1", ".\\OVX.INI"));
    expected.replace("DatenPath=.\\daten\\\r\n", "DatenPath=.\\daten\\\r\nRB6=1\r\n");
    EXPECT_EQ(dir.read("OVX.INI"), expected) << "new key appended to its own section";

    ASSERT_TRUE(WriteIniString("OVX", "Neu", "a", ".\\OVX.INI"));
    expected.replace(";Comment=not a key\r\n", ";Comment=not a key\r\nNeu=a\r\n");
    EXPECT_EQ(dir.read("OVX.INI"), expected) << "inserted before the blank separator line";

    ASSERT_TRUE(WriteIniString("MB200", "MBSpeichern0", "1", ".\\OVX.INI"));
    expected += "[MB200]\r\nMBSpeichern0=1\r\n";
    EXPECT_EQ(dir.read("OVX.INI"), expected);
}

TEST(Ini, MissingFileIsCreatedAndUnterminatedLastLineKept)
{
    InstallationDir dir;
    ASSERT_TRUE(WriteIniString("A", "k", "v", ".\\new.ini"));
    EXPECT_EQ(dir.read("new.ini"), "[A]\r\nk=v\r\n");

    dir.write("unix.ini", "[A]\nx=1");
    ASSERT_TRUE(WriteIniString("A", "y", "2", ".\\unix.ini"));
    EXPECT_EQ(dir.read("unix.ini"), "[A]\nx=1\r\ny=2\r\n") << "LF lines keep their ends";
}

TEST(Ini, UmlautsRoundTripInWindows1252)
{
    InstallationDir dir;
    const QString value = QString::fromUtf8("Zähler Größe €");
    ASSERT_TRUE(WriteIniString("Text", "Name", value, ".\\u.ini"));
    EXPECT_TRUE(dir.read("u.ini").contains(ToWin1252(value)));
    EXPECT_TRUE(dir.read("u.ini").contains("Z\xE4hler Gr\xF6\xDF" "e \x80"));
    EXPECT_EQ(ReadIniString("text", "name", ".\\u.ini"), value);
}

TEST(Ini, Cp1252IsLossless)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    EXPECT_EQ(ToWin1252(FromWin1252(all)), all);
}
