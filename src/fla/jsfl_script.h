// The JSFL script written beside the document: the authoring tool runs it on
// the open document to rebuild what the FLA cannot hold in final form
// (shape tweens of morph shapes, static texts and shapes imported from small
// movies) and to save the result.
//
// The file is UTF-8 with a byte-order mark; its statements follow each other
// without separators. Every text that comes from the movie is escaped as a
// JavaScript string, and every path enters as a percent-encoded file URL, so
// no name can end a string literal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tovrani {

// The contents of a JavaScript string literal (single- or double-quoted) for
// UTF-8 text: backslash, both quotes, control characters and U+2028/U+2029
// are escaped; malformed UTF-8 becomes \uFFFD.
std::string JsStringEscape(std::string_view utf8);

// A file URL for a path: "file://" and the absolute path with every byte
// outside A-Z a-z 0-9 - . _ ~ / percent-encoded (UTF-8 bytes included).
std::string FileUrlFromPath(std::string_view path);

// ---- the pieces, in the order they appear in a script ----

// EF BB BF and the line that declares _fr_ (the document) and lib.
std::string JsflHeader();
// A morph-shape symbol in "_Morph_Shapes_": each keyframe broken apart and
// given a shape tween with the easing value.
std::string JsflMorphPiece(std::string_view symbolName, int16_t easing);
// A static-text or shape symbol: the symbol's small movie, folder/name.swf,
// imported into it and broken apart (shapes also have their groups broken).
std::string JsflStaticTextPiece(std::string_view symbolName, std::string_view folder);
std::string JsflShapePiece(std::string_view symbolName, std::string_view folder);
// The movie clip "_Static_Text_/_For_Font_Layout_Data_" with a static text
// box holding pendingText, then fontAttributes: statements on e6, the text
// element, whose strings their builder has escaped with JsStringEscape.
std::string JsflFontLayoutPiece(std::string_view pendingText, std::string_view fontAttributes);
// The statements that give one font's characters of that text box (start to
// end) its face, bold and italic style; fontAttributes is their sequence.
std::string JsflFontAttributeStatements(std::string_view fontName, int start, int end, bool bold, bool italic);
// Leaves the clip's editing mode and saves the document.
std::string JsflClosingSave();

// Creates the script with its header. False when the file cannot be written.
bool WriteJsflHeader(const std::string& path);
// Appends one piece to the script made by WriteJsflHeader. False (and
// nothing appended on open failure) when the file is gone or cannot be
// opened or written; a missing file is never made.
bool AppendJsflPiece(const std::string& path, std::string_view piece);
// The same through the descriptor of a script staged by the conversion,
// which writes it only so (never by its name, which another could swap).
bool WriteJsflHeader(int fd);
bool AppendJsflPiece(int fd, std::string_view piece);

}  // namespace tovrani
