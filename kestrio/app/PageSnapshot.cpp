#include "kestrio/app/PageSnapshot.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>
#include <gumbo.h>
#include <memory>

namespace kestrio {

namespace {

QString Attr(const GumboNode* n, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&n->v.element.attributes, name);
    return a ? QString::fromUtf8(a->value).trimmed() : QString();
}

// Visible text: text of the descendants with runs of white space as one blank.
void CollectText(const GumboNode* n, QString& out) {
    if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE ||
        n->type == GUMBO_NODE_CDATA) {
        out += QString::fromUtf8(n->v.text.text);
        return;
    }
    if (n->type != GUMBO_NODE_ELEMENT && n->type != GUMBO_NODE_TEMPLATE) return;
    const GumboTag t = n->v.element.tag;
    if (t == GUMBO_TAG_SCRIPT || t == GUMBO_TAG_STYLE) return;
    if (t == GUMBO_TAG_IMG) out += Attr(n, "alt");
    if (t == GUMBO_TAG_BR) out += ' ';
    const GumboVector& kids = n->v.element.children;
    for (unsigned i = 0; i < kids.length; ++i)
        CollectText(static_cast<const GumboNode*>(kids.data[i]), out);
}

struct Walker {
    QUrl base;
    QJsonArray links, images;
    std::vector<QString> frames;
    QString title;

    QString Absolute(const QString& ref) const {
        return base.resolved(QUrl(ref, QUrl::TolerantMode)).toString(QUrl::FullyEncoded);
    }
    void Visit(const GumboNode* n) {
        if (n->type != GUMBO_NODE_ELEMENT && n->type != GUMBO_NODE_TEMPLATE) return;
        const GumboTag t = n->v.element.tag;
        if ((t == GUMBO_TAG_A || t == GUMBO_TAG_AREA) &&
            gumbo_get_attribute(&n->v.element.attributes, "href")) {
            QString text;
            CollectText(n, text);
            QJsonObject link;
            link["href"] = Absolute(Attr(n, "href"));
            link["innerText"] = text.simplified();
            links.append(link);
        } else if (t == GUMBO_TAG_IMG && gumbo_get_attribute(&n->v.element.attributes, "src")) {
            QJsonObject img;
            img["src"] = Absolute(Attr(n, "src"));
            images.append(img);
        } else if ((t == GUMBO_TAG_FRAME || t == GUMBO_TAG_IFRAME) &&
                   gumbo_get_attribute(&n->v.element.attributes, "src")) {
            frames.push_back(Absolute(Attr(n, "src")));
        } else if (t == GUMBO_TAG_TITLE && title.isEmpty()) {
            CollectText(n, title);
            title = title.simplified();
        }
        const GumboVector& kids = n->v.element.children;
        for (unsigned i = 0; i < kids.length; ++i)
            Visit(static_cast<const GumboNode*>(kids.data[i]));
    }
};

const GumboNode* FindTag(const GumboNode* n, GumboTag tag) {
    if (n->type != GUMBO_NODE_ELEMENT) return nullptr;
    if (n->v.element.tag == tag) return n;
    const GumboVector& kids = n->v.element.children;
    for (unsigned i = 0; i < kids.length; ++i)
        if (const GumboNode* f = FindTag(static_cast<const GumboNode*>(kids.data[i]), tag))
            return f;
    return nullptr;
}

// The html element's markup. Where the page writes an <html> tag its text
// from there is taken as written; otherwise the page is wrapped in one.
QString HtmlMarkup(const QByteArray& utf8, const GumboNode* html) {
    if (html && html->v.element.original_tag.length > 0)
        return QString::fromUtf8(utf8.mid(html->v.element.start_pos.offset));
    QString text = QString::fromUtf8(utf8);
    static const QRegularExpression doctype("^\\s*<!doctype[^>]*>",
                                            QRegularExpression::CaseInsensitiveOption);
    text.remove(doctype);
    return "<HTML>" + text + "</HTML>";
}

} // namespace

QString DecodeBody(const QByteArray& body, const QString& contentType) {
    static const QRegularExpression metaUtf8("<meta[^>]+charset\\s*=\\s*[\"']?\\s*utf-?8",
                                             QRegularExpression::CaseInsensitiveOption);
    const bool declaredUtf8 =
        contentType.contains(QRegularExpression("charset\\s*=\\s*\"?utf-?8",
                                                QRegularExpression::CaseInsensitiveOption)) ||
        metaUtf8.match(QString::fromLatin1(body.left(4096))).hasMatch();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString asUtf8 = utf8.decode(body);
    if (declaredUtf8 || !utf8.hasError()) return asUtf8;
    QStringDecoder cp1252("windows-1252");
    if (cp1252.isValid()) return cp1252.decode(body);
    return QString::fromLatin1(body);
}

ParsedPage ParsePage(const QString& html, const QString& url) {
    const QByteArray utf8 = html.toUtf8();
    // Parse errors are not used; recording them copies the stack of open
    // elements into each, which for a deeply nested page grows with the
    // square of its depth (gigabytes for some tens of thousands of levels).
    static const GumboOptions options = [] {
        GumboOptions o = kGumboDefaultOptions;
        o.max_errors = 0;
        return o;
    }();
    std::unique_ptr<GumboOutput, void (*)(GumboOutput*)> out(
        gumbo_parse_with_options(&options, utf8.constData(), size_t(utf8.size())),
        [](GumboOutput* o) { gumbo_destroy_output(&options, o); });
    Walker w;
    w.base = QUrl(url, QUrl::TolerantMode);
    if (const GumboNode* b = FindTag(out->root, GUMBO_TAG_BASE)) {
        const QString href = Attr(b, "href");
        if (!href.isEmpty()) w.base = w.base.resolved(QUrl(href, QUrl::TolerantMode));
    }
    w.Visit(out->root);

    ParsedPage page;
    page.Document["title"] = w.title;
    page.Document["links"] = w.links;
    page.Document["images"] = w.images;
    QJsonObject element;
    element["tagName"] = "HTML";
    element["outerHTML"] = HtmlMarkup(utf8, FindTag(out->root, GUMBO_TAG_HTML));
    page.Document["all"] = QJsonArray{element};
    page.Document["selection"] = "";
    page.FrameURLs = std::move(w.frames);
    return page;
}

} // namespace kestrio
