// gumbo's HTML5 tree of a page or of the HTML inside a feed item, parsed within the
// budget of the document it came from. gumbo needs time in proportion to the page's size
// times its nesting (a few MB of unclosed <div> would keep it busy for an hour) and frees
// its tree recursively, so its allocations come from an arena of ours: the arena stops
// the parse when the budget runs out or the stop flag is raised, and frees the whole tree
// at once.
#pragma once

#include <gumbo.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace tessaren {

struct HtmlLimits {
  // For the whole document, however many pieces of HTML it holds. A 4 MiB page parses
  // in well under a second.
  std::chrono::milliseconds time{5000};
  // What the trees alive at one time hold, as the heap counts it (headers and rounding
  // included).
  std::size_t memoryBytes = std::size_t{256} << 20;
  // Pieces of HTML parsed for one document (a feed item's description, content:encoded,
  // content, summary; Atom's XHTML needs no parse); those beyond are passed over.
  std::size_t pieces = 8;
};

// What one document may spend on HTML: a single clock and a single memory allowance for
// every tree parsed for it. Once a parse has gone over, the budget stays spent.
class HtmlBudget {
 public:
  // stop, when not null, is the update's stop flag, raised from another thread.
  explicit HtmlBudget(const HtmlLimits& limits = {}, const std::atomic<bool>* stop = nullptr);

  const HtmlLimits& limits() const { return limits_; }
  bool stopRaised() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }
  bool spent() const { return spent_; }
  // What the trees alive now take from the heap.
  std::size_t heldBytes() const { return heldBytes_; }

 private:
  friend struct HtmlArena;

  HtmlLimits limits_;
  const std::atomic<bool>* stop_;
  std::chrono::steady_clock::time_point deadline_;
  std::size_t heldBytes_ = 0;
  bool spent_ = false;
};

enum class HtmlParse { Parsed, OverBudget, Stopped };

struct HtmlArena;

class HtmlTree {
 public:
  // Parsed within budget, which must outlive the tree.
  HtmlTree(std::string_view html, HtmlBudget& budget);
  // Parsed within a budget of its own.
  explicit HtmlTree(std::string_view html, const HtmlLimits& limits = {});
  ~HtmlTree();
  HtmlTree(const HtmlTree&) = delete;
  HtmlTree& operator=(const HtmlTree&) = delete;

  HtmlParse outcome() const { return outcome_; }
  // The document node; nullptr unless the parse ended (outcome() is Parsed).
  const GumboNode* document() const { return document_; }

 private:
  void parse(std::string_view html, HtmlBudget& budget);

  // Declared first: the arena gives its memory back to the budget when it goes.
  std::unique_ptr<HtmlBudget> ownBudget_;
  std::unique_ptr<HtmlArena> arena_;
  HtmlParse outcome_ = HtmlParse::Parsed;
  const GumboNode* document_ = nullptr;
};

// Each element in document order, without recursion, until visit returns false.
void forEachElement(const GumboNode* root, const std::function<bool(const GumboNode&)>& visit);

// The value of an element's attribute (names in lower case), nullptr when it has none.
const char* attributeOf(const GumboNode& element, const char* name);

// A picture a tree of HTML shows: an <img>'s address (src, or data-src where src is
// empty or a data: address, as lazy-loading pages write it) and, when the <img> sits in a
// link to a picture file (by the link's extension or its type attribute), the link's
// address, which is the full size.
struct HtmlPicture {
  std::string_view source;
  std::string_view link;  // empty when there is none
  // Its width or height is given, or a link (to anything) is around it: a picture shown
  // for itself, where one with neither may be an icon in the text.
  bool sizedOrLinked = false;
};

// The tree's pictures in document order, at most `most`, but for the small ones (by
// their size attributes or a name like an icon's: isTinyBySize, isNamedLikeDecoration)
// and those in a <header>, <nav>, <footer> or <aside>, which hold a site's logo and
// buttons rather than its content. When the tree has a <main> (or role="main"), only the
// first one's are looked at, else when it has an <article>, the first one's.
std::vector<HtmlPicture> mainPictures(const HtmlTree& tree, std::size_t most);

}  // namespace tessaren
