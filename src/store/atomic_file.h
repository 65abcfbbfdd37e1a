#pragma once
#include <QByteArray>
#include <QByteArrayView>

#include <chrono>

namespace tarvik {

// How old a temporary file of an earlier save must be before a save removes it.
// A running save writes its temporary file within moments of creating it, so a
// file untouched for this long belongs to a save that was killed.
inline constexpr std::chrono::seconds kStaleTemporaryAge{60};

// Replaces the file at `path` with `content` as one step: the bytes go to a
// temporary file "<name>.XXXXXX" beside the file (beside the end of its chain
// of symbolic links, so the links stay), which is renamed over it once all of
// it is on disk. A new file gets the mode the umask gives; a replaced one keeps
// its mode, and its owner and group where the process may set them. Stale
// temporary files of earlier saves of the same file are removed first. Returns
// false, with errno set, when the file cannot be replaced or is read-only; the
// old file is untouched then.
bool replaceFileContent(const QByteArray& path, QByteArrayView content);

} // namespace tarvik
