// What the windowed program takes from its file dialogs and from a drop,
// and the words with which it refuses the rest.
#pragma once

#include <string>

namespace zelbo::gui {

// True for what can be split: a regular file or a block device (a whole
// disk), which have a size; not a folder, a named pipe, a socket or a
// terminal, which have none and whose reading could wait for ever.
bool IsSplittable(const std::string& path);

// Why the open dialog must not return `path`: something that exists and
// cannot be split. Empty when it may; a missing name or a folder is the
// dialog's own to answer (it says so, or opens the folder).
std::string SourceRefusal(const std::string& path);

// Why the save dialog must not return `path`, as the box that refuses it
// says: a folder that does not exist or that this user cannot write to, or
// an existing file that is read-only (for the calling user). Empty when it
// may, and for a folder, which the dialog opens.
std::string BatchNameRefusal(const std::string& path);

}  // namespace zelbo::gui
