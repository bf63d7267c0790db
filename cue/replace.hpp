// Puts a rewritten cue sheet in place of the old one: the new sheet is
// written in full to a hidden file beside it, synced, and renamed over the
// sheet's name, so that the name always holds a complete sheet, old or new.
#pragma once

#include <string>

#include "base/outcome.hpp"
#include "cue/new_sheet.hpp"
#include "platform/platform.hpp"

namespace vorlin {

// The file operations the replacement depends on; tests swap in failing or
// watching ones.
using platform::ReplaceOps;
using platform::replaceOps;

// Replaces the opened sheet with `lines`. Returns none once the new sheet
// is in place; notCreated or notWritten, or sheetChanged when its name no
// longer holds the file read as it was read, with the old sheet untouched
// and nothing left behind. Through a symbolic link, the file it finally
// points to is replaced, beside itself, and the link kept. It prints
// nothing: what it returns is printed once the files are final (printing
// may end the process by SIGPIPE).
Problem replaceCue(platform::OpenedSheet& sheet, const NewSheet& lines);

} // namespace vorlin
