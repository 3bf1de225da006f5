#include "platform/BrowserDom.h"

#include <functional>
#include <gtest/gtest.h>

using platform::DomError;
using platform::DomValue;
using platform::LoadBrowserSnapshot;
using platform::LoadBrowserSnapshotFile;
using platform::SnapshotError;

namespace {

DomValue Fixture() {
    return LoadBrowserSnapshotFile(QString(VK_SOURCE_DIR) +
                                   "/platform/testdata/browser_two_frames.json");
}

DomValue Item(const DomValue& collection, int i) {
    return collection.Call("Item", {i});
}

} // namespace

// The reads a page saver makes, from the frame the user clicked in.
TEST(BrowserDom, ReadsPageAndFramesByName) {
    DomValue w = Fixture();
    DomValue top = w.Get("parent");
    EXPECT_TRUE(top.Get("parent").SameObject(top));
    EXPECT_FALSE(w.SameObject(top));

    EXPECT_EQ(top.Get("document").Get("location").ToString(), "http://h/d/p.htm");
    EXPECT_EQ(top.Get("document").Get("location").Get("href").ToString(), "http://h/d/p.htm");
    EXPECT_EQ(top.Get("document").Get("Url").ToString(), "http://h/d/p.htm");

    DomValue frames = top.Get("frames");
    ASSERT_EQ(frames.Get("length").ToInteger(), 2);
    EXPECT_TRUE(Item(frames, 0).SameObject(w));
    EXPECT_EQ(Item(frames, 0).Get("location").ToString(), "http://h/d/menu.htm");
    EXPECT_EQ(Item(frames, 0).Get("document").Get("Title").ToString(), "Menu");
    EXPECT_EQ(Item(frames, 0).Get("document").Get("URL").ToString(), "http://h/d/menu.htm");
    EXPECT_EQ(Item(frames, 1).Get("location").ToString(), "http://other/ad.htm");
    DomValue inner = Item(Item(frames, 0).Get("frames"), 0);
    EXPECT_TRUE(inner.Get("parent").SameObject(w));
    EXPECT_EQ(inner.Get("document").Get("Title").ToString(), "Inner");

    DomValue images = w.Get("document").Get("Images");
    ASSERT_EQ(images.Get("length").ToInteger(), 2);
    EXPECT_EQ(Item(images, 1).Get("src").ToString(), "http://h/d/m2.gif#x");
    EXPECT_EQ(Item(top.Get("document").Get("Images"), 0).Get("src").ToString(),
              "http://h/d/top.gif");

    // The walk over all up to the first HTML element.
    DomValue all = top.Get("document").Get("all");
    ASSERT_EQ(all.Get("length").ToInteger(), 3);
    EXPECT_EQ(all.Call("Item", {0, 0}).Get("tagName").ToString(), "!");
    DomValue html = all.Call("Item", {1, 0});
    EXPECT_EQ(html.Get("tagName").ToString(), "HTML");
    EXPECT_EQ(html.Get("outerHTML").ToString().substr(0, 12), "<HTML><HEAD>");

    DomValue links = w.Get("document").Get("Links");
    ASSERT_EQ(links.Get("length").ToInteger(), 3);
    EXPECT_EQ(Item(links, 1).Get("href").ToString(), "mailto:x@h");
    EXPECT_EQ(Item(links, 2).Get("innerText").ToString(), "");
    EXPECT_EQ(top.Get("document").Get("links").Get("length").ToInteger(), 0);

    EXPECT_EQ(w.Get("document").Get("selection").Call("createRange").Get("text").ToString(),
              "\xDC"
              "ber uns");
    EXPECT_EQ(top.Get("document").Get("selection").Get("createRange").Get("text").ToString(), "");
}

// Names are matched as the browser's dispatch matches them: the page saver
// writes both "links" and "Links", "Url" and "URL".
TEST(BrowserDom, NamesIgnoreCase) {
    DomValue d = Fixture().Get("document");
    for (const char* name : {"links", "Links", "LINKS"})
        EXPECT_EQ(d.Get(name).Get("LENGTH").ToInteger(), 3) << name;
    for (const char* name : {"URL", "Url", "url"})
        EXPECT_EQ(d.Get(name).ToString(), "http://h/d/menu.htm") << name;
    for (const char* name : {"Title", "title", "TITLE"})
        EXPECT_EQ(d.Get(name).ToString(), "Menu") << name;
    EXPECT_EQ(d.Get("all").Call("item", {0}).Get("TagName").ToString(), "HTML");
    EXPECT_EQ(d.Get("Selection").Call("CreateRange").Get("Text").ToString(), "\xDC"
                                                                             "ber uns");
}

TEST(BrowserDom, ErrorsNameTheProperty) {
    DomValue w = Fixture();
    DomValue frames = w.Get("parent").Get("frames");
    struct Case {
        const char* what;
        std::function<void()> run;
        const char* property;
        const char* inMessage;
    } cases[] = {
        {"window lacks it", [&] { w.Get("opener"); }, "opener", "\"opener\""},
        {"document lacks it", [&] { w.Get("document").Get("cookie"); }, "cookie", "\"cookie\""},
        {"link lacks it", [&] { Item(w.Get("document").Get("links"), 0).Get("src"); }, "src",
         "\"src\""},
        {"image lacks it", [&] { Item(w.Get("document").Get("Images"), 0).Get("href"); }, "href",
         "\"href\""},
        {"frames lacks it", [&] { frames.Get("count"); }, "count", "\"count\""},
        {"document of a foreign frame", [&] { Item(frames, 1).Get("document"); }, "document",
         "Access denied"},
        {"frames of a foreign frame", [&] { Item(frames, 1).Get("Frames"); }, "Frames",
         "http://other/ad.htm"},
        {"read past the end", [&] { Item(frames, 2).Get("document"); }, "document", "\"Item\""},
        {"string value of a null", [&] { Item(frames, -1).ToString(); }, "Item", "\"Item\""},
        {"member of a string", [&] { w.Get("location").Get("href").Get("length"); }, "length",
         "a string"},
        {"index not a number", [&] { frames.Call("Item", {"0"}); }, "Item", "numeric"},
        {"argument to a property", [&] { w.Call("document", {1}); }, "document", "no arguments"},
        {"assigning a read-only name", [&] { w.Get("document").Set("Title", "x"); }, "Title",
         "\"Title\""},
        {"string value of a document", [&] { w.Get("document").ToString(); }, "", "no string"},
    };
    for (const Case& c : cases) {
        try {
            c.run();
            ADD_FAILURE() << c.what << ": no error";
        } catch (const DomError& e) {
            EXPECT_EQ(e.Property(), c.property) << c.what;
            EXPECT_NE(std::string(e.what()).find(c.inMessage), std::string::npos)
                << c.what << ": " << e.what();
        }
    }
    // The refused frame's address stays readable: the frame element shows it.
    EXPECT_EQ(Item(frames, 1).Get("location").Get("href").ToString(), "http://other/ad.htm");
    EXPECT_TRUE(Item(frames, 1).Get("parent").SameObject(w.Get("parent")));
}

TEST(BrowserDom, AssignedHrefIsRecordedOnItsDocument) {
    DomValue w = Fixture();
    DomValue location = w.Get("document").Get("location");
    location.Set("href", "http://h/get.zip");
    w.Get("document").Get("LOCATION").Set("HREF", "http://h/b.exe");
    const std::vector<std::string> expected = {"http://h/get.zip", "http://h/b.exe"};
    EXPECT_EQ(w.AssignedHrefs(), expected);
    EXPECT_EQ(w.Get("document").AssignedHrefs(), expected);
    EXPECT_EQ(w.Get("location").AssignedHrefs(), expected); // one object for both
    EXPECT_EQ(location.Get("href").ToString(), "http://h/d/menu.htm");
    EXPECT_TRUE(w.Get("parent").AssignedHrefs().empty());
    EXPECT_TRUE(DomValue("x").AssignedHrefs().empty());
}

TEST(BrowserDom, TextsArriveAsWindows1252) {
    DomValue top = Fixture().Get("parent");
    // e-acute, en dash, u-umlaut; the Greek letter has no byte and becomes "?".
    EXPECT_EQ(top.Get("document").Get("Title").ToString(), "  Caf\xE9 \x96 Men\xFC ? ");
    std::string html =
        top.Get("document").Get("all").Call("Item", {1, 0}).Get("outerHTML").ToString();
    EXPECT_NE(html.find("<TITLE>Caf\xE9</TITLE>"), std::string::npos);
    EXPECT_EQ(Item(Fixture().Get("document").Get("links"), 0).Get("innerText").ToString(),
              " \xDC"
              "ber uns ");
}

// A value alone keeps its page alive.
TEST(BrowserDom, ValueOutlivesTheWindowItCameFrom) {
    DomValue link = Item(Fixture().Get("document").Get("links"), 2);
    DomValue top = Fixture().Get("parent").Get("parent");
    EXPECT_EQ(link.Get("href").ToString(), "http://h/get.zip");
    EXPECT_EQ(top.Get("frames").Get("length").ToInteger(), 2);
}

TEST(BrowserDom, ConversionsOfPlainValues) {
    EXPECT_EQ(DomValue(42).ToString(), "42");
    EXPECT_EQ(DomValue("-7").ToInteger(), -7);
    EXPECT_THROW(DomValue("7x").ToInteger(), DomError);
    EXPECT_THROW(DomValue("").ToInteger(), DomError);
    EXPECT_THROW(DomValue().ToString(), DomError);
}

TEST(BrowserDom, MinimalAndBrokenSnapshots) {
    DomValue w = LoadBrowserSnapshot(R"({"version": 1, "window": {}})");
    EXPECT_EQ(w.Get("document").Get("Title").ToString(), "");
    EXPECT_EQ(w.Get("frames").Get("length").ToInteger(), 0);
    EXPECT_EQ(w.Get("document").Get("all").Get("length").ToInteger(), 0);
    EXPECT_TRUE(w.Get("parent").SameObject(w));

    struct Case {
        const char* json;
        const char* inMessage;
    } cases[] = {
        {"{\"version\": 1, \"window\": {", "not valid JSON"},
        {"[1]", "top level"},
        {R"({"window": {}})", "version"},
        {R"({"version": 2, "window": {}})", "version"},
        {R"({"format": "other", "version": 1, "window": {}})", "format"},
        {R"({"version": 1})", "window must be an object"},
        {R"({"version": 1, "window": {"url": 5}})", "window.url"},
        {R"({"version": 1, "window": {"accessDenied": "yes"}})", "window.accessDenied"},
        {R"({"version": 1, "window": {"frames": [{}, {"document": {"title": []}}]}})",
         "window.frames[1].document.title"},
        {R"({"version": 1, "window": {"document": {"links": [{"href": 1}]}}})",
         "window.document.links[0].href"},
        {R"({"version": 1, "window": {"document": {"all": {}}}})", "window.document.all"},
        {R"({"version": 1, "window": {"frames": [{}]}, "activeFrame": [1]})", "activeFrame"},
        {R"({"version": 1, "window": {"frames": [{}]}, "activeFrame": [0.5]})", "activeFrame"},
        {R"({"version": 1, "window": {}, "activeFrame": 0})", "activeFrame"},
    };
    for (const Case& c : cases) {
        try {
            LoadBrowserSnapshot(c.json);
            ADD_FAILURE() << c.json << ": loaded";
        } catch (const SnapshotError& e) {
            EXPECT_NE(std::string(e.what()).find(c.inMessage), std::string::npos)
                << c.json << ": " << e.what();
        }
    }
    EXPECT_THROW(LoadBrowserSnapshotFile("/nonexistent/x.json"), SnapshotError);
}
