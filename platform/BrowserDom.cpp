#include "platform/BrowserDom.h"

#include "platform/Cp1252.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <charconv>
#include <utility>

namespace platform {

DomError::DomError(std::string property, const std::string& message)
    : std::runtime_error(message), property_(std::move(property)) {}

using Args = std::vector<DomValue>;
using Ref = std::shared_ptr<DomObject>;

class DomObject {
public:
    virtual ~DomObject() = default;
    virtual const char* TypeName() const = 0;
    // False when the object has no member of that name.
    virtual bool Invoke(const Ref& self, std::string_view name, const Args& args,
                        DomValue& out) = 0;
    virtual bool Put(std::string_view, const DomValue&) { return false; }
    virtual bool StringValue(std::string&) const { return false; }
};

namespace {

bool NameIs(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Values for the objects of one page share its ownership.
DomValue Child(const Ref& self, DomObject* obj) {
    return DomValue(std::shared_ptr<DomObject>(self, obj));
}

void NoArgs(std::string_view name, const Args& args) {
    if (!args.empty())
        throw DomError(std::string(name), "\"" + std::string(name) + "\" takes no arguments");
}

class Location : public DomObject {
public:
    explicit Location(std::string href) : href_(std::move(href)) {}
    const char* TypeName() const override { return "location"; }
    bool Invoke(const Ref&, std::string_view name, const Args& args, DomValue& out) override {
        if (!NameIs(name, "href")) return false;
        NoArgs(name, args);
        out = href_;
        return true;
    }
    bool Put(std::string_view name, const DomValue& v) override {
        if (!NameIs(name, "href")) return false;
        assigned_.push_back(v.ToString());
        return true;
    }
    bool StringValue(std::string& out) const override {
        out = href_;
        return true;
    }
    const std::string& Href() const { return href_; }
    const std::vector<std::string>& Assigned() const { return assigned_; }

private:
    std::string href_;
    std::vector<std::string> assigned_;
};

// Plain objects whose members are all string properties: link, image,
// element, text range.
class Record : public DomObject {
public:
    Record(const char* type, std::vector<std::pair<const char*, std::string>> fields)
        : type_(type), fields_(std::move(fields)) {}
    const char* TypeName() const override { return type_; }
    bool Invoke(const Ref&, std::string_view name, const Args& args, DomValue& out) override {
        for (const auto& [key, value] : fields_) {
            if (!NameIs(name, key)) continue;
            NoArgs(name, args);
            out = value;
            return true;
        }
        return false;
    }

private:
    const char* type_;
    std::vector<std::pair<const char*, std::string>> fields_;
};

class Collection : public DomObject {
public:
    explicit Collection(const char* type) : type_(type) {}
    const char* TypeName() const override { return type_; }
    bool Invoke(const Ref& self, std::string_view name, const Args& args, DomValue& out) override {
        if (NameIs(name, "length")) {
            NoArgs(name, args);
            out = static_cast<int64_t>(items.size());
            return true;
        }
        if (!NameIs(name, "Item")) return false;
        // The second argument of all.Item is a sub-index among elements of
        // one name; with a numeric first argument it has no effect.
        if (args.empty() || args.size() > 2 || args[0].GetKind() != DomValue::Kind::Integer)
            throw DomError(std::string(name),
                           "\"" + std::string(name) + "\" of " + type_ + " takes a numeric index");
        int64_t i = args[0].ToInteger();
        if (i < 0 || i >= static_cast<int64_t>(items.size()))
            out = DomValue::NullFrom(std::string(name));
        else
            out = Child(self, items[static_cast<size_t>(i)]);
        return true;
    }
    std::vector<DomObject*> items;

private:
    const char* type_;
};

class Selection : public DomObject {
public:
    explicit Selection(Record* range) : range_(range) {}
    const char* TypeName() const override { return "selection"; }
    bool Invoke(const Ref& self, std::string_view name, const Args& args, DomValue& out) override {
        if (!NameIs(name, "createRange")) return false;
        NoArgs(name, args);
        out = Child(self, range_);
        return true;
    }

private:
    Record* range_;
};

class Document : public DomObject {
public:
    const char* TypeName() const override { return "document"; }
    bool Invoke(const Ref& self, std::string_view name, const Args& args, DomValue& out) override {
        DomObject* obj = nullptr;
        if (NameIs(name, "Title"))
            out = title;
        else if (NameIs(name, "URL"))
            out = url;
        else if (NameIs(name, "location"))
            obj = location;
        else if (NameIs(name, "links"))
            obj = links;
        else if (NameIs(name, "Images"))
            obj = images;
        else if (NameIs(name, "all"))
            obj = all;
        else if (NameIs(name, "selection"))
            obj = selection;
        else
            return false;
        NoArgs(name, args);
        if (obj) out = Child(self, obj);
        return true;
    }
    std::string title, url;
    Location* location = nullptr;
    Collection *links = nullptr, *images = nullptr, *all = nullptr;
    Selection* selection = nullptr;
};

class Window : public DomObject {
public:
    const char* TypeName() const override { return "window"; }
    bool Invoke(const Ref& self, std::string_view name, const Args& args, DomValue& out) override {
        DomObject* obj = nullptr;
        if (NameIs(name, "parent"))
            obj = parent ? parent : this;
        else if (NameIs(name, "location"))
            obj = location;
        else if (NameIs(name, "document"))
            obj = document;
        else if (NameIs(name, "frames"))
            obj = frames;
        else
            return false;
        NoArgs(name, args);
        if (denied && (obj == document || obj == frames))
            throw DomError(std::string(name), "Access denied: \"" + std::string(name) +
                                                  "\" of the frame at " + location->Href() +
                                                  " belongs to another site");
        out = Child(self, obj);
        return true;
    }
    bool denied = false;
    Window* parent = nullptr;
    Location* location = nullptr;
    Document* document = nullptr;
    Collection* frames = nullptr;
};

// Owns every object of one page; values keep it alive.
struct Page : DomObject {
    const char* TypeName() const override { return "page"; }
    bool Invoke(const Ref&, std::string_view, const Args&, DomValue&) override { return false; }
    template <class T, class... A> T* Make(A&&... a) {
        objects.push_back(std::make_unique<T>(std::forward<A>(a)...));
        return static_cast<T*>(objects.back().get());
    }
    std::vector<std::unique_ptr<DomObject>> objects;
};

// Reads the JSON into objects; errors name the field's path.
class Reader {
public:
    explicit Reader(Page& page) : page_(page) {}

    Window* ReadWindow(const QJsonValue& v, const std::string& path, Window* parent) {
        QJsonObject o = AsObject(v, path);
        auto* w = page_.Make<Window>();
        w->parent = parent;
        w->denied = Bool(o, "accessDenied", path);
        std::string url = Str(o, "url", path);
        w->location = page_.Make<Location>(url);
        w->document = ReadDocument(o.value("document"), path + ".document", url, w->location);
        w->frames = page_.Make<Collection>("frames");
        QJsonArray frames = Array(o, "frames", path);
        for (qsizetype i = 0; i < frames.size(); ++i)
            w->frames->items.push_back(
                ReadWindow(frames[i], path + ".frames[" + std::to_string(i) + "]", w));
        return w;
    }

private:
    Document* ReadDocument(const QJsonValue& v, const std::string& path, const std::string& url,
                           Location* location) {
        QJsonObject o = v.isUndefined() ? QJsonObject() : AsObject(v, path);
        auto* d = page_.Make<Document>();
        d->url = url;
        d->location = location;
        d->title = Str(o, "title", path);
        d->links = Records(o, "links", "links", path, {"href", "innerText"}, "link");
        d->images = Records(o, "images", "Images", path, {"src"}, "image");
        d->all = Records(o, "all", "all", path, {"tagName", "outerHTML"}, "element");
        auto* range = page_.Make<Record>(
            "text range",
            std::vector<std::pair<const char*, std::string>>{{"text", Str(o, "selection", path)}});
        d->selection = page_.Make<Selection>(range);
        return d;
    }

    Collection* Records(const QJsonObject& o, const char* key, const char* type,
                        const std::string& path, std::vector<const char*> fields,
                        const char* itemType) {
        auto* c = page_.Make<Collection>(type);
        QJsonArray a = Array(o, key, path);
        for (qsizetype i = 0; i < a.size(); ++i) {
            std::string itemPath = path + "." + key + "[" + std::to_string(i) + "]";
            QJsonObject item = AsObject(a[i], itemPath);
            std::vector<std::pair<const char*, std::string>> values;
            for (const char* f : fields)
                values.emplace_back(f, Str(item, f, itemPath));
            c->items.push_back(page_.Make<Record>(itemType, std::move(values)));
        }
        return c;
    }

    static QJsonObject AsObject(const QJsonValue& v, const std::string& path) {
        if (!v.isObject()) throw SnapshotError("snapshot: " + path + " must be an object");
        return v.toObject();
    }
    static std::string Str(const QJsonObject& o, const char* key, const std::string& path) {
        QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) return {};
        if (!v.isString())
            throw SnapshotError("snapshot: " + path + "." + key + " must be a string");
        return QStringToCp1252(v.toString());
    }
    static bool Bool(const QJsonObject& o, const char* key, const std::string& path) {
        QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) return false;
        if (!v.isBool())
            throw SnapshotError("snapshot: " + path + "." + key + " must be true or false");
        return v.toBool();
    }
    static QJsonArray Array(const QJsonObject& o, const char* key, const std::string& path) {
        QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) return {};
        if (!v.isArray())
            throw SnapshotError("snapshot: " + path + "." + key + " must be an array");
        return v.toArray();
    }

    Page& page_;
};

} // namespace

DomValue::DomValue(std::shared_ptr<DomObject> obj) : kind_(Kind::Object), obj_(std::move(obj)) {}

DomValue DomValue::NullFrom(std::string origin) {
    DomValue v;
    v.str_ = std::move(origin);
    return v;
}

static std::string Quoted(std::string_view name) {
    return "\"" + std::string(name) + "\"";
}

static std::string KindName(DomValue::Kind k) {
    switch (k) {
    case DomValue::Kind::Integer:
        return "a number";
    case DomValue::Kind::String:
        return "a string";
    default:
        return "a null value";
    }
}

DomValue DomValue::Call(std::string_view name, const std::vector<DomValue>& args) const {
    if (kind_ == Kind::Null)
        throw DomError(std::string(name), Quoted(name) + " read from a null value (" +
                                              Quoted(str_) + " gave no object)");
    if (kind_ != Kind::Object)
        throw DomError(std::string(name), Quoted(name) + " read from " + KindName(kind_));
    DomValue out;
    if (!obj_->Invoke(obj_, name, args, out))
        throw DomError(std::string(name), "The " + std::string(obj_->TypeName()) +
                                              " object has no property or method " + Quoted(name));
    return out;
}

DomValue DomValue::Get(std::string_view name) const {
    return Call(name);
}

void DomValue::Set(std::string_view name, const DomValue& value) const {
    if (kind_ != Kind::Object)
        throw DomError(std::string(name), Quoted(name) + " assigned on " + KindName(kind_));
    if (!obj_->Put(name, value))
        throw DomError(std::string(name), "The " + std::string(obj_->TypeName()) +
                                              " object has no assignable property " + Quoted(name));
}

std::string DomValue::ToString() const {
    switch (kind_) {
    case Kind::String:
        return str_;
    case Kind::Integer:
        return std::to_string(int_);
    case Kind::Object: {
        std::string s;
        if (obj_->StringValue(s)) return s;
        throw DomError("", "The " + std::string(obj_->TypeName()) + " object has no string value");
    }
    case Kind::Null:
        break;
    }
    throw DomError(str_, Quoted(str_) + " gave no value");
}

int64_t DomValue::ToInteger() const {
    if (kind_ == Kind::Integer) return int_;
    if (kind_ == Kind::String) {
        int64_t v = 0;
        const char* end = str_.data() + str_.size();
        auto r = std::from_chars(str_.data(), end, v);
        if (!str_.empty() && r.ec == std::errc() && r.ptr == end) return v;
        throw DomError("", "\"" + str_ + "\" is not a number");
    }
    if (kind_ == Kind::Null) throw DomError(str_, Quoted(str_) + " gave no value");
    throw DomError("", "The " + std::string(obj_->TypeName()) + " object is not a number");
}

std::vector<std::string> DomValue::AssignedHrefs() const {
    if (kind_ != Kind::Object) return {};
    DomObject* o = obj_.get();
    if (auto* w = dynamic_cast<Window*>(o)) o = w->location;
    if (auto* d = dynamic_cast<Document*>(o)) o = d->location;
    if (auto* l = dynamic_cast<Location*>(o)) return l->Assigned();
    return {};
}

bool DomValue::SameObject(const DomValue& other) const {
    return kind_ == Kind::Object && other.kind_ == Kind::Object && obj_.get() == other.obj_.get();
}

DomValue LoadBrowserSnapshot(const QByteArray& json) {
    QJsonParseError err;
    QJsonDocument doc = QJsonDocument::fromJson(json, &err);
    if (err.error != QJsonParseError::NoError)
        throw SnapshotError("snapshot: not valid JSON at offset " + std::to_string(err.offset) +
                            ": " + err.errorString().toStdString());
    if (!doc.isObject()) throw SnapshotError("snapshot: the top level must be an object");
    QJsonObject top = doc.object();
    QJsonValue format = top.value("format");
    if (!format.isUndefined() && format != QJsonValue("browser-page-snapshot"))
        throw SnapshotError("snapshot: unknown format");
    QJsonValue version = top.value("version");
    if (!version.isDouble() || version.toDouble() != 1)
        throw SnapshotError("snapshot: version must be 1");

    auto page = std::make_shared<Page>();
    Window* w = Reader(*page).ReadWindow(top.value("window"), "window", nullptr);
    QJsonValue active = top.value("activeFrame");
    if (!active.isUndefined()) {
        if (!active.isArray()) throw SnapshotError("snapshot: activeFrame must be an array");
        for (const QJsonValue& step : active.toArray()) {
            double k = step.toDouble(-1);
            if (!step.isDouble() || k != static_cast<double>(static_cast<int64_t>(k)) || k < 0 ||
                k >= static_cast<double>(w->frames->items.size()))
                throw SnapshotError("snapshot: activeFrame names no frame");
            w = static_cast<Window*>(w->frames->items[static_cast<size_t>(k)]);
        }
    }
    return DomValue(std::shared_ptr<DomObject>(page, w));
}

DomValue LoadBrowserSnapshotFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw SnapshotError("snapshot: cannot read " + path.toStdString() + ": " +
                            f.errorString().toStdString());
    return LoadBrowserSnapshot(f.readAll());
}

} // namespace platform
