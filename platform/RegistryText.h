// regedit's export text: reading it into a list of changes and writing a hive back as text.
// Reading takes the three forms regedit and administrators produce (UTF-8 version 5.00 with or
// without a byte-order mark, UTF-16LE version 5.00 with one, REGEDIT4); writing is always UTF-8
// version 5.00 with CR LF line ends. Nothing here touches the disk.
#pragma once

#include "RegistryHive.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace levora {

// Keys below their root deeper than this are damage, as Windows refuses them.
constexpr size_t kMaxKeyDepth = 512;

enum class Root { Machine, Other, Invalid };

// Turns "HKLM\a\b\" into "HKEY_LOCAL_MACHINE\a\b"; HKEY_CLASSES_ROOT becomes HKLM\Software\Classes.
// Other roots keep their full name and are Other; an empty component, a line break or more than
// kMaxKeyDepth levels make the path Invalid.
Root normalizeKey(const std::string& full, std::string& out);

// One change a .reg file asks for.
struct RegOp {
    enum Kind { Key, DeleteKey, Set, DeleteValue } kind;
    std::string key;
    Root root = Root::Machine;
    RegValue val;
};

// Where and why a text is not a registry file.
struct RegTextError {
    std::string file;
    size_t line = 0; // 1-based
    std::string what;
    // "FILE, line N: WHAT"
    std::string message() const;
};

struct RegText {
    std::vector<RegOp> ops;
    RegTextError error; // error.line == 0: the text parsed
    bool ok() const { return error.line == 0; }
};

// Parses a whole file's bytes; `fileName` only names the file in errors. Time and memory are
// linear in the size. A text whose last line has no line break was cut off and is refused; with
// `emptyIsValid` a text of nothing but blanks is an empty registry rather than an error.
RegText loadKeys(std::string_view bytes, const std::string& fileName, bool emptyIsValid);

// Applies parsed changes in order.
void applyAll(RegHive& h, const std::vector<RegOp>& ops);

// The whole hive, or one key and everything below it, as version 5.00 text with CR LF line ends.
std::string writeKeys(const RegHive& h, const std::string& onlyKey = {});
// The machine's own store: as writeKeys, but a key with no values of its own is written only when
// it has no subkeys either (reading a subkey's section makes it again). A deep key then costs its
// length once, not once per level.
std::string writeStoreKeys(const RegHive& h);

// At most a short, single-line piece of `text` for an error message.
std::string excerpt(std::string_view text);

} // namespace levora
