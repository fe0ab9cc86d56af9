// Text the movie holds once that the conversion's records repeat, element by
// element: an instance name carried on through every frame its placement is
// moved, the URL of an ImportAssets tag in the record of every id it names.
// A copy per element would grow as (bytes held once) x (elements), so the
// records share one immutable string. The writers still write it wherever
// the document repeats it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace tovrani {

class SharedText {
 public:
  SharedText() = default;
  explicit SharedText(std::string text) { *this = std::move(text); }

  // A new string of its own; the empty text needs none.
  SharedText& operator=(std::string text) {
    if (text.empty()) text_.reset();
    else text_ = std::make_shared<const std::string>(std::move(text));
    return *this;
  }
  void clear() { text_.reset(); }

  const std::string& str() const { return text_ ? *text_ : Empty(); }
  operator const std::string&() const { return str(); }
  operator std::string_view() const { return str(); }
  bool empty() const { return !text_; }
  size_t size() const { return str().size(); }

  friend bool operator==(const SharedText& a, std::string_view b) { return a.str() == b; }
  friend bool operator==(const SharedText& a, const SharedText& b) { return a.str() == b.str(); }

 private:
  static const std::string& Empty() {
    static const std::string empty;
    return empty;
  }

  std::shared_ptr<const std::string> text_;
};

}  // namespace tovrani
