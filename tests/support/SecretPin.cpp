#include "SecretPin.h"

#include "SoftHsmToken.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string.h>
#include <unistd.h>
#include <vector>

namespace {

struct Region {
    std::uintptr_t start;
    std::uintptr_t end;
};

// Larger mappings are reservations (a sanitizer's shadow memory, say)
// that would take hours to read and hold no data of the program's.
const std::uintptr_t largestRegion = std::uintptr_t(1) << 32;
const std::size_t chunkSize = std::size_t(1) << 20;

// The readable mappings of the process, read before any of them is scanned.
std::vector<Region> readableRegions() {
    std::vector<Region> regions;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::uintptr_t start = 0;
        std::uintptr_t end = 0;
        char dash = 0;
        std::string permissions;
        fields >> std::hex >> start >> dash >> end >> permissions;
        const bool special = line.find("[vvar]") != std::string::npos ||
                             line.find("[vsyscall]") != std::string::npos;
        if (permissions.empty() || permissions[0] != 'r' || special ||
            end - start > largestRegion) {
            continue;
        }
        regions.push_back(Region{start, end});
    }
    return regions;
}

// An open file descriptor, closed when it goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }

private:
    int m_fd;
};

// Zeroes a buffer when it goes out of scope, whichever way the scope is left.
class WipedOnExit {
public:
    explicit WipedOnExit(std::vector<unsigned char>& buffer) : m_buffer(buffer) {}
    ~WipedOnExit() { explicit_bzero(m_buffer.data(), m_buffer.size()); }
    WipedOnExit(const WipedOnExit&) = delete;
    WipedOnExit& operator=(const WipedOnExit&) = delete;

private:
    std::vector<unsigned char>& m_buffer;
};

} // namespace

void SecretPin::setOn(const SoftHsmToken& token) const {
    runCommand(std::string("pkcs11-tool --module ") + SoftHsmToken::kModule + " --login --pin '" +
               token.userPin() + "' --change-pin --new-pin " + shellWord());
}

std::string SecretPin::shellWord() const {
    std::string word = "\"$(printf %s";
    for (std::size_t i = 0; i < size(); ++i) {
        word += " '";
        word += at(i);
        word += "'";
    }
    return word + ")\"";
}

bool SecretPin::matchesAt(const unsigned char* bytes) const {
    for (std::size_t i = 0; i < size(); ++i) {
        if (bytes[i] != static_cast<unsigned char>(at(i))) {
            return false;
        }
    }
    return true;
}

bool SecretPin::occursIn(const unsigned char* bytes, std::size_t length) const {
    const unsigned char first = static_cast<unsigned char>(at(0));
    for (std::size_t i = 0; i + size() <= length; ++i) {
        const void* next = std::memchr(bytes + i, first, length - size() + 1 - i);
        if (!next) {
            return false;
        }
        i = static_cast<std::size_t>(static_cast<const unsigned char*>(next) - bytes);
        if (matchesAt(bytes + i)) {
            return true;
        }
    }
    return false;
}

bool SecretPin::heldInProcessMemory() const {
    if (m_masked.empty()) {
        throw std::logic_error("an empty PIN is everywhere");
    }
    const std::vector<Region> regions = readableRegions();
    const FileDescriptor memory(open("/proc/self/mem", O_RDONLY));
    if (memory.get() < 0) {
        throw std::runtime_error("cannot open /proc/self/mem");
    }
    // Consecutive chunks overlap by one PIN less a byte, so that a PIN
    // across a chunk's end is seen whole in the next one. The copy is wiped
    // afterwards, or the next search would find what this one read.
    std::vector<unsigned char> buffer(chunkSize + size());
    const WipedOnExit wipe(buffer);
    for (const Region& region : regions) {
        for (std::uintptr_t at = region.start; at < region.end; at += chunkSize) {
            const std::size_t wanted =
                static_cast<std::size_t>(std::min<std::uintptr_t>(region.end - at, buffer.size()));
            const ssize_t read = pread(memory.get(), buffer.data(), wanted, static_cast<off_t>(at));
            if (read <= 0) {
                break;
            }
            if (occursIn(buffer.data(), static_cast<std::size_t>(read))) {
                return true;
            }
        }
    }
    return false;
}
