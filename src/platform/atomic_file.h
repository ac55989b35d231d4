#pragma once
// A file on disk read whole and written whole, so that a program reading it at the same time
// (the reading service keeps its channel times in the settings file) never sees half of a write.
// POSIX calls only; the bytes are not looked at.
#include <string>
#include <string_view>

#include "platform/status.h"

namespace vorda {

// Reads a whole file. A missing file gives success, no bytes and exists false; a file that
// exists but cannot be read (a folder, a FIFO, a device or anything else that is no regular
// file, a file without read permission, a read error) gives a failure naming it, no bytes and
// exists false.
Status readFileBytes(const std::string& path, std::string& bytes, bool& exists);

// Writes bytes to path atomically: a temporary file in the target's folder, written, given the
// target's permissions (and its owner where we may), flushed to disk, then renamed over the
// target, whose folder is flushed in turn.
//  - An existing file keeps its permissions; a new one gets 0666 less the umask.
//  - A symbolic link (or a chain of them) is written through: the file it ends at is replaced
//    and the links stay; a link to a file not there yet creates that file.
//  - A file we may not write is refused as writing into it directly would be, even where the
//    folder would let us replace it.
//  - On any failure the target stays as it was, no temporary file is left behind, and the
//    failure names the path and the reason.
Status writeFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace vorda
