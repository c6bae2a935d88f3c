// The module's copy of the browser's function table and the browser
// functions that need no instance.

#include "NpapiPluginModule.h"
#include "NpapiTypes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using FB::Npapi::copyNPBrowserFuncs;
using FB::Npapi::NpapiPluginModule;

namespace {

typedef NPNetscapeFuncs F;

// One entry of the table, as a name and its place.
struct Entry {
    const char* name;
    std::size_t offset;
};

#define TABLE_ENTRY(field)                                                                         \
    Entry {                                                                                        \
#field, offsetof(NPNetscapeFuncs, field)                                                   \
    }

const std::vector<Entry> alwaysCopied = {
    TABLE_ENTRY(geturl),
    TABLE_ENTRY(posturl),
    TABLE_ENTRY(requestread),
    TABLE_ENTRY(newstream),
    TABLE_ENTRY(write),
    TABLE_ENTRY(destroystream),
    TABLE_ENTRY(status),
    TABLE_ENTRY(uagent),
    TABLE_ENTRY(memalloc),
    TABLE_ENTRY(memfree),
    TABLE_ENTRY(memflush),
    TABLE_ENTRY(reloadplugins),
    TABLE_ENTRY(geturlnotify),
    TABLE_ENTRY(posturlnotify),
    TABLE_ENTRY(getvalue),
    TABLE_ENTRY(setvalue),
    TABLE_ENTRY(invalidaterect),
    TABLE_ENTRY(invalidateregion),
    TABLE_ENTRY(forceredraw),
    TABLE_ENTRY(getstringidentifier),
    TABLE_ENTRY(getstringidentifiers),
    TABLE_ENTRY(getintidentifier),
    TABLE_ENTRY(identifierisstring),
    TABLE_ENTRY(utf8fromidentifier),
    TABLE_ENTRY(intfromidentifier),
    TABLE_ENTRY(createobject),
    TABLE_ENTRY(retainobject),
    TABLE_ENTRY(releaseobject),
    TABLE_ENTRY(invoke),
    TABLE_ENTRY(invokeDefault),
    TABLE_ENTRY(evaluate),
    TABLE_ENTRY(getproperty),
    TABLE_ENTRY(setproperty),
    TABLE_ENTRY(removeproperty),
    TABLE_ENTRY(hasproperty),
    TABLE_ENTRY(hasmethod),
    TABLE_ENTRY(releasevariantvalue),
    TABLE_ENTRY(setexception),
    TABLE_ENTRY(construct),
};

const std::vector<Entry> popupEntries = {TABLE_ENTRY(pushpopupsenabledstate),
                                         TABLE_ENTRY(poppopupsenabledstate)};
const std::vector<Entry> enumerateEntries = {TABLE_ENTRY(enumerate)};
const std::vector<Entry> urlEntries = {TABLE_ENTRY(getvalueforurl), TABLE_ENTRY(setvalueforurl),
                                       TABLE_ENTRY(getauthenticationinfo)};
const std::vector<Entry> timerEntries = {TABLE_ENTRY(scheduletimer), TABLE_ENTRY(unscheduletimer)};
const std::vector<Entry> neverCopied = {
    TABLE_ENTRY(getJavaEnv),           TABLE_ENTRY(getJavaPeer),
    TABLE_ENTRY(popupcontextmenu),     TABLE_ENTRY(convertpoint),
    TABLE_ENTRY(handleevent),          TABLE_ENTRY(unfocusinstance),
    TABLE_ENTRY(urlredirectresponse),  TABLE_ENTRY(initasyncsurface),
    TABLE_ENTRY(finalizeasyncsurface), TABLE_ENTRY(setcurrentasyncsurface)};

#undef TABLE_ENTRY

// A browser table whose every entry is set to a recognisable non-NULL value.
NPNetscapeFuncs fullTable(uint16_t version) {
    NPNetscapeFuncs table;
    std::memset(&table, 0x5A, sizeof table);
    table.size = sizeof table;
    table.version = version;
    return table;
}

bool isSet(const NPNetscapeFuncs& table, const Entry& entry) {
    void* value = nullptr;
    std::memcpy(&value, reinterpret_cast<const char*>(&table) + entry.offset, sizeof value);
    return value != nullptr;
}

// Entries past size are expected NULL whatever the version.
void expectEntries(const NPNetscapeFuncs& table, const std::vector<Entry>& entries, bool set,
                   uint16_t version, std::size_t size = sizeof(NPNetscapeFuncs)) {
    for (const Entry& entry : entries) {
        const bool within = entry.offset + sizeof(void*) <= size;
        EXPECT_EQ(isSet(table, entry), set && within) << entry.name << " at version " << version;
    }
}

TEST(BrowserTable, EachVersionAddsItsEntriesAndTheSchedulerIsAlwaysTheModules) {
    for (uint16_t version : {15, 16, 17, 18, 20, 21, 22, 23, 29}) {
        const NPNetscapeFuncs browser = fullTable(version);
        NPNetscapeFuncs copy{};
        copyNPBrowserFuncs(&copy, &browser, nullptr);
        EXPECT_EQ(copy.size, sizeof(NPNetscapeFuncs));
        EXPECT_EQ(copy.version, version);
        expectEntries(copy, alwaysCopied, true, version);
        expectEntries(copy, popupEntries, version >= 16, version);
        expectEntries(copy, enumerateEntries, version >= 18, version);
        expectEntries(copy, urlEntries, version >= 21, version);
        expectEntries(copy, timerEntries, version >= 23, version);
        expectEntries(copy, neverCopied, false, version);
        EXPECT_EQ(copy.pluginthreadasynccall, &NpapiPluginModule::scheduleAsyncCallback);
        EXPECT_EQ(std::memcmp(&copy.geturl, &browser.geturl, sizeof copy.geturl), 0);
    }
}

// An older browser hands a shorter table: nothing past its size is read
// (the sanitizer build would see the read), whatever its version claims.
TEST(BrowserTable, NothingBeyondTheBrowsersSizeIsCopied) {
    const std::size_t size = offsetof(NPNetscapeFuncs, enumerate);
    std::unique_ptr<char[]> memory(new char[size]);
    std::memset(memory.get(), 0x5A, size);
    NPNetscapeFuncs* browser = reinterpret_cast<NPNetscapeFuncs*>(memory.get());
    browser->size = static_cast<uint16_t>(size);
    browser->version = 29;
    NPNetscapeFuncs copy{};
    copyNPBrowserFuncs(&copy, browser, nullptr);
    EXPECT_EQ(copy.size, size);
    expectEntries(copy, alwaysCopied, true, 29, size);
    expectEntries(copy, popupEntries, true, 29, size);
    expectEntries(copy, enumerateEntries, true, 29, size);
    expectEntries(copy, urlEntries, true, 29, size);
    expectEntries(copy, timerEntries, true, 29, size);
    EXPECT_TRUE(isSet(copy, alwaysCopied.front()));
    EXPECT_FALSE(isSet(copy, alwaysCopied.back())) << "construct lies past the size";
    EXPECT_EQ(copy.pluginthreadasynccall, &NpapiPluginModule::scheduleAsyncCallback);
}

TEST(BrowserTable, NoTableGivesOnlyTheScheduler) {
    NPNetscapeFuncs copy{};
    copyNPBrowserFuncs(&copy, nullptr, nullptr);
    EXPECT_EQ(copy.size, 0);
    expectEntries(copy, alwaysCopied, false, 0);
    EXPECT_EQ(copy.pluginthreadasynccall, &NpapiPluginModule::scheduleAsyncCallback);
}

// --- The module's browser functions ----------------------------------------------

NPNetscapeFuncs emptyTable() {
    NPNetscapeFuncs table{};
    table.size = sizeof table;
    table.version = 29;
    return table;
}

TEST(ModuleFunctions, MissingEntriesGiveTheirFixedAnswers) {
    NpapiPluginModule module;
    const NPNetscapeFuncs browser = emptyTable();
    module.setNetscapeFuncs(&browser);
    EXPECT_EQ(module.NPNFuncs.pluginthreadasynccall, &NpapiPluginModule::scheduleAsyncCallback);
    NPObject object{};
    EXPECT_EQ(module.MemAlloc(16), nullptr);
    EXPECT_EQ(module.MemFlush(16), 0u);
    EXPECT_EQ(module.GetStringIdentifier("a"), nullptr);
    EXPECT_EQ(module.GetIntIdentifier(3), nullptr);
    EXPECT_TRUE(module.IdentifierIsString(nullptr));
    EXPECT_EQ(module.UTF8FromIdentifier(nullptr), nullptr);
    EXPECT_EQ(module.IntFromIdentifier(nullptr), 1);
    EXPECT_EQ(module.RetainObject(&object), &object);
    EXPECT_EQ(module.StringFromIdentifier(nullptr), "");
    module.MemFree(&object);
    module.ReleaseObject(&object);
    module.ReloadPlugins(true);
    NPVariant value{};
    module.ReleaseVariantValue(&value);
    const NPUTF8* names[] = {"a"};
    NPIdentifier ids[1] = {&object};
    module.GetStringIdentifiers(names, 1, ids);
    EXPECT_EQ(ids[0], &object);
}

std::vector<void*> g_freed;

TEST(ModuleFunctions, AnIdentifierWithoutTextReadsEmptyAndTheBrowsersBufferIsFreed) {
    NPNetscapeFuncs browser = emptyTable();
    browser.utf8fromidentifier = [](NPIdentifier identifier) -> NPUTF8* {
        return identifier ? strdup("member") : nullptr;
    };
    browser.memfree = [](void* block) {
        g_freed.push_back(block);
        std::free(block);
    };
    NpapiPluginModule module;
    module.setNetscapeFuncs(&browser);
    g_freed.clear();
    EXPECT_EQ(module.StringFromIdentifier(nullptr), "");
    ASSERT_EQ(g_freed.size(), 1u);
    EXPECT_EQ(g_freed[0], nullptr);
    int named = 0;
    EXPECT_EQ(module.StringFromIdentifier(&named), "member");
    ASSERT_EQ(g_freed.size(), 2u);
    EXPECT_NE(g_freed[1], nullptr);
}

TEST(ModuleFunctions, VersionIsThePluginsAndTheBrowsers) {
    NPNetscapeFuncs browser = emptyTable();
    browser.version = 0x0119;
    NpapiPluginModule module;
    module.setNetscapeFuncs(&browser);
    int pluginMajor = -1, pluginMinor = -1, browserMajor = -1, browserMinor = -1;
    module.Version(&pluginMajor, &pluginMinor, &browserMajor, &browserMinor);
    EXPECT_EQ(pluginMajor, 0);
    EXPECT_EQ(pluginMinor, 27);
    EXPECT_EQ(browserMajor, 1);
    EXPECT_EQ(browserMinor, 0x19);
}

} // namespace
