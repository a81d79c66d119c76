#pragma once

// What the units of VoRegistry share: the source name of their exceptions, key paths resolved
// under each operation's root rules, and the conversion of an Item's data for writing.

#include <optional>
#include <sx/SxList.h>
#include <sx/SxString.h>
#include <vector>
#include <voplatform/RegKey.h>
#include <voutil/VoRegistry.h>
#include <windows.h>

namespace voregistry {

inline constexpr char kSource[] = "src/util/VoRegistry";
inline constexpr char kPlaceholder[] = "{{VODRIVE}}";

/// How an operation answers for the reserved root "REGISTRY" and for an unknown root. Each
/// policy has one row in the table of root rules (VoRegistryKeys.cpp).
enum class RootPolicy {
   Question, ///< contains, isWritable and the removals: no answer for the reserved root
   Readable, ///< isReadable
   Value,    ///< isVal and getVal
   Count,    ///< getNElems: no answer (0) for the reserved root
   Create,   ///< mkdir_p and mkdir_pAsAdmin
   Set,      ///< setVal and setValAsAdmin
};

/// A key path taken apart below one of the five roots.
struct KeyPath {
   SxString text;          ///< the key path as the caller wrote it, for messages
   HKEY root = nullptr;    ///< the predefined root key
   SxList<SxString> names; ///< the key names below the root
   SxString subPath;       ///< names joined by backslashes; empty for the root itself
};

/// Splits key at each "/" and looks its root up. Raises the policy's message for the reserved
/// or an unknown root; gives nothing for the reserved root where the policy answers instead.
std::optional<KeyPath> resolve(SxString const& key, RootPolicy policy);

/// Opens the existing key with the given rights into key; the status of the attempt.
LSTATUS openKey(KeyPath const& path, REGSAM access, voplatform::RegKey* key);
/// Whether the key exists and can be opened for reading.
bool keyExists(KeyPath const& path);
/// Whether the key holds a value called value or has a direct subkey of that name.
bool holds(KeyPath const& path, SxString const& value);
/// Creates every missing level of the key path, one level at a time.
void createLevels(KeyPath const& path);

/// The Windows type code of an Item of type with the data text, and in bytes its data as
/// written. Raises for the types that cannot be written and for bad binary data.
DWORD textToData(VoRegistry::Item::RegValType type, SxString const& data, std::vector<BYTE>* bytes);

} // namespace voregistry
