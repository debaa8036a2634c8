#pragma once

#include <QString>

// True when `name` can stand as exactly one file or folder name inside one of our folders on
// every platform we build for: not empty, not "." or "..", no separator, no character a file
// system rejects or treats specially, no trailing dot or space (Windows drops them, so two
// names would meet in one file), not a reserved device name ("CON", "nul.txt", "COM1"), and
// at most 255 bytes in UTF-8. Names that come from the server (symbols, server names) must pass
// this before they become part of a path; a name that fails is kept in memory only.
bool isSafePathSegment(const QString &name);
