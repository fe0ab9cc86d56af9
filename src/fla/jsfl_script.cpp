#include "fla/jsfl_script.h"

#include <cstdio>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

#include "fla/descriptor.h"
#include "fla/text_encoding.h"

namespace tovrani {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendHexEscape(std::string& out, const char* prefix, uint32_t v, int digits) {
  out += prefix;
  for (int i = digits - 1; i >= 0; --i) out.push_back(kHex[(v >> (4 * i)) & 0xF]);
}

bool IsUrlSafe(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '/';
}

std::string ImportPiece(std::string_view folderInLibrary, std::string_view symbolName, std::string_view folder) {
  std::string path(folder);
  if (path.empty() || path.back() != '/') path.push_back('/');
  path.append(symbolName);
  path += ".swf";
  std::string out = "lib.selectItem('";
  out += folderInLibrary;
  out += JsStringEscape(symbolName);
  out += "');lib.editItem();_fr_.importSWF(\"";
  out += JsStringEscape(FileUrlFromPath(path));
  out += "\");_fr_.selectAll();_fr_.breakApart();";
  return out;
}

bool WriteAndClose(std::FILE* f, std::string_view text) {
  if (!f) return false;
  const bool wrote = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return (std::fclose(f) == 0) && wrote;
}

}  // namespace

std::string JsStringEscape(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 8);
  for (size_t i = 0; i < utf8.size();) {
    const size_t start = i;
    const int32_t cp = NextUtf8CodePoint(utf8, i);
    switch (cp) {
      case '\\': out += "\\\\"; continue;
      case '\'': out += "\\'"; continue;
      case '"': out += "\\\""; continue;
      case '\b': out += "\\b"; continue;
      case '\t': out += "\\t"; continue;
      case '\n': out += "\\n"; continue;
      case '\v': out += "\\v"; continue;
      case '\f': out += "\\f"; continue;
      case '\r': out += "\\r"; continue;
      default: break;
    }
    if (cp < 0) {
      out += "\\uFFFD";
    } else if (cp < 0x20 || cp == 0x7F) {
      AppendHexEscape(out, "\\x", static_cast<uint32_t>(cp), 2);
    } else if (cp == 0x2028 || cp == 0x2029) {
      AppendHexEscape(out, "\\u", static_cast<uint32_t>(cp), 4);
    } else {
      out.append(utf8.substr(start, i - start));
    }
  }
  return out;
}

std::string FileUrlFromPath(std::string_view path) {
  std::string absolute(path);
  if (absolute.empty() || absolute.front() != '/') {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(absolute), ec);
    if (!ec) absolute = p.string();
  }
  std::string out = "file://";
  if (absolute.empty() || absolute.front() != '/') out.push_back('/');
  for (unsigned char c : absolute) {
    if (IsUrlSafe(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      AppendHexEscape(out, "%", c, 2);
    }
  }
  return out;
}

std::string JsflHeader() { return "\xEF\xBB\xBFvar _fr_ = fl.getDocumentDOM();var lib = _fr_.library;"; }

std::string JsflMorphPiece(std::string_view symbolName, int16_t easing) {
  std::string out = "lib.selectItem('_Morph_Shapes_/";
  out += JsStringEscape(symbolName);
  out +=
      "');if(1){lib.editItem();var _tl_ = _fr_.getTimeline();var _fo_ = 0;do{_tl_.setSelectedFrames( _fo_, "
      "_fo_, true );_fr_.selectAll();_fr_.breakApart();_tl_.setFrameProperty( 'tweenType', 'shape' "
      ");_tl_.setFrameProperty( 'tweenEasing', ";
  out += std::to_string(easing);
  out +=
      ");_fr_.selectNone();_fo_ += _tl_.getFrameProperty( 'duration' );}while( _fo_ < _tl_.frameCount );}";
  return out;
}

std::string JsflStaticTextPiece(std::string_view symbolName, std::string_view folder) {
  return ImportPiece("_Static_Text_/", symbolName, folder);
}

std::string JsflShapePiece(std::string_view symbolName, std::string_view folder) {
  return ImportPiece("_Shapes_/", symbolName, folder) +
         "if(1){var n=true;while(n){n=false;for(var i=0;!n && "
         "i<_fr_.selection.length;i++)if(_fr_.selection[i].isGroup){_fr_.breakApart();n=true;}}}";
}

std::string JsflFontLayoutPiece(std::string_view pendingText, std::string_view fontAttributes) {
  std::string out =
      "lib.addNewItem('movie clip','_Static_Text_/_For_Font_Layout_Data_');if "
      "(lib.getItemProperty('linkageImportForRS') == true){lib.setItemProperty('linkageImportForRS', "
      "false);}else{lib.setItemProperty('linkageExportForAS', false);lib.setItemProperty('linkageExportForRS', "
      "false);}lib.selectItem('_Static_Text_/_For_Font_Layout_Data_');if(lib.getItemProperty('linkageImportForRS') "
      "== true){lib.setItemProperty('linkageImportForRS', false);}lib.setItemProperty('linkageExportForAS', "
      "true);lib.setItemProperty('linkageExportForRS', false);lib.setItemProperty('linkageExportInFirstFrame', "
      "true);lib.setItemProperty('linkageClassName', '');lib.editItem();_fr_.addNewText({left:0, top:0, "
      "right:200, bottom:100});_fr_.setTextString('";
  out += JsStringEscape(pendingText);
  out +=
      "' );_fr_.selectNone();_fr_.selectAll();var "
      "e6=_fr_.selection[0];e6.textType='static';e6.selectable=true;";
  out += fontAttributes;
  return out;
}

std::string JsflFontAttributeStatements(std::string_view fontName, int start, int end, bool bold, bool italic) {
  const std::string range = std::to_string(start) + "," + std::to_string(end) + ");";
  std::string out = "e6.setTextAttr('face','";
  out += JsStringEscape(fontName);
  out += "'," + range;
  out += std::string("e6.setTextAttr('bold',") + (bold ? "true," : "false,") + range;
  out += std::string("e6.setTextAttr('italic',") + (italic ? "true," : "false,") + range;
  return out;
}

std::string JsflClosingSave() { return "fl.getDocumentDOM().exitEditMode();_fr_.save();"; }

bool WriteJsflHeader(const std::string& path) { return WriteAndClose(std::fopen(path.c_str(), "wb"), JsflHeader()); }

bool AppendJsflPiece(const std::string& path, std::string_view piece) {
  // Never made anew: a script that is gone would come back without its head.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return false;
  std::FILE* f = ::fdopen(fd, "ab");
  if (!f) ::close(fd);
  return WriteAndClose(f, piece);
}

bool WriteJsflHeader(int fd) { return fd >= 0 && WriteAll(fd, JsflHeader()) == 0; }

bool AppendJsflPiece(int fd, std::string_view piece) { return fd >= 0 && WriteAll(fd, piece) == 0; }

}  // namespace tovrani
