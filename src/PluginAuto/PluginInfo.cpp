#include "PluginInfo.h"

#include <boost/algorithm/string/split.hpp>
#include <map>
#include <vector>

namespace FB {

namespace {

const char* const pluginName = "Velmora_x86_64";
// Entries separated by ";", each made of MIME type, file extensions and
// description separated by ":".
const char* const mimeDescription = "application/x-velmora::Dastrel plugin para firma digital;";
const char* const unknownDescription = "Unknown Description";

// MIME type to description, filled on the first request; used on the
// browser's main thread only.
std::map<std::string, std::string> descMap;
bool nameParsed = false;

std::vector<std::string> splitKeepingEmpty(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    boost::algorithm::split(pieces, text, [separator](char c) { return c == separator; });
    return pieces;
}

void initPluginMetadata() {
    if (nameParsed) {
        return;
    }
    for (const std::string& entry : splitKeepingEmpty(mimeDescription, ';')) {
        const std::vector<std::string> fields = splitKeepingEmpty(entry, ':');
        if (fields.size() > 2) {
            descMap[fields[0]] = fields[2];
        }
    }
    nameParsed = true;
}

} // namespace

std::string getPluginName(const std::string& /*mimetype*/) {
    return pluginName;
}

std::string getPluginDescription(const std::string& mimetype) {
    try {
        initPluginMetadata();
        return descMap[mimetype];
    } catch (...) {
        return unknownDescription;
    }
}

std::string getPluginMimeType() {
    const std::string firstEntry = splitKeepingEmpty(mimeDescription, ';').front();
    return splitKeepingEmpty(firstEntry, ':').front();
}

bool pluginGuiEnabled() {
    return false;
}

} // namespace FB
