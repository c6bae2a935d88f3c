#include "JSExceptions.h"

#include <gtest/gtest.h>
#include <string>
#include <typeinfo>

namespace {

TEST(JSExceptions, Texts) {
    struct Case {
        const char* label;
        FB::script_error error;
        const char* text;
    };
    const Case cases[] = {
        {"script_error", FB::script_error("Not implemented"), "Not implemented"},
        {"invalid_arguments", FB::invalid_arguments(), "Invalid Arguments"},
        {"invalid_arguments with text", FB::invalid_arguments("bad"), "bad"},
        {"object_invalidated", FB::object_invalidated(), "This object is no longer valid"},
        {"invalid_member", FB::invalid_member("echo"), "The specified member does not exist: echo"},
        {"invalid_member without name", FB::invalid_member(""),
         "The specified member does not exist: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_STREQ(c.error.what(), c.text);
    }
}

// Raises the subclass, catches it as script_error and returns what() of the
// caught object, which must still be the subclass's text.
template <typename Error> std::string caughtAsScriptError(const Error& error) {
    try {
        throw error;
    } catch (const FB::script_error& e) {
        EXPECT_TRUE(typeid(e) == typeid(Error));
        return e.what();
    }
}

TEST(JSExceptions, SubclassesAreCaughtAsScriptError) {
    EXPECT_EQ(caughtAsScriptError(FB::invalid_arguments()), "Invalid Arguments");
    EXPECT_EQ(caughtAsScriptError(FB::object_invalidated()), "This object is no longer valid");
    EXPECT_EQ(caughtAsScriptError(FB::invalid_member("x")),
              "The specified member does not exist: x");
}

TEST(JSExceptions, RaisingACaughtErrorByValueKeepsTheTextButNotTheSubclass) {
    try {
        try {
            throw FB::invalid_member("pin");
        } catch (const FB::script_error& e) {
            throw e;
        }
    } catch (const FB::invalid_member&) {
        FAIL() << "the subclass survived";
    } catch (const FB::script_error& e) {
        EXPECT_TRUE(typeid(e) == typeid(FB::script_error));
        EXPECT_STREQ(e.what(), "The specified member does not exist: pin");
    }
}

} // namespace
