#include "fla/jsfl_script.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/independent_readers.h"
#include "support/temp_dir.h"

namespace tovrani::test {
namespace {

std::string Hex(const std::string& s) {
  std::string out;
  for (unsigned char c : s) out += "0123456789abcdef"[c >> 4], out += "0123456789abcdef"[c & 15];
  return out;
}

// Runs a script against a stand-in of the authoring tool's objects and
// returns the calls it made, one per line, each argument in UTF-8 hex.
std::string RunWithStandIns(const TempDir& dir, const std::string& scriptPath) {
  const std::string harness = dir.file("harness.js");
  std::ofstream(harness) << R"JS(
const fs = require('fs');
const calls = [];
const rec = (k, v) => calls.push(k + ':' + Buffer.from(String(v), 'utf8').toString('hex'));
const tl = { frameCount: 2, setSelectedFrames() {}, getFrameProperty() { return 1; },
             setFrameProperty(k, v) { rec('prop', k + '=' + v); } };
const doc = {
  library: { selectItem(n) { rec('select', n); }, editItem() {}, addNewItem(t, n) { rec('new', n); },
             getItemProperty() { return false; }, setItemProperty() {} },
  getTimeline() { return tl; }, selectAll() {}, selectNone() {}, breakApart() {},
  importSWF(u) { rec('import', u); }, selection: [{ isGroup: false, setTextAttr(k, v) { rec('attr', k + '=' + v); } }], addNewText() {},
  setTextString(t) { rec('text', t); }, exitEditMode() {}, save() { rec('save', ''); },
};
globalThis.fl = { getDocumentDOM() { return doc; } };
let src = fs.readFileSync(process.argv[2], 'utf8');
if (src.charCodeAt(0) === 0xFEFF) src = src.slice(1);
(0, eval)(src);
process.stdout.write(calls.join('\n') + '\n');
)JS";
  std::string out;
  const int rc = RunCommand("node " + ShellQuote(harness) + " " + ShellQuote(scriptPath), out);
  EXPECT_EQ(rc, 0) << out;
  return out;
}

std::string Call(const std::string& kind, const std::string& arg) { return kind + ":" + Hex(arg) + "\n"; }

TEST(JsflScript, PiecesInOrder) {
  const std::string header = JsflHeader();
  EXPECT_EQ(header.substr(0, 3), "\xEF\xBB\xBF");
  TempDir dir;
  const std::string script = dir.file("movie.fla.jsfl");
  ASSERT_TRUE(WriteJsflHeader(script));
  for (const std::string& piece :
       {JsflMorphPiece("Symbol 3", -50), JsflStaticTextPiece("Symbol 5", "/out dir/StaticText_m"),
        JsflShapePiece("Symbol 6", "/out dir/Shapes_m/"), JsflFontLayoutPiece("__", "e6.setTextAttr('size',12);"),
        JsflClosingSave()})
    ASSERT_TRUE(AppendJsflPiece(script, piece));
  EXPECT_TRUE(IsValidJavaScriptFile(script));
  const auto bytes = ReadFileBytes(script);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.find(header), 0u);

  const std::string calls = RunWithStandIns(dir, script);
  EXPECT_EQ(calls, Call("select", "_Morph_Shapes_/Symbol 3") + Call("prop", "tweenType=shape") +
                       Call("prop", "tweenEasing=-50") + Call("prop", "tweenType=shape") +
                       Call("prop", "tweenEasing=-50") + Call("select", "_Static_Text_/Symbol 5") +
                       Call("import", "file:///out%20dir/StaticText_m/Symbol%205.swf") +
                       Call("select", "_Shapes_/Symbol 6") +
                       Call("import", "file:///out%20dir/Shapes_m/Symbol%206.swf") +
                       Call("new", "_Static_Text_/_For_Font_Layout_Data_") +
                       Call("select", "_Static_Text_/_For_Font_Layout_Data_") + Call("text", "__") +
                       Call("attr", "size=12") + Call("save", ""));
}

TEST(JsflScript, HostileNamesStayInsideTheirStrings) {
  const std::string name = "a'b\"c\\d\ne</script>\r\t\x01\x7F\xE2\x80\xA8 \xE2\x80\xA9 \xC3\xBC";
  TempDir dir;
  const std::string script = dir.file("hostile.jsfl");
  ASSERT_TRUE(WriteJsflHeader(script));
  for (const std::string& piece : {JsflMorphPiece(name, 0), JsflShapePiece(name, dir.path().string()),
                                   JsflFontLayoutPiece(name, JsflFontAttributeStatements(name, 0, 3, true, false)),
                                   JsflClosingSave()})
    ASSERT_TRUE(AppendJsflPiece(script, piece));
  ASSERT_TRUE(IsValidJavaScriptFile(script));

  const std::string calls = RunWithStandIns(dir, script);
  for (const std::string& call :
       {Call("select", "_Morph_Shapes_/" + name), Call("select", "_Shapes_/" + name), Call("text", name),
        Call("attr", "face=" + name), Call("attr", "bold=true"), Call("import", FileUrlFromPath(dir.file(name + ".swf")))})
    EXPECT_NE(calls.find(call), std::string::npos) << call << " in\n" << calls;

  // Malformed UTF-8 cannot break the script either.
  EXPECT_EQ(JsStringEscape("x\xFF'"), "x\\uFFFD\\'");
  EXPECT_TRUE(IsValidJavaScript("var s = '" + JsStringEscape("\xC3\x28\n\xE2\x80\xA8") + "';"));
}

TEST(JsflScript, FileUrlsArePercentEncoded) {
  const std::string path = "/tmp/a b/#1 100%/\xC3\xBC\xE4\xB8\xAD/q?x=1&y'\"\\.swf";
  const std::string url = FileUrlFromPath(path);
  for (char c : url.substr(7))
    EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || std::string("-._~/%").find(c) != std::string::npos)
        << url;
  // An independent reader takes it as a canonical URL of the same path.
  std::string out;
  const int rc = RunCommand(
      "node -e " +
          ShellQuote("const u = new URL(process.argv[1]); if (u.href !== process.argv[1]) process.exit(3);"
                     "process.stdout.write(Buffer.from(require('url').fileURLToPath(u)).toString('hex'))") +
          " " + ShellQuote(url),
      out);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_EQ(out, Hex(path));
  // A relative path is made absolute.
  EXPECT_EQ(FileUrlFromPath("x y.swf").rfind("file:///", 0), 0u);
  EXPECT_NE(FileUrlFromPath("x y.swf").find("/x%20y.swf"), std::string::npos);
  // An unwritable script is reported.
  EXPECT_FALSE(WriteJsflHeader("/nonexistent-dir/x.jsfl"));
  EXPECT_FALSE(AppendJsflPiece("/nonexistent-dir/x.jsfl", JsflClosingSave()));
  // A script that is gone is not made again without its head.
  TempDir dir;
  EXPECT_FALSE(AppendJsflPiece(dir.file("gone.jsfl"), JsflClosingSave()));
  EXPECT_FALSE(std::filesystem::exists(dir.file("gone.jsfl")));
}

}  // namespace
}  // namespace tovrani::test
