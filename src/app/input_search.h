// The movies of the program's inputs. A file given by name is taken when it
// is a plain file that can be opened; a folder is searched, folder by
// folder, for files whose first bytes probe as a movie. What the user may
// expect to be converted but is passed over is named with its cause.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace tovrani {

// Opens `name` relative to the folder `dirFd` as openat(2) does (AT_FDCWD
// for a path given whole): a descriptor, or -1 with errno set. Every folder
// and file the search opens goes through it.
using OpenFunction = std::function<int(int dirFd, const std::string& name, int flags)>;

// Looks at `name` relative to the folder `dirFd` as fstatat(2) does: 0, or
// -1 with errno set. Every file and folder the search looks at by name goes
// through it.
using StatFunction = std::function<int(int dirFd, const std::string& name, struct stat* st, int flags)>;

// Whether a file's first bytes probe as a movie: 'F' or 'C', then "WS".
bool ProbesAsSwf(const std::string& path);

// Files given by name stay as given, when they can be opened; folders are
// searched below every level (links to folders are not followed) and what
// they hold is added in bytewise order. Each input or file passed over that
// the user should hear of adds a line "path: cause" to `problems`: an input
// that cannot be reached or opened or is not a plain file or folder, a
// subfolder that cannot be read, a folder whose listing fails or whose
// entries cannot be looked at (named once), an entry that cannot be looked
// at that its folder lists as a folder or as of unknown kind, a file or link
// named *.swf (any case) that cannot be opened or holds no movie signature;
// a movie compressed with LZMA, whatever its name, and a movie whose path is
// longer than the system takes. Other files without a movie's signature are
// passed over silently, and so are the program's own import movies: a plain
// file "Symbol N.swf" directly in a folder "Shapes_D" or "StaticText_D"
// beside which D is a plain file that begins as a compound file. True when
// nothing was named. A null `open` is openat(2), a null `stat` fstatat(2).
// `otherMovies`, when given, receives the files found that hold a movie's
// signature but are not handed over to be converted (an LZMA movie, one
// whose path is too long): they are inputs of the run all the same, which
// nothing the run writes may take. The import movies are no inputs.
bool CollectInputs(const std::vector<std::string>& inputs, std::vector<std::string>& files,
                   std::vector<std::string>& problems, const OpenFunction& open = nullptr,
                   std::vector<std::string>* otherMovies = nullptr, const StatFunction& stat = nullptr);

}  // namespace tovrani
