// Appending one line to an archive file, durably.
//
// The file is created when missing and only ever appended to. The open file
// is locked exclusively without waiting, so another program holding the
// archive makes the append fail instead of interleaving with it. The line
// goes out in one write and is flushed to disk before the call returns: a
// record is acknowledged to the terminal only after this said yes.
#pragma once

#include <filesystem>
#include <string_view>

#include "link/prompt.h"

namespace cfg {

// Appends `line` (its CR LF included) to `path`. Returns true when the whole
// line is on disk. Returns false without a message when the file cannot be
// opened or locked. A short write, a failed flush or close cuts the file back
// to where it ended before, shows "Errore ArchiviaTransazione" titled with
// the path (only while showLinkErrors is set) and returns false.
bool appendLine(const std::filesystem::path& path, std::string_view line, const Messages& messages);

}  // namespace cfg
