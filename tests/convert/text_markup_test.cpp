// The markup helpers of text fields: substring search, link extraction and
// the rewriting of tags and entities.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cstring>
#include <random>

#include "convert/text_markup.h"

namespace tovrani {
namespace {

TEST(TextMarkup, FindSubstringCountsItsStartFromOne) {
  EXPECT_EQ(FindSubstring(1, "abcabc", "ab"), 0);
  EXPECT_EQ(FindSubstring(2, "abcabc", "ab"), 3);
  EXPECT_EQ(FindSubstring(3, "xabc", "ab"), -1);
  EXPECT_EQ(FindSubstring(1, "abc", "abcd"), -1);
  EXPECT_EQ(FindSubstring(50, "abc", "a"), -1);
}

TEST(TextMarkup, FindSubstringPastTheResultsRangeIsNone) {
  // A text over 2 GB (zero pages, never written but for the patterns): an
  // occurrence whose index the result cannot hold is none, not a wrapped index.
  const size_t size = size_t(INT32_MAX) + 16;
  void* mem = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mem == MAP_FAILED) GTEST_SKIP() << "no address space for a 2 GB text";
  char* t = static_cast<char*>(mem);
  std::memcpy(t + size - 8, "FACE", 4);
  const std::string_view text(t, size);
  EXPECT_EQ(FindSubstring(1, text, "FACE"), -1);
  std::memcpy(t + 10, "FACE", 4);
  EXPECT_EQ(FindSubstring(1, text, "FACE"), 10);
  munmap(mem, size);
}

TEST(TextMarkup, RewriteTurnsTagsIntoMarkersAndDropsTheRest) {
  const std::pair<std::string, std::string> cases[] = {
      {"<FONT FACE=\"A\">x</FONT>", "##ONT FACE=\"A\">x#/FONT>"},
      {"<font size=\"2\">x</font>", "##ont size=\"2\">x#/font>"},
      {"<B>b</B><b>c</b><I>i</I><i>j</i>", "|#!b|/#!|#!c|/#!!#|i!/#|!#|j!/#|"},
      {"<Font x>y</Font><bR>", "y"},  // only the exact-case forms count
      {"<P>one</P><P>two</P>", "one\rtwo"},
      {"<p>end</p>", "end"},
      {"a<BR>b<br/>c<SBR/>d<sbr/>e<SBRx>f", "a\rb\rc\rd\re" "f"},
      {"no > tag < here", "no > tag < here"},
      {"&amp;lt;", "<"},
      {"&quot;&apos;&nbsp;&gt;&lt;", "\"' ><"},
      {"&lt;a &amp", "<a &amp"},  // an ampersand without a later semicolon stops decoding
      {"&bogus; &amp;", "&bogus; &"},
      {"</P", "</P"},
      {"</P>", ""},
  };
  for (const auto& [in, out] : cases) {
    std::string text = in;
    EXPECT_EQ(RewriteHtmlTags(text), int32_t(out.size())) << in;
    EXPECT_EQ(text, out) << in;
  }
}

TEST(TextMarkup, FirstLinkIsTakenOutOfTheText) {
  struct Case {
    std::string in, text, url, target;
  } cases[] = {
      {"see <A HREF=\"http://a.b/\" TARGET=\"_blank\">here</A> now", "see here now", "http://a.b/", "_blank"},
      {"<a href=\"u1\" target=\"t1\">x</a><a href=\"u2\" target=\"t2\">y</a>",
       "x<a href=\"u2\" target=\"t2\">y</a>", "u1", "t1"},
      {"plain text", "plain text", "", ""},
      {"<A HREF=\"u\">no target</A>", "<A HREF=\"u\">no target</A>", "u", ""},
      {"<A HREF=\"u\" T=\"t\">no closing tag", "<A HREF=\"u\" T=\"t\">no closing tag", "u", "t"},
      {"<A HREF=\"unclosed", "<A HREF=\"unclosed", "", ""},
      // The closing tag right after the target's quote: nothing past the end moves.
      {"<A HREF=\"u\" T=\"t\"</A>", "", "u", "t"},
  };
  for (const Case& c : cases) {
    std::string text = c.in, url = "old", target = "old";
    FindHtmlLink(text, url, target);
    EXPECT_EQ(text, c.text) << c.in;
    EXPECT_EQ(url, c.url) << c.in;
    EXPECT_EQ(target, c.target) << c.in;
  }
  std::string text = "<A HREF=\"" + std::string(300, 'u') + "\" T=\"" + std::string(80, 't') + "\">x</A>";
  std::string url, target;
  FindHtmlLink(text, url, target);
  EXPECT_EQ(url, std::string(249, 'u'));
  EXPECT_EQ(target, std::string(49, 't'));
  EXPECT_EQ(text, "x");
}

// Passes 2 and 3 as plainly as they can be said: each removal and each
// decoding starts over from the text's start.
std::string PlainRewrite(std::string t) {
  for (const auto& [from, to] : std::initializer_list<std::pair<std::string, std::string>>{
           {"<FONT ", "##ONT "}, {"<font ", "##ont "}, {"</FONT>", "#/FONT>"}, {"</font>", "#/font>"},
           {"<B>", "|#!"}, {"<b>", "|#!"}, {"</B>", "|/#!"}, {"</b>", "|/#!"},
           {"<I>", "!#|"}, {"<i>", "!#|"}, {"</I>", "!/#|"}, {"</i>", "!/#|"}}) {
    for (size_t p = t.find(from); p != std::string::npos; p = t.find(from, p + to.size()))
      t.replace(p, from.size(), to);
  }
  auto at = [&](size_t i) { return i < t.size() ? t[i] : '\0'; };
  for (;;) {
    const size_t lt = t.find('<');
    if (lt == std::string::npos) break;
    const size_t gt = t.find('>', lt + 1);
    if (gt == std::string::npos) break;
    const bool para = at(lt + 1) == '/' && (at(lt + 2) == 'P' || at(lt + 2) == 'p') && at(lt + 4) == '<' &&
                      (at(lt + 5) == 'P' || at(lt + 5) == 'p');
    const std::string head = t.substr(lt + 1, 4);
    const bool br = head.rfind("SBR/", 0) == 0 || head.rfind("sbr/", 0) == 0 || head.rfind("BR", 0) == 0 ||
                    head.rfind("br", 0) == 0;
    t.replace(lt, gt - lt + 1, para || br ? 1 : 0, '\r');
  }
  size_t from = 0;
  for (;;) {
    const size_t amp = t.find('&', from);
    if (amp == std::string::npos) break;
    const size_t semi = t.find(';', amp + 1);
    if (semi == std::string::npos) break;
    const std::string name = t.substr(amp + 1, semi - amp - 1);
    const char c = name == "quot" ? '"' : name == "apos" ? '\'' : name == "nbsp" ? ' ' : name == "amp" ? '&'
                   : name == "lt" ? '<' : name == "gt" ? '>' : 0;
    if (c) {
      t.replace(amp, semi - amp + 1, 1, c);
      from = 0;
    } else {
      from = amp + 1;
    }
  }
  return t;
}

TEST(TextMarkup, OnePassRewriteMatchesStartingOver) {
  const std::string pieces[] = {"<", ">", "&", ";", "/", "P", "p", "BR", "br", "SBR/", "amp", "lt", "gt",
                                "quot", "a", " ", "&amp;", "&lt;", "</P><P>", "<B>", "</i>", "<FONT "};
  std::mt19937 rng(11);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int n = int(rng() % 12);
    for (int i = 0; i < n; ++i) text += pieces[rng() % std::size(pieces)];
    std::string ours = text;
    RewriteHtmlTags(ours);
    ASSERT_EQ(ours, PlainRewrite(text)) << "input: " << text;
  }
}

}  // namespace
}  // namespace tovrani
