#pragma once

// Names shared by the variant and the scriptable object classes, declared
// without pulling in their definitions.

#include <boost/shared_ptr.hpp>
#include <map>
#include <string>
#include <vector>

namespace FB {

class variant;
class JSAPI;
class JSObject;
class script_error;

typedef std::vector<variant> VariantList;
typedef std::map<std::string, variant> VariantMap;

typedef boost::shared_ptr<JSAPI> JSAPIPtr;
typedef boost::shared_ptr<JSObject> JSObjectPtr;

} // namespace FB
