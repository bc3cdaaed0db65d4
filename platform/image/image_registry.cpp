// Reading the Windows version out of a SYSTEM.DAT (the format is described
// in image_registry.h).  Every offset is checked against the file, and
// every walk along the keys' links is bounded, so that a damaged file gives
// "not found", never a crash or a loop.
#include "image_registry.h"

#include <stdint.h>
#include <string.h>
#include <strings.h>

#include <vector>

namespace {

const uint32_t kNone = 0xFFFFFFFF;
const uint32_t kRgkn = 0x20;           // where the RGKN block begins
const uint32_t kKeyEntrySize = 28;
const uint32_t kBlockHeaderSize = 32;
const uint32_t kKeyRecordHeaderSize = 20;
const uint32_t kValueHeaderSize = 12;
const uint16_t kFreeRecord = 0xFFFF;
const int kMostSiblings = 65536;       // a chain longer than this loops

class creg_file {
  public:
    explicit creg_file(const std::string& bytes) : bytes_(bytes) {}

    bool has(uint64_t offset, uint64_t length) const { return offset + length <= bytes_.size(); }
    uint16_t u16(uint64_t at) const {
        const unsigned char* p = data(at);
        return (uint16_t)(p[0] | p[1] << 8);
    }
    uint32_t u32(uint64_t at) const { return (uint32_t)u16(at) | (uint32_t)u16(at + 2) << 16; }
    bool text_at(uint64_t at, const char* text) const {
        size_t length = strlen(text);
        return has(at, length) && memcmp(data(at), text, length) == 0;
    }
    std::string bytes(uint64_t at, uint64_t length) const {
        return has(at, length) ? bytes_.substr(at, length) : "";
    }

    // Finds the RGKN block and the RGDB blocks; false when this is no CREG file.
    bool open() {
        if (!text_at(0, "CREG") || !text_at(kRgkn, "RGKN") || !has(kRgkn, kBlockHeaderSize))
            return false;
        uint64_t block = u32(8);
        while (has(block, kBlockHeaderSize) && text_at(block, "RGDB")) {
            uint32_t size = u32(block + 4);
            if (size < kBlockHeaderSize || !has(block, size)) break;
            blocks_.push_back(block);
            block += size;
        }
        return !blocks_.empty();
    }

    // The key entry at `offset` (from RGKN), if it lies in the file.
    bool key_entry(uint32_t offset, uint64_t* at) const {
        if (offset == kNone || offset < kBlockHeaderSize) return false;
        *at = kRgkn + (uint64_t)offset;
        return has(*at, kKeyEntrySize);
    }
    uint32_t root() const { return u32(kRgkn + 8); }

    // The record of the key whose entry is at `entry`, in its RGDB block.
    bool key_record(uint64_t entry, uint64_t* record) const {
        uint16_t number = u16(entry + 0x18), block = u16(entry + 0x1A);
        if (number == kFreeRecord || block >= blocks_.size()) return false;
        uint64_t start = blocks_[block], end = start + u32(start + 4);
        uint64_t at = start + kBlockHeaderSize;
        while (at + kKeyRecordHeaderSize <= end) {
            uint32_t size = u32(at);
            if (size < kKeyRecordHeaderSize || at + size > end) return false;
            if (u16(at + 4) == number) {
                *record = at;
                return true;
            }
            at += size;
        }
        return false;
    }

    std::string key_name(uint64_t record) const {
        return bytes(record + kKeyRecordHeaderSize, u16(record + 0x0C));
    }

    // A string value of the key's record; false when it has none of that name.
    bool string_value(uint64_t record, const char* name, std::string* value) const {
        uint64_t end = record + u32(record);
        uint64_t at = record + kKeyRecordHeaderSize + u16(record + 0x0C);
        for (uint16_t i = 0, count = u16(record + 0x0E); i < count; i++) {
            if (at + kValueHeaderSize > end) return false;
            uint16_t name_length = u16(at + 8), data_length = u16(at + 10);
            uint64_t next = at + kValueHeaderSize + name_length + data_length;
            if (next > end) return false;
            std::string value_name = bytes(at + kValueHeaderSize, name_length);
            if (strcasecmp(value_name.c_str(), name) == 0) {
                std::string data = bytes(at + kValueHeaderSize + name_length, data_length);
                *value = data.substr(0, data.find('\0'));  // stored with or without its NUL
                return true;
            }
            at = next;
        }
        return false;
    }

    // The subkey `name` of the key whose entry is at `parent`.
    bool subkey(uint64_t parent, const char* name, uint64_t* child) const {
        uint32_t offset = u32(parent + 0x10);
        for (int i = 0; i < kMostSiblings && key_entry(offset, child); i++) {
            uint64_t record;
            if (key_record(*child, &record) && strcasecmp(key_name(record).c_str(), name) == 0)
                return true;
            offset = u32(*child + 0x14);
        }
        return false;
    }

  private:
    const unsigned char* data(uint64_t at) const {
        return reinterpret_cast<const unsigned char*>(bytes_.data()) + at;
    }

    const std::string& bytes_;
    std::vector<uint64_t> blocks_;  // where each RGDB block begins, by number
};

}  // namespace

registry_version read_windows_version(const std::string& system_dat) {
    registry_version result;
    creg_file file(system_dat);
    uint64_t key;
    if (!file.open() || !file.key_entry(file.root(), &key)) {
        result.why_not = "SYSTEM.DAT is no Windows 95 registry file";
        return result;
    }
    for (const char* name : {"SOFTWARE", "Microsoft", "Windows", "CurrentVersion"}) {
        if (!file.subkey(key, name, &key)) {
            result.why_not =
                "SYSTEM.DAT lacks the key SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
            return result;
        }
    }
    uint64_t record;
    if (!file.key_record(key, &record) ||
        !file.string_value(record, "VersionNumber", &result.version) || result.version.empty()) {
        result.why_not = "SYSTEM.DAT records no VersionNumber";
        return result;
    }
    file.string_value(record, "SubVersionNumber", &result.service);
    result.found = true;
    return result;
}
