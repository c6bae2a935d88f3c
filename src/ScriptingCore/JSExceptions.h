#pragma once

// Exceptions whose text is shown to the page's script. They are raised by
// value and caught by reference; the subclasses differ only in their texts.

#include <exception>
#include <string>

namespace FB {

class script_error : public std::exception {
public:
    explicit script_error(const std::string& error) : m_error(error) {}

    const char* what() const noexcept override { return m_error.c_str(); }

private:
    std::string m_error;
};

// A call received arguments it cannot use.
class invalid_arguments : public script_error {
public:
    invalid_arguments() : script_error("Invalid Arguments") {}
    explicit invalid_arguments(const std::string& error) : script_error(error) {}
};

// The script object has been invalidated.
class object_invalidated : public script_error {
public:
    object_invalidated() : script_error("This object is no longer valid") {}
};

// The named member does not exist or is not accessible.
class invalid_member : public script_error {
public:
    explicit invalid_member(const std::string& memberName)
        : script_error("The specified member does not exist: " + memberName) {}
};

} // namespace FB
