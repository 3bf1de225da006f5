#include "platform/Cp1252.h"
#include "platform/DateTimeText.h"
#include "platform/ProgramPath.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace platform;

TEST(ProgramPath, ExtensionReplacedOrAppended) {
    struct Case {
        const char* path;
        const char* suffix;
        const char* want;
    } cases[] = {
        {"/opt/vel/velomar", ".ini", "/opt/vel/velomar.ini"},
        {"/opt/vel/velomar", "Log.txt", "/opt/vel/velomarLog.txt"},
        {"/opt/vel/velomar.exe", "Lang3.ini", "/opt/vel/velomarLang3.ini"},
        {"/opt/v.d/velomar", ".ini", "/opt/v.d/velomar.ini"}, // dot in a folder
        {"/opt/.hidden", ".ini", "/opt/.hidden.ini"},         // a leading dot is no extension
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChangeProgramExtension(c.path, c.suffix), c.want) << c.path;
}

TEST(ProgramPath, EnvironmentOverrides) {
    setenv("VELOMAR_PROGRAM_PATH", "/tmp/x/prog", 1);
    EXPECT_EQ(ProgramPath(), "/tmp/x/prog");
    EXPECT_EQ(FileBesideProgram(".ini"), "/tmp/x/prog.ini");
    EXPECT_EQ(ProgramFolder(), "/tmp/x/");
    unsetenv("VELOMAR_PROGRAM_PATH");
    EXPECT_FALSE(ProgramPath().empty());
}

TEST(DateTimeText, RoundTripsToTheSecond) {
    for (UnixSeconds t : {UnixSeconds(0), UnixSeconds(951782400), UnixSeconds(1781234567),
                          NowSeconds(), UnixSeconds(4102444799)}) {
        auto text = DateTimeToText(t);
        ASSERT_EQ(text.size(), 19u);
        EXPECT_EQ(TextToDateTime(text), t) << text;
    }
}

TEST(DateTimeText, RejectsOtherForms) {
    for (const char* s : {"", "2026-12-11", "2026-12-11 10:00", "2026-13-01 00:00:00",
                          "2026-02-31 00:00:00", "2026-12-11T10:00:00", "x026-12-11 10:00:00"})
        EXPECT_FALSE(TextToDateTime(s).has_value()) << s;
}

TEST(DateTimeText, TimeOfDay) {
    EXPECT_EQ(TimeOfDayToText(7, 5), "07:05");
    EXPECT_EQ(TextToTimeOfDay("07:05"), 425);
    EXPECT_EQ(TextToTimeOfDay("7:05"), 425);
    EXPECT_EQ(TextToTimeOfDay("23:59"), 1439);
    for (const char* s : {"24:00", "12:60", "12:5", ":30", "123:00", "ab:cd"})
        EXPECT_FALSE(TextToTimeOfDay(s).has_value()) << s;
}

TEST(Cp1252, ConvertsBothWays) {
    const std::string cp = "Portugu\xEAs \x80 \x93quoted\x94 \x9F";
    const std::string utf8 =
        "Portugu\xC3\xAAs \xE2\x82\xAC \xE2\x80\x9Cquoted\xE2\x80\x9D \xC5\xB8";
    EXPECT_EQ(Cp1252ToUtf8(cp), utf8);
    EXPECT_EQ(Utf8ToCp1252(utf8), cp);
    EXPECT_EQ(QStringToCp1252(Cp1252ToQString(cp)), cp);
    EXPECT_EQ(Cp1252ToQString(cp), QString::fromUtf8(utf8.c_str()));
}

TEST(Cp1252, UnmappableAndInvalidBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToCp1252("\xE4\xB8\xAD"), "?");       // a CJK character
    EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x98\x80!"), "?!"); // outside the BMP
    EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?");             // truncated sequence
    EXPECT_EQ(Utf8ToCp1252("\xFF"
                           "b"),
              "?b");
    // Overlong forms (a hidden "/" or "A"), surrogates and code points beyond
    // Unicode are no characters either.
    EXPECT_EQ(Utf8ToCp1252("a\xC0\xAF"
                           "b"),
              "a?b");
    EXPECT_EQ(Utf8ToCp1252("\xC1\x81"), "?");
    EXPECT_EQ(Utf8ToCp1252("\xE0\x80\xAF"), "?");
    EXPECT_EQ(Utf8ToCp1252("\xF0\x80\x80\xAF"), "?");
    EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), "?");
    EXPECT_EQ(Utf8ToCp1252("\xF4\x90\x80\x80"), "?");
    EXPECT_EQ(Utf8ToCp1252("\xC2\xA0\xE2\x82\xAC"), "\xA0\x80"); // shortest forms still pass
    EXPECT_EQ(QStringToCp1252(QString::fromUtf8("\xE2\x86\x92")), "?");
    // The undefined bytes survive a round trip as C1 controls.
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8("\x81\x8D\x8F\x90\x9D")), "\x81\x8D\x8F\x90\x9D");
}
