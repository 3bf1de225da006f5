#include "ToolsUnit.h"

#include <gtest/gtest.h>

using namespace kestrio;

namespace {

TEST(ToolsUnit, ResolveURL) {
    struct Case {
        const char *base, *ref, *result;
    } cases[] = {
        {"http://h/d/p.htm", "x.htm", "http://h/d/x.htm"},
        {"http://h/d/p.htm", "../x.htm", "http://h/x.htm"},
        {"http://h/d/p.htm", "/a/x.htm", "http://h/a/x.htm"},
        {"http://h/d/p.htm", "x.htm?a=1", "http://h/d/x.htm?a=1"},
        {"http://h/d/p.htm", "./x.htm", "http://h/d/./x.htm"},
        {"http://h/", "../x", "http://x"},
        {"http://h/d/p.htm", "", "http://h/d/"},
        {"http://h/d/p.htm", "#top", "http://h/d/#top"},
        {"http://h/d/p.htm", "HTTPS://o/y", "HTTPS://o/y"},
        {"http://h/d/p.htm", "a\\b\\c.htm", "http://h/d/a/b/c.htm"},
        {"http://h\\d\\p.htm", "x.htm", "http://h/d/x.htm"},
        {"http://h/a/b/c/p.htm", "../../x/../y.htm", "http://h/a/y.htm"},
        // A base naming only a host stands for its root.
        {"http://h", "x.htm", "http://h/x.htm"},
        {"http://h", "/x.htm", "http://h/x.htm"},
        {"http://h?q=1", "x.htm", "http://h/x.htm"},
        {"http://h#top", "x.htm", "http://h/x.htm"},
        {"", "", ""},
        {"", "../../x", "x"},
        {"p.htm", "x.htm", "p.htmx.htm"}, // no "/" at all: the base is all directory
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolveURL(c.base, c.ref), c.result) << c.base << " + " << c.ref;
}

TEST(ToolsUnit, SplitURL) {
    struct Case {
        const char *u, *root, *dir, *file;
    } cases[] = {
        {"http://host/dir/sub/page.htm?x=1", "http://host/", "dir/sub/", "page.htm?x=1"},
        {"http://host/page.htm", "http://host/", "", "page.htm"},
        {"http://host/d/?p=2", "http://host/", "d/", "?p=2"},
        {"http://host", "", "http://host", ""},
        {"a/b/c", "a/", "b/", "c"},
        {"page.htm", "", "page.htm", ""},
        {"", "", "", ""},
        {"http://h/x?u=http://o/y", "http://h/", "x?u=http://o/", "y"},
    };
    for (const Case& c : cases) {
        TSplitURL s = SplitURL(c.u);
        EXPECT_EQ(s.Root, c.root) << c.u;
        EXPECT_EQ(s.Directory, c.dir) << c.u;
        EXPECT_EQ(s.FileName, c.file) << c.u;
        EXPECT_EQ(GetRoot(c.u), c.root);
        EXPECT_EQ(GetDirectory(c.u), std::string(c.root) + c.dir);
        EXPECT_EQ(GetFileName(c.u), c.file);
    }
}

TEST(ToolsUnit, GetExtension) {
    struct Case {
        const char *u, *ext;
    } cases[] = {
        {"http://h/get.php?f=a.zip", "zip"},
        {"http://h/a.ZIP", "ZIP"},
        {"http://h/d.x/file", ""},
        {"http://h/a.b:c", ""},
        {"http://h/a.b\\c", ""},
        {"http://h/a.", ""},
        {"logo.gif", "gif"},
        {"2index.htm", "htm"},
        {"http://www.h.com", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetExtension(c.u), c.ext) << c.u;
}

TEST(ToolsUnit, SmallHelpers) {
    EXPECT_EQ(StripFragment("http://h/p.htm#a#b"), "http://h/p.htm");
    EXPECT_EQ(GetFragment("http://h/p.htm#a#b"), "#a#b");
    EXPECT_EQ(StripFragment("http://h/p.htm"), "http://h/p.htm");
    EXPECT_EQ(GetFragment("http://h/p.htm"), "");

    struct Case {
        const char *v, *clean;
    } cases[] = {
        {"'x.htm'", "x.htm"}, {"\"x\n.h\ttm\r\"", "x.htm"},
        {"x.htm ", "x.htm "}, {"x.htm\n", "x.htm"},
        {"''x''", "'x'"},     {"\"", ""},
        {"'a\"", "a"},        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CleanValue(c.v), c.clean) << c.v;

    EXPECT_TRUE(IsNotMailto("http://h/a.htm"));
    EXPECT_FALSE(IsNotMailto("MailTo:someone@h"));
    EXPECT_FALSE(IsNotMailto("http://h/x?to=mailto:a"));
    EXPECT_TRUE(IsNotMailto(""));

    EXPECT_EQ(TitleToFolderName("My Page: 5/9 (Notes)"), "My Page 59 Notes");
    EXPECT_EQ(TitleToFolderName("Caf\xE9 \xA9 2_x-y.\x80\xFF"), "Caf\xE9  2_x-y\xFF");
}

} // namespace
