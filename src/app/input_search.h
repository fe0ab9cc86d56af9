// The movies of the program's inputs. A file given by name is taken when it
// is a plain file that can be opened; a folder is searched, folder by
// folder, for files whose first bytes probe as a movie. What the user may
// expect to be converted but is passed over is named with its cause.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tovrani {

// Opens a path as open(2) does: a descriptor, or -1 with errno set. Every
// folder and file the search opens goes through it.
using OpenFunction = std::function<int(const std::string& path, int flags)>;

// Whether a file's first bytes probe as a movie: 'F' or 'C', then "WS".
bool ProbesAsSwf(const std::string& path);

// Files given by name stay as given, when they can be opened; folders are
// searched below every level (links to folders are not followed) and what
// they hold is added in bytewise order. Each input or file passed over that
// the user should hear of adds a line "path: cause" to `problems`: an input
// that cannot be reached or opened or is not a plain file or folder, a
// subfolder that cannot be read, a folder whose listing fails, and a file or
// link named *.swf (any case) that cannot be opened or holds no movie
// signature; a movie compressed with LZMA, whatever its name. Other files
// without a movie's signature are passed over silently. True when nothing
// was passed over. A null `open` is open(2). `otherMovies`, when given,
// receives the files found that hold a movie's signature but are not
// handed over to be converted (an LZMA movie): they are inputs of the run
// all the same, which nothing the run writes may take.
bool CollectInputs(const std::vector<std::string>& inputs, std::vector<std::string>& files,
                   std::vector<std::string>& problems, const OpenFunction& open = nullptr,
                   std::vector<std::string>* otherMovies = nullptr);

}  // namespace tovrani
