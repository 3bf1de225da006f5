#include "engine/UnitHTTPText.h"

#include <gtest/gtest.h>

using namespace http;

TEST(HTTPText, HeaderFieldsFollowTheColonBlankRuleAndIgnoreCase) {
    THeaderFields h("HTTP/1.0 206 Partial Content\r\n"
                    "cONTENT-lENGTH: 1234\r\n"
                    "X-NoBlank:value\r\n"
                    "Location: http://h/a: b\r\n"
                    "Accept-Ranges: bytes\r\n"
                    "Content-Range:   bytes 0-1/2 \t\r\n");
    EXPECT_EQ(h.StatusLine(), "HTTP/1.0 206 Partial Content");
    EXPECT_EQ(h.StatusClass(), '2');
    EXPECT_EQ(h.StatusCode(), "206");
    EXPECT_EQ(h.Value("Content-Length"), "1234");
    EXPECT_FALSE(h.Has("X-NoBlank"));                // a colon without a blank is not a header
    EXPECT_EQ(h.Value("location"), "http://h/a: b"); // only the first ": " splits
    EXPECT_EQ(h.Value("Last-Modified"), "");
    EXPECT_EQ(h.Value("Content-Range"), "bytes 0-1/2") << "blanks around a value are dropped";
    EXPECT_EQ(THeaderFields("garbage").StatusClass(), '\0');
}

TEST(HTTPText, HeaderEndAndRealm) {
    EXPECT_EQ(FindHeaderEnd("HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody"), 21u);
    EXPECT_EQ(FindHeaderEnd("HTTP/1.0 200 OK\r\nA: b\r\n\r"), std::string::npos);
    EXPECT_EQ(BasicRealmOf("  Basic realm=\"Private Zone\" "), "\"Private Zone\"");
    EXPECT_EQ(BasicRealmOf("Digest realm=\"x\", nonce=\"y\""), "");
}

TEST(HTTPText, BasicCredentialsAreStandardBase64) {
    struct {
        const char *user, *pwd, *out;
    } cases[] = {{"Aladdin", "open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
                 {"a", "", "YTo="},
                 {"ab", "", "YWI6"},
                 {"", "", "Og=="},
                 {"\xe9", "\xff", "6Tr/"}};
    for (auto& c : cases)
        EXPECT_EQ(BasicCredentials(c.user, c.pwd), c.out) << c.user;
}

TEST(HTTPText, DatesReadAsWrittenAndUnreadableOnesAreNone) {
    auto d = ParseHTTPDate("Sun, 06 Nov 1994 08:49:37 GMT");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->Year, 1994);
    EXPECT_EQ(d->Month, 11);
    EXPECT_EQ(d->Day, 6);
    EXPECT_EQ(d->Hour, 8);
    EXPECT_EQ(d->Minute, 49);
    EXPECT_EQ(d->Second, 37);
    EXPECT_TRUE(d->Utc);
    auto y2 = ParseHTTPDate("Thursday, 01 jan 98 00:00:00 +0100");
    ASSERT_TRUE(y2);
    EXPECT_EQ(y2->Year, 1998);
    EXPECT_FALSE(y2->Utc);
    for (const char* bad : {"", "yesterday", "Sun, 06 Nox 1994 08:49:37 GMT",
                            "Sun, 06 Nov 1994 08:49 GMT", "Sun, 32 Nov 1994 08:49:37 GMT"})
        EXPECT_FALSE(ParseHTTPDate(bad)) << bad;
    // Packed layout: date in the high word, seconds halved.
    EXPECT_EQ(PackFileDate(1994, 11, 6, 8, 49, 37),
              (((1994u - 1980) << 9 | 11 << 5 | 6) << 16) | (8u << 11 | 49 << 5 | 18));
    EXPECT_EQ(PackFileDate(1970, 1, 1, 0, 0, 0), 0u); // before the layout's epoch
    auto t = UnpackFileDate(PackFileDate(2020, 2, 29, 23, 59, 58));
    ASSERT_TRUE(t);
    EXPECT_EQ(PackUnixTime(*t), PackFileDate(2020, 2, 29, 23, 59, 58));
    EXPECT_FALSE(UnpackFileDate(0));
}

TEST(HTTPText, DecimalsAndContentRange) {
    EXPECT_EQ(ParseDecimal("6442450947"), 6442450947);
    EXPECT_EQ(ParseDecimal("0"), 0);
    for (const char* bad : {"", "-1", "12a", " 12", "0x10", "1234567890123456789"})
        EXPECT_FALSE(ParseDecimal(bad)) << bad;
    EXPECT_EQ(ContentRangeStart("bytes 4294967298-4294967399/6442450947"), 4294967298);
    EXPECT_FALSE(ContentRangeStart("bytes */100"));
    EXPECT_FALSE(ContentRangeStart("items 1-2/3"));
}

TEST(HTTPText, RelativeAddressesResolveAgainstTheCurrentOne) {
    struct {
        const char *base, *link, *out;
    } cases[] = {
        {"http://h:81/a/b/c.zip", "d.zip", "http://h:81/a/b/d.zip"},
        {"http://h/a/b/c.zip", "/x/y.zip", "http://h/x/y.zip"},
        {"http://h/a/b/c.zip", "../y.zip", "http://h/a/y.zip"},
        {"http://h/a/b/c.zip", "./../../../y.zip", "http://h/y.zip"},
        {"http://h/a/b/c.zip?q=1", "d.zip?r=2", "http://h/a/b/d.zip?r=2"},
        {"http://h/a/", "?x", "http://h/a/?x"},
        {"http://h", "f.zip", "http://h/f.zip"},
        {"http://h/a/b", "//other/f", "http://other/f"},
        {"http://h/a/b", "ftp://x/y", "ftp://x/y"},
        {"http://u:p@h/a/b", "c", "http://u:p@h/a/c"},
        {"http://h/a/b", "..", "http://h/"},
    };
    for (auto& c : cases)
        EXPECT_EQ(ResolveURL(c.base, c.link), c.out) << c.base << " + " << c.link;
}

TEST(HTTPText, ControlCharacters) {
    EXPECT_FALSE(HasControlChars("http://h/a b\xe9.zip"));
    EXPECT_TRUE(HasControlChars("http://h/a\r\nX: y"));
    EXPECT_TRUE(HasControlChars(std::string("http://h/a\0b", 12)));
    EXPECT_TRUE(HasControlChars("http://h/\x7f"));
    EXPECT_TRUE(HasControlChars("http://h/\t"));
}
