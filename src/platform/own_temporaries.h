#pragma once
// Temporary files of ours (a file written whole before it takes another's place), named so that
// a later run can tell for certain that the process that made one is gone:
//   ".BASE.vorda-settings.HOST-NS-PID.XXXXXX"
// HOST is a hash of the host name, NS the PID namespace (the inode of /proc/self/ns/pid) and PID
// the process; XXXXXX is random. A file is removed as abandoned only when it is a regular file
// of our effective user, named by our host and PID namespace, and its process no longer exists
// there. Anything else (another user's file, one of another host sharing the folder, one of a
// process in another container, a name of an older format) is left alone.
#include <string>
#include <string_view>

namespace vorda {

// ".BASE.vorda-settings.": what the temporary files for BASE begin with (BASE cut to 160 bytes,
// so that the whole name stays within the file system's limit).
std::string temporaryPrefix(std::string_view base);

// "HOST-NS-PID" for this process now (after a fork the child has its own).
std::string processTag();

// Creates a new temporary file prefix + processTag() + ".XXXXXX" in the folder dirFd, readable
// and writable by its owner only; never follows a symbolic link. Gives the open descriptor and
// sets name (the name in the folder), or -1 with errno set.
int createTemporaryAt(int dirFd, const std::string& prefix, std::string& name);

// Removes the abandoned temporary files beginning with prefix from the folder dirFd. Best
// effort: what cannot be looked at or removed stays.
void removeAbandonedTemporaries(int dirFd, std::string_view prefix);

}  // namespace vorda
