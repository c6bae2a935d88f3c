#include <testbrowser/Identifiers.h>

#include <map>
#include <mutex>
#include <set>

namespace testbrowser::identifiers {

namespace {

struct Identifier {
    bool isString;
    std::string name;
    int32_t value;
};

struct Table {
    std::mutex mutex;
    std::map<std::string, Identifier*> byName;
    std::map<int32_t, Identifier*> byValue;
    std::set<const void*> all;
};

// Never freed: identifiers are valid for the life of the process.
Table& table() {
    static Table* instance = new Table;
    return *instance;
}

const Identifier* known(NPIdentifier identifier) {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.all.count(identifier) ? static_cast<const Identifier*>(identifier) : nullptr;
}

} // namespace

NPIdentifier fromString(const std::string& name) {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    Identifier*& entry = t.byName[name];
    if (!entry) {
        entry = new Identifier{true, name, 0};
        t.all.insert(entry);
    }
    return entry;
}

NPIdentifier fromInt(int32_t value) {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    Identifier*& entry = t.byValue[value];
    if (!entry) {
        entry = new Identifier{false, std::to_string(value), value};
        t.all.insert(entry);
    }
    return entry;
}

bool isKnown(NPIdentifier identifier) {
    return known(identifier) != nullptr;
}

bool isString(NPIdentifier identifier) {
    const Identifier* id = known(identifier);
    return id && id->isString;
}

std::string text(NPIdentifier identifier) {
    const Identifier* id = known(identifier);
    return id ? id->name : std::string();
}

std::optional<int32_t> number(NPIdentifier identifier) {
    const Identifier* id = known(identifier);
    if (!id || id->isString)
        return std::nullopt;
    return id->value;
}

NPIdentifier fromPropertyKey(const std::string& key) {
    bool canonical = !key.empty() && key.size() <= 10 && (key == "0" || key[0] != '0') &&
                     key.find_first_not_of("0123456789") == std::string::npos;
    if (canonical) {
        long long value = std::stoll(key);
        if (value <= INT32_MAX)
            return fromInt(static_cast<int32_t>(value));
    }
    return fromString(key);
}

} // namespace testbrowser::identifiers
