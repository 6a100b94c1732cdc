// The user's save key: what lets the save engine (savefiles.cpp) tell a
// record of its own from anything else that stands beside a document. Not
// for use outside platform/.
//
// The key is 32 random bytes in the file "Brenvolta.key" of the settings
// folder (WinFolderPath), mode 0600, made once: written whole beside its
// name and then given the name only where none stands yet, so that two
// copies starting at once end with the one key. It is used only where it
// is this user's regular file, readable by no one else, of 32 bytes; it is
// never shown, and never replaced.
#pragma once

#include <string>

namespace savekey {

constexpr char kKeyFileName[] = "Brenvolta.key";

// The key of the settings folder in use; with make, made there when there
// is none yet (unless SetSaveKeyMayBeMade turned that off). Empty where
// none can be had (there is none and none is to be made, the folder takes
// no file, or what stands at the key's name is not a private file of this
// user). A save that writes a record makes it; an open only reads it, so
// that an open writes nothing in the settings folder.
std::string Key(bool make);

// HMAC-SHA256 of bytes under key: 32 raw bytes.
std::string Mac(const std::string& key, const std::string& bytes);

// The BLAKE2b-256 hash of bytes (what tells one content from another, fast
// enough to hash every file a save writes), as 64 lower-case hex digits.
std::string ContentHash(const char* data, size_t size);
inline std::string ContentHash(const std::string& data) { return ContentHash(data.data(), data.size()); }

}  // namespace savekey
